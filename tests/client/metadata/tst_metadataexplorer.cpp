#include "MetadataEditor.h"
#include "MetadataExplorer.h"
#include "MetadataExplorerDelegate.h"
#include "MetadataExplorerModel.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "XMLValues.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QSettings>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QTreeView>
#include <QtTest>

using Client::MetadataEditor;
using Client::MetadataExplorer;
using Client::MetadataExplorerModel;
namespace XV = Tamsor::XMLValues;

using TestFiles::settingsFile;

namespace {

MetadataToFill field(const QString &label, const QString &type, const QString &format = {},
    bool required = false, const QString &value = {}, bool remember = false, const QString &key = {})
{
    MetadataToFill f;
    f.label = label;
    f.description = label + QStringLiteral(" help");
    f.dataType = type;
    f.dataFormat = format;
    f.valueIsRequired = required;
    f.rememberLastValue = remember;
    f.value = value;
    f.key = key;
    return f;
}

MetadataToDisplay shown(const QString &label, const QString &value)
{
    return { label, label + QStringLiteral(" about"), XV::EDITORTYPE_STRING, value };
}

} // namespace

class TestMetadataExplorer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void rowsFillThenDisplay();
    void storedEditsAndRememberedValues();
    void validity_data();
    void validity();
    void yesNoAndEnumerationEditors();
    void typingWithFormatAndKeys();
    void invalidFormatAcceptsAnything();
    void upDownLeaveListsAlone();
    void onlyValuesToFillLookEditable();
    void disabledTextReads_data();
    void disabledTextReads();

private:
    // Opens the value editor of a row in a shown explorer.
    QWidget *openEditor(MetadataExplorer &explorer, int row);
};

void TestMetadataExplorer::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Marvolt Software"));
    QCoreApplication::setApplicationName(QStringLiteral("VORNEXclient"));
}

void TestMetadataExplorer::init()
{
    QSettings().clear();
}

QWidget *TestMetadataExplorer::openEditor(MetadataExplorer &explorer, int row)
{
    QTreeView *view = explorer.view();
    const QModelIndex cell = view->model()->index(row, 1);
    view->setFocus();
    view->setCurrentIndex(cell);
    QWidget *editor = view->indexWidget(cell);
    if (!editor)
        return nullptr;
    if (!QTest::qWaitFor([editor] { return editor->isVisible(); }, 2000))
        return nullptr;
    return editor;
}

void TestMetadataExplorer::rowsFillThenDisplay()
{
    MetadataExplorerModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Property"));
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Value"));
    QCOMPARE(model.headerData(2, Qt::Horizontal), QVariant(QString()));
    QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());

    QList<MetadataToFill> fill { field(QStringLiteral("Urgent"), XV::EDITORTYPE_BOOL, {}, false,
                                     QStringLiteral("TRUE")),
        field(QStringLiteral("Customer"), XV::EDITORTYPE_STRING, {}, false, QStringLiteral("ACME")) };
    const QList<MetadataToDisplay> display { shown(QStringLiteral("Pages"), QStringLiteral("12")) };
    model.loadMetadata(&fill, display, false);

    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("Urgent"));
    QCOMPARE(model.index(0, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("Urgent"));
    QCOMPARE(model.index(0, 1).data().toString(), XV::YES);
    QCOMPARE(model.index(0, 1).data(Qt::ToolTipRole).toString(), QStringLiteral("Urgent help"));
    QCOMPARE(model.index(1, 1).data(Qt::EditRole).toString(), QStringLiteral("ACME"));
    QCOMPARE(model.index(2, 0).data().toString(), QStringLiteral("Pages"));
    QCOMPARE(model.index(2, 1).data().toString(), QStringLiteral("12"));
    QCOMPARE(model.index(2, 1).data(Qt::ToolTipRole).toString(), QStringLiteral("Pages about"));
    QVERIFY(!model.index(1, 1).data(Qt::DecorationRole).isValid());

    QVERIFY(model.flags(model.index(0, 1)) & Qt::ItemIsEditable);
    QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
    QVERIFY(!(model.flags(model.index(2, 1)) & Qt::ItemIsEditable));
    QCOMPARE(model.buddy(model.index(1, 0)), model.index(1, 1));
    QCOMPARE(model.buddy(model.index(1, 1)), model.index(1, 1));

    // A yes/no value other than the yes texts shows as no.
    fill[0].value = QStringLiteral("maybe");
    model.loadMetadata(&fill);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.index(0, 1).data().toString(), XV::NO);

    model.loadMetadata(nullptr, display);
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("Pages"));
    QVERIFY(model.isValid());

    model.loadMetadata(nullptr);
    QCOMPARE(model.rowCount(), 0);
}

void TestMetadataExplorer::storedEditsAndRememberedValues()
{
    MetadataExplorer explorer;
    MetadataExplorerModel *model = explorer.model();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy edited(&explorer, &MetadataExplorer::dataChanged);
    const QString key = QStringLiteral("localhost:51008:7:3:0");

    QList<MetadataToFill> fill { field(QStringLiteral("Operator"), XV::EDITORTYPE_STRING, {}, true, {}, true,
                                     key),
        field(QStringLiteral("Note"), XV::EDITORTYPE_STRING) };
    explorer.loadMetadata(&fill, { shown(QStringLiteral("Pages"), QStringLiteral("4")) });
    QVERIFY(!explorer.isValid());

    // Other roles and rows only shown change nothing.
    QVERIFY(model->setData(model->index(0, 1), QStringLiteral("x"), Qt::DisplayRole));
    QCOMPARE(explorer.metadataToFill().at(0).value, QString());
    QVERIFY(!model->setData(model->index(2, 1), QStringLiteral("x")));
    QCOMPARE(edited.count(), 0);

    QVERIFY(model->setData(model->index(0, 1), QStringLiteral("Anna")));
    QCOMPARE(edited.count(), 1);
    QCOMPARE(explorer.metadataToFill().at(0).value, QStringLiteral("Anna"));
    QVERIFY(explorer.isValid());
    // The caller's list is not touched by edits.
    QCOMPARE(fill.at(0).value, QString());
    QVERIFY(model->setData(model->index(1, 1), QStringLiteral("not kept")));

    {
        QSettings file(settingsFile(), QSettings::IniFormat);
        QCOMPARE(file.value(QStringLiteral("Metadata/") + key).toString(), QStringLiteral("Anna"));
        file.beginGroup(QStringLiteral("Metadata"));
        QCOMPARE(file.childKeys().size(), 1);
    }

    // A later load of the same field takes the remembered value...
    QList<MetadataToFill> again { field(
        QStringLiteral("Operator"), XV::EDITORTYPE_STRING, {}, true, QStringLiteral("Bert"), true, key) };
    explorer.loadMetadata(&again, {}, false);
    QCOMPARE(again.at(0).value, QStringLiteral("Anna"));
    QCOMPARE(model->index(0, 1).data().toString(), QStringLiteral("Anna"));
    QCOMPARE(model->rowCount(), 1);

    // ...but a job waiting for its connection keeps its own.
    QList<MetadataToFill> waiting { field(
        QStringLiteral("Operator"), XV::EDITORTYPE_STRING, {}, true, QStringLiteral("Bert"), true, key) };
    explorer.loadMetadata(&waiting, {}, true);
    QCOMPARE(waiting.at(0).value, QStringLiteral("Bert"));
    QCOMPARE(model->index(0, 1).data().toString(), QStringLiteral("Bert"));

    // Nothing remembered: the value given stays.
    QList<MetadataToFill> other { field(QStringLiteral("Operator"), XV::EDITORTYPE_STRING, {}, false,
        QStringLiteral("Carl"), true, QStringLiteral("otherhost:1:1:1:0")) };
    explorer.loadMetadata(&other);
    QCOMPARE(other.at(0).value, QStringLiteral("Carl"));

    // A field without a key writes nothing.
    QList<MetadataToFill> keyless { field(
        QStringLiteral("Operator"), XV::EDITORTYPE_STRING, {}, false, {}, true) };
    explorer.loadMetadata(&keyless);
    QVERIFY(model->setData(model->index(0, 1), QStringLiteral("Dora")));
    QSettings settings;
    settings.beginGroup(QStringLiteral("Metadata"));
    QCOMPARE(settings.childKeys(), QStringList { key });
    QCOMPARE(settings.value(key).toString(), QStringLiteral("Anna"));
}

void TestMetadataExplorer::validity_data()
{
    QTest::addColumn<MetadataToFill>("field");
    QTest::addColumn<bool>("valid");
    const QString digits = QStringLiteral("^\\d+$");
    const QString str = XV::EDITORTYPE_STRING;
    QTest::newRow("required empty") << field({}, str, {}, true) << false;
    QTest::newRow("required filled") << field({}, str, {}, true, QStringLiteral("a")) << true;
    QTest::newRow("digits with a letter") << field({}, str, digits, true, QStringLiteral("12a4")) << false;
    QTest::newRow("digits only") << field({}, str, digits, true, QStringLiteral("1234")) << true;
    QTest::newRow("partial match is not enough")
        << field({}, str, QStringLiteral("\\d+"), false, QStringLiteral("12a")) << false;
    QTest::newRow("empty, not required, with format") << field({}, str, digits) << true;
    QTest::newRow("literal with flags")
        << field({}, str, QStringLiteral("/^[a-z]+$/i"), false, QStringLiteral("AbC")) << true;
    QTest::newRow("invalid format passes")
        << field({}, str, QStringLiteral("[a-"), true, QStringLiteral("xyz")) << true;
    QTest::newRow("format on other types unchecked")
        << field({}, XV::EDITORTYPE_BOOL, digits, false, QStringLiteral("true")) << true;
    QTest::newRow("required yes/no empty") << field({}, XV::EDITORTYPE_BOOL, {}, true) << false;
    QTest::newRow("required list empty") << field({}, QStringLiteral("enum:a\nb"), {}, true) << false;
}

void TestMetadataExplorer::validity()
{
    QFETCH(MetadataToFill, field);
    QFETCH(bool, valid);
    MetadataExplorerModel model;
    QList<MetadataToFill> fill { field, ::field(QStringLiteral("free"), XV::EDITORTYPE_STRING) };
    model.loadMetadata(&fill);
    QCOMPARE(model.isValid(), valid);
}

void TestMetadataExplorer::yesNoAndEnumerationEditors()
{
    QCOMPARE(MetadataEditor::enumChoices(QStringLiteral("enum:red\ngreen\n")),
        QStringList({ QStringLiteral("red"), QStringLiteral("green") }));

    MetadataExplorer explorer;
    explorer.resize(400, 300);
    QList<MetadataToFill> fill { field(QStringLiteral("Urgent"), XV::EDITORTYPE_BOOL, {}, true,
                                     QStringLiteral("TRUE")),
        field(QStringLiteral("Colour"), QStringLiteral("enum:red\ngreen\n"), {}, true),
        field(QStringLiteral("Flag"), XV::EDITORTYPE_BOOL, {}, true) };
    explorer.loadMetadata(&fill);
    explorer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&explorer));
    QSignalSpy edited(&explorer, &MetadataExplorer::dataChanged);

    auto *editor = qobject_cast<MetadataEditor *>(openEditor(explorer, 0));
    QVERIFY(editor);
    QComboBox *combo = editor->comboBox();
    QVERIFY(combo);
    QVERIFY(!editor->lineEdit());
    QVERIFY(!combo->hasFrame());
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->itemText(0), XV::YES);
    QCOMPARE(combo->itemText(1), XV::NO);
    QCOMPARE(combo->currentIndex(), 0);

    // Choosing "No" in the open list stores the lower-case false value.
    combo->showPopup();
    QAbstractItemView *list = combo->view();
    QTRY_VERIFY_WITH_TIMEOUT(list->isVisible(), 2000);
    QTest::mouseClick(
        list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(1, 0)).center());
    QTRY_COMPARE_WITH_TIMEOUT(edited.count(), 1, 2000);
    QCOMPARE(explorer.metadataToFill().at(0).value, XV::VAL_FALSE.toLower());
    QCOMPARE(explorer.model()->index(0, 1).data().toString(), XV::NO);

    // An empty list value shows the first choice, yet stays empty until chosen.
    editor = qobject_cast<MetadataEditor *>(openEditor(explorer, 1));
    QVERIFY(editor && editor->comboBox());
    combo = editor->comboBox();
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->currentText(), QStringLiteral("red"));
    QCOMPARE(explorer.metadataToFill().at(1).value, QString());
    QVERIFY(!explorer.isValid());
    combo->showPopup();
    list = combo->view();
    QTRY_VERIFY_WITH_TIMEOUT(list->isVisible(), 2000);
    QTest::mouseClick(
        list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(1, 0)).center());
    QTRY_COMPARE_WITH_TIMEOUT(explorer.metadataToFill().at(1).value, QStringLiteral("green"), 2000);

    // An empty yes/no value shows "No" and stays empty.
    editor = qobject_cast<MetadataEditor *>(openEditor(explorer, 2));
    QVERIFY(editor && editor->comboBox());
    QCOMPARE(editor->comboBox()->currentText(), XV::NO);
    QCOMPARE(explorer.metadataToFill().at(2).value, QString());
    QVERIFY(!explorer.isValid());
    editor->comboBox()->showPopup();
    list = editor->comboBox()->view();
    QTRY_VERIFY_WITH_TIMEOUT(list->isVisible(), 2000);
    QTest::mouseClick(
        list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 0)).center());
    QTRY_COMPARE_WITH_TIMEOUT(explorer.metadataToFill().at(2).value, XV::VAL_TRUE.toLower(), 2000);
    QVERIFY(explorer.isValid());

    // A list value not among the choices keeps the list where it is.
    MetadataEditor standalone(QStringLiteral("enum:red\ngreen"), nullptr);
    standalone.setValue(QStringLiteral("green"));
    QCOMPARE(standalone.comboBox()->currentText(), QStringLiteral("green"));
    standalone.setValue(QStringLiteral("Green"));
    QCOMPARE(standalone.comboBox()->currentText(), QStringLiteral("green"));
    QCOMPARE(standalone.value(), QStringLiteral("Green"));
}

void TestMetadataExplorer::typingWithFormatAndKeys()
{
    MetadataExplorer explorer;
    explorer.resize(400, 300);
    QList<MetadataToFill> fill { field(QStringLiteral("Order"), XV::EDITORTYPE_STRING,
                                     QStringLiteral("^\\d+$"), true),
        field(QStringLiteral("Note"), XV::EDITORTYPE_STRING),
        field(QStringLiteral("Third"), XV::EDITORTYPE_STRING) };
    explorer.loadMetadata(&fill, { shown(QStringLiteral("Pages"), QStringLiteral("4")) });
    explorer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&explorer));
    QTreeView *view = explorer.view();

    auto *editor = qobject_cast<MetadataEditor *>(openEditor(explorer, 0));
    QVERIFY(editor);
    QLineEdit *edit = editor->lineEdit();
    QVERIFY(edit);
    QVERIFY(edit->validator());
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), edit, 2000);

    // The format refuses the letter as it is typed.
    QTest::keyClicks(edit, QStringLiteral("12a3"));
    QCOMPARE(edit->text(), QStringLiteral("123"));
    QCOMPARE(explorer.metadataToFill().at(0).value, QString());

    // Return stores the value and leaves the editor open.
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(explorer.metadataToFill().at(0).value, QStringLiteral("123"));
    QVERIFY(explorer.isValid());
    QCOMPARE(view->indexWidget(view->model()->index(0, 1)), editor);
    QVERIFY(edit->isVisible());

    // Text the format finds unfinished is stored as shown, and fails the check.
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->text(), QString());
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(explorer.metadataToFill().at(0).value, QString());
    QVERIFY(!explorer.isValid());
    QTest::keyClicks(edit, QStringLiteral("123"));
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(explorer.metadataToFill().at(0).value, QStringLiteral("123"));

    // Escape drops what was typed since.
    QTest::keyClicks(edit, QStringLiteral("45"));
    QTest::keyClick(edit, Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!view->indexWidget(view->model()->index(0, 1)), 2000);
    QCOMPARE(explorer.metadataToFill().at(0).value, QStringLiteral("123"));

    // Tab stores the typed text and opens the next value.
    editor = qobject_cast<MetadataEditor *>(openEditor(explorer, 1));
    QVERIFY(editor && editor->lineEdit());
    edit = editor->lineEdit();
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), edit, 2000);
    QTest::keyClicks(edit, QStringLiteral("first"));
    QTest::keyClick(edit, Qt::Key_Tab);
    QCOMPARE(explorer.metadataToFill().at(1).value, QStringLiteral("first"));
    QCOMPARE(view->currentIndex(), view->model()->index(2, 1));
    editor = qobject_cast<MetadataEditor *>(view->indexWidget(view->currentIndex()));
    QVERIFY(editor && editor->lineEdit());
    edit = editor->lineEdit();
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), edit, 2000);

    // Up stores the typed text too and moves to the field above, whose
    // editor shows its stored value.
    QTest::keyClicks(edit, QStringLiteral("third"));
    QTest::keyClick(edit, Qt::Key_Up);
    QCOMPARE(explorer.metadataToFill().at(2).value, QStringLiteral("third"));
    QCOMPARE(view->currentIndex(), view->model()->index(1, 1));
    editor = qobject_cast<MetadataEditor *>(view->indexWidget(view->currentIndex()));
    QVERIFY(editor && editor->lineEdit());
    QCOMPARE(editor->lineEdit()->text(), QStringLiteral("first"));
    QCOMPARE(explorer.metadataToFill().at(0).value, QStringLiteral("123"));
}

void TestMetadataExplorer::invalidFormatAcceptsAnything()
{
    MetadataExplorer explorer;
    explorer.resize(400, 300);
    QList<MetadataToFill> fill { field(
        QStringLiteral("Code"), XV::EDITORTYPE_STRING, QStringLiteral("[a-"), true) };
    explorer.loadMetadata(&fill);
    explorer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&explorer));
    QVERIFY(!explorer.isValid());

    auto *editor = qobject_cast<MetadataEditor *>(openEditor(explorer, 0));
    QVERIFY(editor && editor->lineEdit());
    QLineEdit *edit = editor->lineEdit();
    QVERIFY(!edit->validator());
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), edit, 2000);
    QTest::keyClicks(edit, QStringLiteral("Any-thing 1"));
    QTest::keyClick(edit, Qt::Key_Enter);
    QCOMPARE(explorer.metadataToFill().at(0).value, QStringLiteral("Any-thing 1"));
    QVERIFY(explorer.isValid());
}

void TestMetadataExplorer::upDownLeaveListsAlone()
{
    MetadataExplorer explorer;
    explorer.resize(400, 300);
    QList<MetadataToFill> fill { field(QStringLiteral("Colour"), QStringLiteral("enum:red\ngreen\nblue"), {},
                                     false, QStringLiteral("green")),
        field(QStringLiteral("Other"), XV::EDITORTYPE_STRING) };
    explorer.loadMetadata(&fill);
    explorer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&explorer));
    QSignalSpy edited(&explorer, &MetadataExplorer::dataChanged);
    QTreeView *view = explorer.view();

    auto *editor = qobject_cast<MetadataEditor *>(openEditor(explorer, 0));
    QVERIFY(editor && editor->comboBox());
    QPointer<QComboBox> combo = editor->comboBox();
    QCOMPARE(combo->currentText(), QStringLiteral("green"));
    QTRY_VERIFY_WITH_TIMEOUT(QApplication::focusWidget() == editor, 2000);

    // Down never reaches the list: the choice stays, the next field opens.
    QTest::keyClick(editor, Qt::Key_Down);
    QCOMPARE(combo->currentText(), QStringLiteral("green"));
    QCOMPARE(view->currentIndex(), view->model()->index(1, 1));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    QCOMPARE(view->currentIndex(), view->model()->index(0, 1));
    QCOMPARE(explorer.metadataToFill().at(0).value, QStringLiteral("green"));
    QCOMPARE(edited.count(), 0);
}

void TestMetadataExplorer::onlyValuesToFillLookEditable()
{
    MetadataExplorer explorer;
    explorer.resize(400, 300);
    QList<MetadataToFill> fill { field(QStringLiteral("Customer"), XV::EDITORTYPE_STRING),
        field(QStringLiteral("Urgent"), XV::EDITORTYPE_BOOL) };
    explorer.loadMetadata(&fill, { shown(QStringLiteral("Pages"), QStringLiteral("4")) });
    explorer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&explorer));
    QTreeView *view = explorer.view();

    const QImage shot = view->viewport()->grab().toImage();
    const auto colourAt = [&](int row, int column) {
        const QRect cell = view->visualRect(view->model()->index(row, column));
        return QColor(shot.pixel(cell.topRight() + QPoint(-8, 3)));
    };
    const QColor grey(200, 200, 200);
    // Row 0 has its editor open; row 1 is drawn by the delegate alone.
    QVERIFY(!view->indexWidget(view->model()->index(1, 1)));
    QCOMPARE(colourAt(1, 0), grey);
    QCOMPARE(colourAt(2, 0), grey);
    QCOMPARE(colourAt(2, 1), grey);
    QCOMPARE(colourAt(1, 1), view->palette().color(QPalette::Base));
    // The grid line under a value cell.
    const QRect valueCell = view->visualRect(view->model()->index(1, 1));
    QCOMPARE(QColor(shot.pixel(valueCell.center().x(), valueCell.bottom())), QColor(128, 128, 128));
}

void TestMetadataExplorer::disabledTextReads_data()
{
    QTest::addColumn<QString>("style");
    QTest::newRow("default") << QApplication::style()->name();
    QTest::newRow("Fusion") << QStringLiteral("Fusion");
    QTest::newRow("Windows") << QStringLiteral("Windows");
}

void TestMetadataExplorer::disabledTextReads()
{
    QFETCH(QString, style);
    QApplication::setStyle(QStyleFactory::create(style));
    QApplication::setPalette(QApplication::style()->standardPalette());
    MetadataExplorer explorer;
    explorer.resize(400, 300);
    QList<MetadataToFill> fill { field(
        QStringLiteral("Customer"), XV::EDITORTYPE_STRING, {}, false, QStringLiteral("Northwind")) };
    explorer.loadMetadata(&fill, { shown(QStringLiteral("Pages"), QStringLiteral("WWWW")) }, true);
    explorer.setEnabled(false);
    explorer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&explorer));
    QTreeView *view = explorer.view();
    const QImage shot = view->viewport()->grab().toImage();
    // The darkest and the lightest pixel inside a cell, its grid lines left
    // out: text on fill.
    const auto contrastIn = [&](int row, int column) {
        const QRect cell = view->visualRect(view->model()->index(row, column)).adjusted(1, 1, -2, -2);
        QColor darkest = Qt::white;
        QColor lightest = Qt::black;
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            for (int x = cell.left(); x <= cell.right(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                if (c.lightness() < darkest.lightness())
                    darkest = c;
                if (c.lightness() > lightest.lightness())
                    lightest = c;
            }
        }
        return Client::MetadataExplorerDelegate::contrast(darkest, lightest);
    };
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 2; ++column) {
            const double contrast = contrastIn(row, column);
            QVERIFY2(contrast >= 4.5,
                qPrintable(QStringLiteral("row %1 column %2: %3").arg(row).arg(column).arg(contrast)));
        }
    }
}

VORNEX_TEST_MAIN(TestMetadataExplorer)

#include "tst_metadataexplorer.moc"
