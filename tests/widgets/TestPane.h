#pragma once

#include "AbsBasicMessagePane.h"
#include "LogTableView.h"
#include "LogTestModel.h"

#include <QAction>
#include <QSettings>
#include <QString>

// The smallest pane a client would write: one model both as source and
// view model, the wrap mode in its own settings key, and a reload step
// that adds rows at the top or the bottom.
class TestPane : public Velloc::AbsBasicMessagePane
{
public:
    explicit TestPane(int columns = 6)
        : model(new LogTestModel(columns, this))
    {
        setSourceModel(model);
        setViewModel(model);
        loadPaneSettings();
    }

    QString defaultFilterText() const override { return QStringLiteral("10"); }

    QString wrapKey() const { return QStringLiteral("MessagePane%1/WrapText").arg(paneNumber()); }

    void loadPaneSettings() override
    {
        QSettings settings;
        tableView()->wrapTextAction()->setChecked(settings.value(wrapKey(), false).toBool());
    }

    void savePaneSettings() override
    {
        QSettings settings;
        settings.setValue(wrapKey(), tableView()->wrapTextAction()->isChecked());
    }

    bool reloadData() override
    {
        ++reloads;
        if (rowsOnTop > 0)
            model->prependNumbered(rowsOnTop, QStringLiteral("new%1").arg(reloads));
        if (rowsAtEnd > 0)
            model->appendNumbered(rowsAtEnd, QStringLiteral("end%1").arg(reloads));
        return true;
    }

    using AbsBasicMessagePane::setRefreshingTimer;

    LogTestModel *model;
    int reloads = 0;
    int rowsOnTop = 0;
    int rowsAtEnd = 0;
};
