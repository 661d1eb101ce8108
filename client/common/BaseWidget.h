#pragma once

#include <QWidget>

namespace Client {

class ListPageSelection;

// Base of the pages in the main window's page list.
class BaseWidget : public QWidget
{
    Q_OBJECT

public:
    explicit BaseWidget(QWidget *parent = nullptr);

    // True while the page list shows this page.
    bool isCurrentPage() const { return m_currentPage; }

signals:
    // Each time the page list shows the page.
    void selected();

private:
    friend class ListPageSelection;
    bool m_currentPage = false;
};

} // namespace Client
