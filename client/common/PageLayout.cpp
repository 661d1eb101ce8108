#include "PageLayout.h"

#include "ColumnFit.h"

#include <QHeaderView>
#include <QSettings>
#include <QSplitter>

namespace Client {
namespace PageLayout {

namespace {

const QString horizontalKey = QStringLiteral("Horizontal Splitter");
const QString verticalKey = QStringLiteral("Vertical Splitter");
const QString bottomKey = QStringLiteral("BottomHeaders");
const QString topKey = QStringLiteral("TopHeaders");

QList<int> toIntList(const QVariant &value)
{
    QList<int> sizes;
    const QVariantList list = value.toList();
    for (const QVariant &entry : list)
        sizes.append(entry.toInt());
    return sizes;
}

QVariantList toVariantList(const QList<int> &sizes)
{
    QVariantList list;
    for (const int size : sizes)
        list.append(size);
    return list;
}

} // namespace

void restore(const QString &group, QSplitter *horizontal, QSplitter *vertical, QHeaderView *bottomHeader,
    QHeaderView *topHeader)
{
    QSettings settings;
    settings.beginGroup(group);
    if (settings.contains(horizontalKey))
        horizontal->setSizes(toIntList(settings.value(horizontalKey)));
    if (settings.contains(verticalKey))
        vertical->setSizes(toIntList(settings.value(verticalKey)));
    const QByteArray bottom = settings.value(bottomKey).toByteArray();
    if (!bottom.isEmpty())
        bottomHeader->restoreState(bottom);
    else
        ColumnFit::attach(bottomHeader);
    const QByteArray top = settings.value(topKey).toByteArray();
    if (!top.isEmpty())
        topHeader->restoreState(top);
    else
        ColumnFit::attach(topHeader);
}

void save(const QString &group, const QSplitter *horizontal, const QSplitter *vertical,
    const QHeaderView *bottomHeader, const QHeaderView *topHeader)
{
    QSettings settings;
    settings.beginGroup(group);
    settings.setValue(horizontalKey, toVariantList(horizontal->sizes()));
    settings.setValue(verticalKey, toVariantList(vertical->sizes()));
    settings.setValue(bottomKey, bottomHeader->saveState());
    settings.setValue(topKey, topHeader->saveState());
}

} // namespace PageLayout
} // namespace Client
