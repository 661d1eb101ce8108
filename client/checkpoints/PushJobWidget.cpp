#include "PushJobWidget.h"

#include "MetadataExplorer.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionButton>

namespace Client {

namespace {

constexpr int kButtonCount = 4;

QString buttonText(const QString &name)
{
    // A connection's name is shown as it is, not read as a mnemonic.
    QString text = name;
    return text.replace(QLatin1Char('&'), QLatin1String("&&"));
}

int commonPrefix(const QString &a, const QString &b)
{
    int n = 0;
    while (n < a.size() && n < b.size() && a.at(n) == b.at(n))
        ++n;
    return n;
}

// Room for text on a button of its present width.
int textRoom(const QPushButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    const int frame
        = button->style()->sizeFromContents(QStyle::CT_PushButton, &option, QSize(0, 0), button).width();
    return qMax(0, button->width() - frame);
}

} // namespace

QStringList PushJobWidget::elidedApart(const QStringList &names, const QFontMetrics &metrics, int width)
{
    // Names often share their start (the department) or their end (the
    // kind of output): the middle goes first.
    QStringList shown;
    for (const QString &name : names)
        shown.append(metrics.elidedText(name, Qt::ElideMiddle, width));
    QStringList apart = shown;
    for (int i = 0; i < names.size(); ++i) {
        int alike = -1;
        for (int j = 0; j < names.size(); ++j) {
            if (j != i && shown.at(j) == shown.at(i) && names.at(j) != names.at(i))
                alike = qMax(alike, commonPrefix(names.at(i), names.at(j)));
        }
        if (alike < 0)
            continue;
        // They differ in the cut-out middle: show from the word where they part.
        int start = alike;
        while (start > 0 && !names.at(i).at(start - 1).isSpace())
            --start;
        apart[i] = metrics.elidedText(QString(QChar(0x2026)) + names.at(i).mid(start), Qt::ElideRight, width);
    }
    return apart;
}

PushJobWidget::PushJobWidget(QWidget *parent, MetadataExplorer *explorer)
    : QWidget(parent)
    , m_explorer(explorer)
{
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < kButtonCount; ++i) {
        m_buttons[i] = new QPushButton(this);
        m_buttons[i]->setObjectName(QStringLiteral("PushJobBtn%1").arg(i + 1));
        // A long name is elided to the width the panel gives, never widening it.
        QSizePolicy policy = m_buttons[i]->sizePolicy();
        policy.setHorizontalPolicy(QSizePolicy::Ignored);
        m_buttons[i]->setSizePolicy(policy);
        m_buttons[i]->setMinimumWidth(m_buttons[i]->fontMetrics().horizontalAdvance(QStringLiteral("MMMMM")));
        m_buttons[i]->installEventFilter(this);
        m_buttons[i]->hide();
    }
    // The first connection sits on the right of each row.
    grid->addWidget(m_buttons[1], 0, 0);
    grid->addWidget(m_buttons[0], 0, 1);
    grid->addWidget(m_buttons[3], 1, 0);
    grid->addWidget(m_buttons[2], 1, 1);

    auto *listRow = new QHBoxLayout;
    listRow->setContentsMargins(0, 0, 0, 0);
    m_list = new QListWidget(this);
    m_list->setMaximumHeight(100);
    m_list->setTextElideMode(Qt::ElideMiddle);
    listRow->addWidget(m_list);
    m_listButton = new QPushButton(this);
    m_listButton->setMinimumSize(100, 100);
    m_listButton->setMaximumSize(100, 100);
    m_listButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    auto *faceLayout = new QHBoxLayout(m_listButton);
    faceLayout->setContentsMargins(5, 5, 5, 5);
    m_listLabel = new QLabel(m_listButton);
    m_listLabel->setAlignment(Qt::AlignCenter);
    m_listLabel->setWordWrap(true);
    const int lineHeight = qMax(1, QFontMetrics(m_listLabel->font()).lineSpacing());
    m_listLabel->setMaximumHeight(lineHeight * (90 / lineHeight));
    // Clicks on the face belong to the button.
    m_listLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    faceLayout->addWidget(m_listLabel);
    listRow->addWidget(m_listButton);
    grid->addLayout(listRow, 2, 0, 1, 2);
    m_list->hide();
    m_listButton->hide();

    connect(m_list, &QListWidget::currentRowChanged, this, &PushJobWidget::selectedConnectionChanged);
    connect(m_list, &QListWidget::itemChanged, this, &PushJobWidget::listItemChanged);
    connect(m_listButton, &QPushButton::clicked, this, &PushJobWidget::multiBtnClicked);
    for (QPushButton *button : m_buttons)
        connect(button, &QPushButton::clicked, this, &PushJobWidget::singleBtnClicked);
}

QPushButton *PushJobWidget::button(int n) const
{
    return n >= 1 && n <= kButtonCount ? m_buttons[n - 1] : nullptr;
}

bool PushJobWidget::usesButtons() const
{
    return !m_job.allowMultipleOutputs && m_job.connections.size() <= kButtonCount;
}

int PushJobWidget::tickedCount() const
{
    int ticked = 0;
    for (int row = 0; row < m_list->count(); ++row) {
        if (m_list->item(row)->checkState() == Qt::Checked)
            ++ticked;
    }
    return ticked;
}

void PushJobWidget::setJob(const CheckPointJobData &job)
{
    m_job = job;
    // A new job waits for its owner's word before anything can be pushed.
    m_allowed = false;
    for (QPushButton *button : m_buttons)
        button->hide();
    if (usesButtons()) {
        m_list->hide();
        m_listButton->hide();
        for (int i = 0; i < m_job.connections.size(); ++i) {
            m_buttons[i]->setToolTip(m_job.connections.at(i).name);
            m_buttons[i]->setEnabled(false);
            m_buttons[i]->show();
        }
        elideButtonTexts();
        return;
    }
    {
        const QSignalBlocker blocker(m_list);
        m_list->clear();
        for (const JobConnection &connection : std::as_const(m_job.connections)) {
            auto *item = new QListWidgetItem(connection.name);
            item->setToolTip(connection.name);
            if (m_job.allowMultipleOutputs)
                item->setCheckState(Qt::Unchecked);
            m_list->addItem(item);
        }
        m_list->setCurrentRow(-1);
    }
    m_list->show();
    m_listButton->show();
    m_listButton->setEnabled(false);
    setListLabel(tr("Select an option in the listbox"));
}

void PushJobWidget::setListLabel(const QString &text)
{
    m_listLabel->setText(text);
    m_listButton->setToolTip(text);
}

void PushJobWidget::elideButtonTexts()
{
    if (!usesButtons())
        return;
    QStringList names;
    for (const JobConnection &connection : std::as_const(m_job.connections))
        names.append(connection.name);
    int room = textRoom(m_buttons[0]);
    for (int i = 1; i < names.size() && i < kButtonCount; ++i)
        room = qMin(room, textRoom(m_buttons[i]));
    const QStringList shown = elidedApart(names, m_buttons[0]->fontMetrics(), room);
    for (int i = 0; i < shown.size() && i < kButtonCount; ++i)
        m_buttons[i]->setText(buttonText(shown.at(i)));
}

bool PushJobWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize && watched->parent() == this)
        elideButtonTexts();
    return QWidget::eventFilter(watched, event);
}

void PushJobWidget::setPushEnabled(bool on)
{
    m_allowed = on;
    if (usesButtons()) {
        for (QPushButton *button : m_buttons)
            button->setEnabled(on);
        return;
    }
    updateListButton();
}

void PushJobWidget::updateListButton()
{
    const bool chosen
        = m_job.allowMultipleOutputs ? tickedCount() > 0 : m_list->currentRow() >= 0 && m_list->currentItem();
    const bool valid = !m_explorer || m_explorer->isValid();
    m_listButton->setEnabled(m_allowed && valid && chosen);
}

void PushJobWidget::selectedConnectionChanged(int row)
{
    if (row < 0) {
        m_listButton->setEnabled(false);
        return;
    }
    if (m_job.allowMultipleOutputs)
        return;
    if (row < m_job.connections.size())
        setListLabel(m_job.connections.at(row).name);
    updateListButton();
}

void PushJobWidget::listItemChanged(QListWidgetItem *)
{
    if (!m_job.allowMultipleOutputs)
        return;
    QStringList names;
    for (int row = 0; row < m_list->count(); ++row) {
        if (m_list->item(row)->checkState() == Qt::Checked)
            names.append(m_list->item(row)->text());
    }
    setListLabel(names.isEmpty() ? tr("Select an option in the listbox") : names.join(tr(" and ")));
    updateListButton();
}

void PushJobWidget::singleBtnClicked()
{
    const QObject *button = sender();
    if (!button || !m_allowed)
        return;
    const QString name = button->objectName();
    bool ok = false;
    const int n = name.right(1).toInt(&ok);
    if (ok && n > 0 && n <= m_job.connections.size())
        emit pushJobClicked({ m_job.connections.at(n - 1).id });
}

void PushJobWidget::multiBtnClicked()
{
    if (!m_allowed)
        return;
    QList<QString> pushList;
    if (!m_job.allowMultipleOutputs) {
        const int row = m_list->currentRow();
        if (row < 0 || row >= m_job.connections.size())
            return;
        pushList.append(m_job.connections.at(row).id);
    } else {
        for (int row = 0; row < m_list->count() && row < m_job.connections.size(); ++row) {
            if (m_list->item(row)->checkState() == Qt::Checked)
                pushList.append(m_job.connections.at(row).id);
        }
    }
    if (!pushList.isEmpty())
        emit pushJobClicked(pushList);
}

} // namespace Client
