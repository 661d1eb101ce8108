#pragma once

#include <QString>

class QHeaderView;
class QSplitter;

namespace Client {

// The stored layout of a page with two splitters and two tables, in its
// own group under "Layout": splitter sizes as lists of integers, header
// states as byte arrays.
namespace PageLayout {

// Each part only when stored (a header only when its state is not empty).
void restore(const QString &group, QSplitter *horizontal, QSplitter *vertical, QHeaderView *bottomHeader,
    QHeaderView *topHeader);
void save(const QString &group, const QSplitter *horizontal, const QSplitter *vertical,
    const QHeaderView *bottomHeader, const QHeaderView *topHeader);

} // namespace PageLayout
} // namespace Client
