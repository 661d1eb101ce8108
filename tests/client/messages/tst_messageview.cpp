#include "ExportLogsAction.h"
#include "FilterComboBox.h"
#include "LogHeaderView.h"
#include "LogRoles.h"
#include "LogTableView.h"
#include "LoopStall.h"
#include "MessageModel.h"
#include "MessageSFPModel.h"
#include "MessageTestData.h"
#include "MessageView.h"
#include "ModalAnswers.h"
#include "TestEnv.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using Client::MessageModel;
using Client::MessageView;
using namespace MessageTestData;

namespace {

QList<LogMessage> someMessages()
{
    return { message(1, 1, secondsAgo(300), QStringLiteral("alpha")),
        message(2, 1, secondsAgo(200), QStringLiteral("beta")),
        message(3, 2, secondsAgo(100), QStringLiteral("gamma")) };
}

QStringList shownTexts(const MessageView &view)
{
    QStringList texts;
    const QAbstractItemModel *model = view.tableView()->model();
    for (int row = 0; row < model->rowCount(); ++row)
        texts << model->index(row, MessageModel::MessageColumn).data().toString();
    return texts;
}

// Types a filter into a column's box as the user does.
void typeFilter(MessageView &view, int column, const QString &text)
{
    Velloc::FilterComboBox *box = view.headerView()->filterBox(column);
    QVERIFY(box);
    box->lineEdit()->selectAll();
    QTest::keyClick(box->lineEdit(), Qt::Key_Delete);
    QTest::keyClicks(box->lineEdit(), text);
}

ModalAnswers::Step chooseFile(const QString &path, QStringList *details = nullptr)
{
    return [path, details](QWidget *widget) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        if (!dialog) {
            widget->close();
            return true;
        }
        if (details && details->isEmpty()) {
            *details << dialog->windowTitle() << dialog->nameFilters().join(QLatin1Char(';'))
                     << dialog->directory().absolutePath()
                     << QString::number(dialog->acceptMode() == QFileDialog::AcceptSave);
        }
        if (!ModalAnswers::chooseIn(dialog, path))
            return false;
        static_cast<QDialog *>(dialog)->accept();
        return true;
    };
}

ModalAnswers::Step cancelDialog()
{
    return [](QWidget *widget) {
        if (auto *dialog = qobject_cast<QDialog *>(widget))
            dialog->reject();
        return true;
    };
}

ModalAnswers::Step answerBox(const QString &buttonText, QStringList *details)
{
    return [buttonText, details](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box) {
            widget->close();
            return true;
        }
        *details << box->windowTitle() << box->text() << QString::number(int(box->icon()));
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == buttonText) {
                button->click();
                return true;
            }
        }
        box->close();
        return true;
    };
}

} // namespace

class TestMessageView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void construction();
    void settingsRoundTrip();
    void wrapSetting();
    void typedFilterRefiltersAfterTheDelay();
    void headerClickSorts();
    void resetAllFilters();
    void clearRequestRemovesTheConnection();
    void statusFollowsEveryRemoval();
    void exportWritesEveryRecord();
    void exportFileNames_data();
    void exportFileNames();
    void exportOfNothing();
    void exportCancelled();
    void exportFailureIsReported_data();
    void exportFailureIsReported();
    void exportAsksBeforeReplacingTheSuffixedFile();
    void exportOnlyFromTheAction();
    void largeExportKeepsTheWindowGoing();
    void largeBatchesComeInSlicesAndEndSorted();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestMessageView::init()
{
    QSettings().clear();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestMessageView::construction()
{
    MessageView view { ServerProxyPtr() };
    QAbstractItemModelTester tester(
        view.filterModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(view.sourceModel(), view.messageModel());
    QCOMPARE(view.viewModel(), view.filterModel());
    QCOMPARE(view.tableView()->model(), view.filterModel());
    QVERIFY(view.filterModel()->dynamicSortFilter());
    QCOMPARE(view.defaultFilterText(), QStringLiteral("10"));
    QCOMPARE(view.headerView()->sortIndicatorSection(), 0);
    QCOMPARE(view.headerView()->sortIndicatorOrder(), Qt::DescendingOrder);
    QVERIFY(view.headerView()->isSortIndicatorShown());
    QCOMPARE(view.filterModel()->sortColumn(), 0);
    QCOMPARE(view.headerView()->filterBox(0)->currentText(), QStringLiteral("10"));
    QVERIFY(view.headerView()->filterBox(5)->currentText().isEmpty());
    QVERIFY(!view.tableView()->wrapTextAction()->isChecked());
    QVERIFY(view.lastExportPath().isEmpty());

    Velloc::ExportLogsAction *action = view.exportAction();
    QVERIFY(action);
    QCOMPARE(action->text(), QStringLiteral("&Export log messages..."));
    QVERIFY(!action->icon().isNull());
    QCOMPARE(view.tableView()->extraAction(), action);
    QMenu *menu = view.tableView()->prepareContextMenu(Velloc::LogTableView::CellMenu);
    QVERIFY(menu->actions().contains(action));
    QVERIFY(action->isEnabled());

    // Newest first at the start.
    view.messageModel()->appendMessages(someMessages());
    QCOMPARE(shownTexts(view),
        QStringList({ QStringLiteral("gamma"), QStringLiteral("beta"), QStringLiteral("alpha") }));
    QTRY_COMPARE(view.statusLabel()->text(), QStringLiteral("Ready (3 items)"));
}

void TestMessageView::settingsRoundTrip()
{
    const QString exportPath = m_dir->filePath(QStringLiteral("last.xml"));
    QString savedFilters;
    {
        MessageView view { ServerProxyPtr() };
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.headerView()->resizeSection(2, 151);
        view.headerView()->moveSection(4, 1);
        view.tableView()->sortByColumn(0, Qt::AscendingOrder);
        typeFilter(view, 3, QStringLiteral("print"));
        QTest::keyClick(view.headerView()->filterBox(3)->lineEdit(), Qt::Key_Return);
        view.setLastExportPath(exportPath);
        savedFilters = view.headerView()->saveFilters();
    }
    const QSettings settings;
    QVERIFY(!settings.value(QStringLiteral("Messages/Header/State")).toByteArray().isEmpty());
    QCOMPARE(settings.value(QStringLiteral("Messages/Header/History")).toString(), savedFilters);
    QVERIFY(savedFilters.contains(QStringLiteral("print")));
    QCOMPARE(settings.value(QStringLiteral("Messages/LastExportPath")).toString(), exportPath);

    MessageView view { ServerProxyPtr() };
    QSignalSpy announced(view.messageModel(), &MessageModel::filterStringsChanged);
    QCOMPARE(view.headerView()->sectionSize(2), 151);
    QCOMPARE(view.headerView()->visualIndex(4), 1);
    QCOMPARE(view.headerView()->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(view.messageModel()->filterText(3), QStringLiteral("print"));
    QCOMPARE(view.headerView()->filterBox(3)->currentText(), QStringLiteral("print"));
    QCOMPARE(view.headerView()->filterBox(3)->items(), QStringList({ QStringLiteral("print") }));
    QCOMPARE(view.lastExportPath(), exportPath);
    // Restored, not typed: no filter pass follows.
    QVERIFY(!announced.wait(MessageModel::FilterDelayMs + 300));

    // The restored sort order applies to what arrives.
    view.messageModel()->appendMessages(
        { message(2, 1, secondsAgo(5), QStringLiteral("Print two"), QStringLiteral("info"),
              QStringLiteral("S"), QStringLiteral("M"), QStringLiteral("print")),
            message(1, 1, secondsAgo(5), QStringLiteral("Print one"), QStringLiteral("info"),
                QStringLiteral("S"), QStringLiteral("M"), QStringLiteral("print")),
            message(3, 1, secondsAgo(5), QStringLiteral("Other"), QStringLiteral("info"), QStringLiteral("S"),
                QStringLiteral("M"), QStringLiteral("archive")) });
    QCOMPARE(shownTexts(view), QStringList({ QStringLiteral("Print one"), QStringLiteral("Print two") }));
}

void TestMessageView::wrapSetting()
{
    QSettings().setValue(QStringLiteral("MessagePane1/WrapText"), true);
    MessageView view { ServerProxyPtr() };
    QCOMPARE(view.paneNumber(), 1);
    QVERIFY(view.tableView()->wrapTextAction()->isChecked());
    view.messageModel()->appendMessages(someMessages());
    QCOMPARE(view.tableView()->verticalHeader()->sectionResizeMode(0), QHeaderView::ResizeToContents);
    view.tableView()->wrapTextAction()->setChecked(false);
    // Written only when asked, as the main window does at the end.
    QVERIFY(QSettings().value(QStringLiteral("MessagePane1/WrapText")).toBool());
    view.storeSettings();
    QCOMPARE(QSettings().value(QStringLiteral("MessagePane1/WrapText")).toBool(), false);
}

void TestMessageView::typedFilterRefiltersAfterTheDelay()
{
    MessageView view { ServerProxyPtr() };
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.messageModel()->appendMessages(someMessages());
    QSignalSpy layout(view.filterModel(), &QAbstractItemModel::layoutChanged);
    typeFilter(view, 5, QStringLiteral("BET"));
    QCOMPARE(view.messageModel()->filterText(5), QStringLiteral("BET"));
    QCOMPARE(view.filterModel()->rowCount(), 3);
    QTRY_COMPARE_WITH_TIMEOUT(shownTexts(view), QStringList({ QStringLiteral("beta") }), 3000);
    // One pass for all keystrokes.
    QCOMPARE(layout.count(), 1);
    QTRY_COMPARE(view.statusLabel()->text(), QStringLiteral("Ready (1 item)"));
    QVERIFY(view.progressBar()->isHidden());
}

void TestMessageView::headerClickSorts()
{
    MessageView view { ServerProxyPtr() };
    view.resize(700, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.messageModel()->appendMessages(someMessages());
    QStringList statusWhileSorting;
    connect(view.filterModel(), &QAbstractItemModel::layoutAboutToBeChanged, this,
        [&] { statusWhileSorting << view.statusLabel()->text(); });

    Velloc::LogHeaderView *header = view.headerView();
    // The title is in the lower half of the header; the filter box above.
    const QPoint title(
        header->sectionViewportPosition(0) + header->sectionSize(0) / 2, header->height() * 3 / 4);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, title);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(shownTexts(view),
        QStringList({ QStringLiteral("alpha"), QStringLiteral("beta"), QStringLiteral("gamma") }));
    QCOMPARE(statusWhileSorting, QStringList({ QStringLiteral("Sorting...") }));
    QTRY_COMPARE(view.statusLabel()->text(), QStringLiteral("Ready (3 items)"));

    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, title);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(shownTexts(view).first(), QStringLiteral("gamma"));

    // Filtering after a sort reports filtering again.
    statusWhileSorting.clear();
    view.filterModel()->resetModel();
    QCOMPARE(statusWhileSorting, QStringList({ QStringLiteral("Filtering...") }));
}

void TestMessageView::resetAllFilters()
{
    MessageView view { ServerProxyPtr() };
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.messageModel()->appendMessages(someMessages());
    typeFilter(view, 0, QStringLiteral("1"));
    typeFilter(view, 5, QStringLiteral("gam"));
    QTRY_COMPARE_WITH_TIMEOUT(shownTexts(view), QStringList({ QStringLiteral("gamma") }), 3000);

    view.tableView()->resetAllFilters();
    QCOMPARE(view.headerView()->filterBox(0)->currentText(), QStringLiteral("10"));
    QVERIFY(view.headerView()->filterBox(5)->currentText().isEmpty());
    QCOMPARE(view.messageModel()->filterText(0), QStringLiteral("10"));
    QVERIFY(view.messageModel()->filterText(5).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(view.filterModel()->rowCount(), 3, 3000);
}

void TestMessageView::clearRequestRemovesTheConnection()
{
    MessageView view { ServerProxyPtr() };
    view.messageModel()->appendMessages(someMessages());
    view.clearRequestHandler(1);
    QCOMPARE(shownTexts(view), QStringList({ QStringLiteral("gamma") }));
    view.clearRequestHandler(7);
    QCOMPARE(view.messageModel()->rowCount(), 1);
    QTRY_COMPARE(view.statusLabel()->text(), QStringLiteral("Ready (1 item)"));
}

void TestMessageView::statusFollowsEveryRemoval()
{
    // Two servers whose refreshes alternated: the one removed leaves 80
    // separate runs.
    MessageView view { ServerProxyPtr() };
    QList<LogMessage> messages;
    for (int i = 0; i < 160; ++i)
        messages.append(message(i + 1, 1 + i % 2, secondsAgo(300 - i), QStringLiteral("m%1").arg(i)));
    view.messageModel()->appendMessages(messages);
    QTRY_COMPARE(view.statusLabel()->text(), QStringLiteral("Ready (160 items)"));
    view.clearRequestHandler(2);
    QCOMPARE(view.filterModel()->rowCount(), 80);
    QTRY_COMPARE(view.statusLabel()->text(), QStringLiteral("Ready (80 items)"));
}

void TestMessageView::exportWritesEveryRecord()
{
    LoggingTranslator translator;
    QCoreApplication::installTranslator(&translator);
    MessageView view { ServerProxyPtr() };
    view.show();
    const QDateTime stamp = secondsAgo(30 * 3600); // hidden by the filter "10"
    const QString forbidden = QStringLiteral("bad\x01 text") + QChar(0xD800) + QStringLiteral(" & <end>");
    view.messageModel()->appendMessages(
        { message(4, 1, stamp, QStringLiteral("Moved \"a\" & <b>"), QStringLiteral("error"),
              QStringLiteral("Server A"), QStringLiteral("Mover"), QStringLiteral("Print flow"),
              QStringLiteral("Flyer.pdf")),
            message(2, 2, secondsAgo(60), QString(), QStringLiteral("info"), QStringLiteral("Server B"),
                QStringLiteral("Sorter"), QString(), QString()),
            message(3, 2, QDateTime(), forbidden, QStringLiteral("warn\x02ing"),
                QStringLiteral("Server\x1f C"), QString(), QString(), QString()) });
    QCOMPARE(view.filterModel()->rowCount(), 2);

    const QString chosen = m_dir->filePath(QStringLiteral("messages"));
    view.setLastExportPath(m_dir->path());
    QStringList dialog;
    ModalAnswers answers({ chooseFile(chosen, &dialog) });
    QSignalSpy finished(&view, &MessageView::exportFinished);
    view.exportAction()->trigger();
    QVERIFY(answers.done());
    QCOMPARE(answers.unexpected(), 0);
    // Written in a thread of its own, the window going on meanwhile.
    QVERIFY(finished.count() == 1 || finished.wait(10000));
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QCOMPARE(view.exportNote(),
        QStringLiteral("3 log message(s) exported to %1")
            .arg(QDir::toNativeSeparators(chosen + QStringLiteral(".xml"))));
    QCoreApplication::removeTranslator(&translator);

    QCOMPARE(dialog.at(0), QStringLiteral("Export log messages"));
    QCOMPARE(dialog.at(1), QStringLiteral("VORNEX logs (*.xml)"));
    QCOMPARE(dialog.at(2), QDir(m_dir->path()).absolutePath());
    QCOMPARE(dialog.at(3), QStringLiteral("1"));

    const QString written = chosen + QStringLiteral(".xml");
    QCOMPARE(view.lastExportPath(), written);
    QVERIFY(!QFile::exists(chosen));
    QFile file(written);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    // No declaration; one message per line, indented by 4.
    QVERIFY2(bytes.startsWith("<message-list>\n    <message time="), bytes.left(40).constData());
    QVERIFY(bytes.endsWith("</message>\n</message-list>\n"));
    QCOMPARE(bytes.count("\n    <message"), 3);
    QDomDocument document;
    QString error;
    QVERIFY2(document.setContent(bytes, &error), qPrintable(error));
    QCOMPARE(document.childNodes().count(), 1);
    const QDomElement root = document.documentElement();
    QCOMPARE(root.tagName(), QStringLiteral("message-list"));
    const QDomNodeList messages = root.elementsByTagName(QStringLiteral("message"));
    QCOMPARE(messages.count(), 3);
    QCOMPARE(root.childNodes().count(), 3);

    // Arrival order, every field, localized texts only where they differ.
    const QDomElement first = messages.at(0).toElement();
    QCOMPARE(first.attribute(QStringLiteral("time")), MessageModel::timeText(stamp));
    QCOMPARE(first.attribute(QStringLiteral("type")), QStringLiteral("error"));
    QCOMPARE(first.attribute(QStringLiteral("module")), QStringLiteral("Mover"));
    QCOMPARE(first.attribute(QStringLiteral("server")), QStringLiteral("Server A"));
    QCOMPARE(first.attribute(QStringLiteral("flow")), QStringLiteral("Print flow"));
    QCOMPARE(first.attribute(QStringLiteral("file")), QStringLiteral("Flyer.pdf"));
    QCOMPARE(first.attribute(QStringLiteral("localized-type")), QStringLiteral("Fehler"));
    QCOMPARE(first.attribute(QStringLiteral("localized-module")), QStringLiteral("Verschieber"));
    QCOMPARE(first.text(), QStringLiteral("Moved \"a\" & <b>"));
    QCOMPARE(first.attributes().count(), 8);

    const QDomElement second = messages.at(1).toElement();
    QCOMPARE(second.attribute(QStringLiteral("server")), QStringLiteral("Server B"));
    QVERIFY(!second.hasAttribute(QStringLiteral("flow")));
    QVERIFY(!second.hasAttribute(QStringLiteral("file")));
    QVERIFY(!second.hasAttribute(QStringLiteral("localized-type")));
    QVERIFY(!second.hasAttribute(QStringLiteral("localized-module")));
    QVERIFY(second.text().isEmpty());

    // Characters XML does not allow are left out; the rest stands.
    const QDomElement third = messages.at(2).toElement();
    QVERIFY(!third.hasAttribute(QStringLiteral("time")));
    QVERIFY(!third.hasAttribute(QStringLiteral("module")));
    QCOMPARE(third.attribute(QStringLiteral("type")), QStringLiteral("warning"));
    QCOMPARE(third.attribute(QStringLiteral("server")), QStringLiteral("Server C"));
    QCOMPARE(third.text(), QStringLiteral("bad text & <end>"));
}

void TestMessageView::exportFileNames_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");
    QTest::newRow("no suffix") << QStringLiteral("log") << QStringLiteral("log.xml");
    QTest::newRow("lower case") << QStringLiteral("log.xml") << QStringLiteral("log.xml");
    QTest::newRow("upper case") << QStringLiteral("LOG.XML") << QStringLiteral("LOG.XML.xml");
    QTest::newRow("other suffix") << QStringLiteral("log.txt") << QStringLiteral("log.txt.xml");
}

void TestMessageView::exportFileNames()
{
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    MessageView view { ServerProxyPtr() };
    view.messageModel()->appendMessages(someMessages());
    ModalAnswers answers({ chooseFile(m_dir->filePath(chosen)) });
    QSignalSpy finished(&view, &MessageView::exportFinished);
    QVERIFY(view.exportLogs());
    QVERIFY(finished.count() == 1 || finished.wait(10000));
    QCOMPARE(view.lastExportPath(), m_dir->filePath(written));
    QVERIFY(QFile::exists(m_dir->filePath(written)));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList({ written }));
}

void TestMessageView::exportOfNothing()
{
    MessageView view { ServerProxyPtr() };
    const QString path = m_dir->filePath(QStringLiteral("empty.xml"));
    ModalAnswers answers({ chooseFile(path) });
    QSignalSpy finished(&view, &MessageView::exportFinished);
    QVERIFY(view.exportLogs());
    QVERIFY(finished.count() == 1 || finished.wait(10000));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QDomDocument document;
    QVERIFY(document.setContent(&file));
    QCOMPARE(document.documentElement().tagName(), QStringLiteral("message-list"));
    QVERIFY(!document.documentElement().hasChildNodes());
}

void TestMessageView::exportCancelled()
{
    MessageView view { ServerProxyPtr() };
    view.messageModel()->appendMessages(someMessages());
    view.setLastExportPath(m_dir->filePath(QStringLiteral("before.xml")));
    ModalAnswers answers({ cancelDialog() });
    QVERIFY(!view.exportLogs());
    QCOMPARE(answers.seen().size(), 1);
    QCOMPARE(view.lastExportPath(), m_dir->filePath(QStringLiteral("before.xml")));
    QVERIFY(QDir(m_dir->path()).entryList(QDir::Files).isEmpty());
}

void TestMessageView::exportFailureIsReported_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("missing folder") << QStringLiteral("missing/out.xml");
    QTest::newRow("folder in the way") << QStringLiteral("taken.xml");
}

void TestMessageView::exportFailureIsReported()
{
    QFETCH(QString, target);
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("taken.xml")));
    MessageView view { ServerProxyPtr() };
    view.messageModel()->appendMessages(someMessages());
    view.setLastExportPath(m_dir->filePath(QStringLiteral("before.xml")));
    QStringList box;
    // The dialog would open a folder in its way instead of choosing it:
    // the name is given without the suffix, which the export adds.
    QString chosen = m_dir->filePath(target);
    if (QFileInfo(chosen).isDir())
        chosen.chop(4);
    ModalAnswers answers({ chooseFile(chosen), answerBox(QStringLiteral("OK"), &box) });
    QVERIFY(!view.exportLogs());
    QVERIFY(answers.done());
    QCOMPARE(answers.unexpected(), 0);
    QCOMPARE(box.size(), 3);
    QCOMPARE(box.at(0), QStringLiteral("Warning"));
    QVERIFY2(box.at(1).contains(QDir::toNativeSeparators(m_dir->filePath(target))), qPrintable(box.at(1)));
    QCOMPARE(box.at(2).toInt(), int(QMessageBox::Warning));
    QCOMPARE(view.lastExportPath(), m_dir->filePath(QStringLiteral("before.xml")));
    QVERIFY(QDir(m_dir->path()).entryList(QDir::Files).isEmpty());
}

void TestMessageView::exportAsksBeforeReplacingTheSuffixedFile()
{
    MessageView view { ServerProxyPtr() };
    view.messageModel()->appendMessages(someMessages());
    const QString existing = m_dir->filePath(QStringLiteral("report.xml"));
    {
        QFile file(existing);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep me");
    }
    QStringList question;
    {
        ModalAnswers keep({ chooseFile(m_dir->filePath(QStringLiteral("report"))),
            answerBox(QStringLiteral("&No"), &question) });
        QVERIFY(!view.exportLogs());
        QCOMPARE(keep.unexpected(), 0);
    }
    QCOMPARE(question.size(), 3);
    QVERIFY(question.at(1).contains(QDir::toNativeSeparators(existing)));
    QFile file(existing);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me"));
    file.close();

    question.clear();
    ModalAnswers replace({ chooseFile(m_dir->filePath(QStringLiteral("report"))),
        answerBox(QStringLiteral("&Yes"), &question) });
    QSignalSpy finished(&view, &MessageView::exportFinished);
    QVERIFY(view.exportLogs());
    QVERIFY(finished.count() == 1 || finished.wait(10000));
    QCOMPARE(question.size(), 3);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QDomDocument document;
    QVERIFY(document.setContent(&file));
    QCOMPARE(document.documentElement().elementsByTagName(QStringLiteral("message")).count(), 3);
}

void TestMessageView::exportOnlyFromTheAction()
{
    MessageView view { ServerProxyPtr() };
    ModalAnswers answers({});
    view.fileManageLogsClick();
    QCoreApplication::processEvents();
    QVERIFY(answers.seen().isEmpty());
    QVERIFY(QDir(m_dir->path()).entryList(QDir::Files).isEmpty());
}

void TestMessageView::largeExportKeepsTheWindowGoing()
{
    MessageView view { ServerProxyPtr() };
    view.show();
    constexpr int rows = 150000;
    QList<LogMessage> messages;
    messages.reserve(rows);
    const QDateTime stamp = secondsAgo(60);
    for (int i = 0; i < rows; ++i)
        messages << message(i + 1, 1 + i % 3, stamp, QStringLiteral("Job %1 moved on").arg(i % 977));
    view.messageModel()->appendMessages(messages);
    QTRY_COMPARE_WITH_TIMEOUT(view.messageModel()->rowCount(), rows, 60000);

    const QString path = m_dir->filePath(QStringLiteral("large.xml"));
    QSignalSpy finished(&view, &MessageView::exportFinished);
    LoopStall stall;
    QVERIFY(view.exportTo(path));
    QVERIFY(view.isExporting());
    QVERIFY(!view.exportAction()->isEnabled());
    QVERIFY(finished.wait(60000));
    const qint64 longest = stall.longestMs();
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QVERIFY(view.exportAction()->isEnabled());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().count("<message "), rows);
    QVERIFY2(longest < 100 * TestEnv::sanitizerSlowdown, qPrintable(QStringLiteral("%1 ms").arg(longest)));
}

void TestMessageView::largeBatchesComeInSlicesAndEndSorted()
{
    MessageView view { ServerProxyPtr() };
    view.show();
    view.tableView()->sortByColumn(0, Qt::DescendingOrder);
    // Two servers' record ids interleave: the rows fall between each other.
    QList<LogMessage> first, second;
    for (int i = 0; i < 20000; ++i) {
        first << message(2 * i + 1, 1, secondsAgo(60), QStringLiteral("a"));
        second << message(2 * i + 2, 2, secondsAgo(60), QStringLiteral("b"));
    }
    QSignalSpy finished(view.messageModel(), &MessageModel::loadingFinished);
    view.messageModel()->appendMessages(first);
    view.messageModel()->appendMessages(second);
    // Taken in over later turns of the event loop.
    QVERIFY(view.messageModel()->pendingRows() > 0);
    QVERIFY(finished.wait(60000));
    QCOMPARE(view.messageModel()->rowCount(), 40000);
    QTRY_VERIFY(view.filterModel()->dynamicSortFilter());
    QCOMPARE(view.filterModel()->rowCount(), 40000);
    int previous = INT_MAX;
    for (int row = 0; row < view.filterModel()->rowCount(); ++row) {
        const int id = view.filterModel()->index(row, 0).data(Velloc::RecordIdRole).toInt();
        QVERIFY2(id < previous, qPrintable(QStringLiteral("row %1").arg(row)));
        previous = id;
    }
}

VORNEX_TEST_MAIN(TestMessageView)
#include "tst_messageview.moc"
