#include "MetadataExplorer.h"
#include "MetadataExplorerModel.h"
#include "PushJobWidget.h"
#include "TestEnv.h"
#include "XMLValues.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

using Client::MetadataExplorer;
using Client::PushJobWidget;

namespace {

CheckPointJobData jobWith(int connections, bool multiple)
{
    CheckPointJobData job;
    job.name = QStringLiteral("scan.pdf");
    job.allowMultipleOutputs = multiple;
    for (int i = 1; i <= connections; ++i)
        job.connections.append({ QStringLiteral("conn-%1").arg(i), QStringLiteral("Out %1").arg(i) });
    return job;
}

QList<QString> pushed(const QSignalSpy &spy, int index = 0)
{
    return spy.at(index).at(0).value<QList<QString>>();
}

} // namespace

class TestPushJobWidget : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void singleOutputUsesButtons();
    void singleOutputListNeedsOwnerAndChoice();
    void multipleOutputsTickAndName();
    void invalidMetadataKeepsListPushOff();
    void newJobStartsDisabled();
    void longNamesStayApartWithinTheWindow_data();
    void longNamesStayApartWithinTheWindow();

private:
    std::unique_ptr<QWidget> m_window;
    MetadataExplorer *m_explorer = nullptr;
    PushJobWidget *m_widget = nullptr;
};

void TestPushJobWidget::init()
{
    m_window = std::make_unique<QWidget>();
    m_explorer = new MetadataExplorer(m_window.get());
    m_widget = new PushJobWidget(m_window.get(), m_explorer);
    auto *layout = new QVBoxLayout(m_window.get());
    layout->addWidget(m_explorer);
    layout->addWidget(m_widget);
    m_window->resize(400, 400);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestPushJobWidget::cleanup()
{
    m_window.reset();
}

void TestPushJobWidget::singleOutputUsesButtons()
{
    QSignalSpy spy(m_widget, &PushJobWidget::pushJobClicked);
    CheckPointJobData job = jobWith(3, false);
    job.connections[2].name = QStringLiteral("Print & Mail");
    m_widget->setJob(job);
    m_widget->setPushEnabled(true);

    QVERIFY(m_widget->list()->isHidden());
    QVERIFY(m_widget->listPushButton()->isHidden());
    for (int n = 1; n <= 3; ++n) {
        QVERIFY(m_widget->button(n)->isVisible());
        QVERIFY(m_widget->button(n)->isEnabled());
        QCOMPARE(m_widget->button(n)->objectName(), QStringLiteral("PushJobBtn%1").arg(n));
    }
    QVERIFY(m_widget->button(4)->isHidden());
    QCOMPARE(m_widget->button(1)->text(), QStringLiteral("Out 1"));
    QCOMPARE(m_widget->button(3)->text(), QStringLiteral("Print && Mail"));
    // Button 1 right of button 2 on top, button 3 right of button 4 below.
    const QRect b1 = m_widget->button(1)->geometry();
    const QRect b2 = m_widget->button(2)->geometry();
    const QRect b3 = m_widget->button(3)->geometry();
    QCOMPARE(b1.top(), b2.top());
    QVERIFY(b1.left() > b2.right());
    QVERIFY(b3.top() > b1.bottom());
    QCOMPARE(b3.left(), b1.left());

    QTest::mouseClick(m_widget->button(2), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(pushed(spy), QList<QString>({ QStringLiteral("conn-2") }));

    // Taken away by the owner: the buttons stay quiet.
    m_widget->setPushEnabled(false);
    QVERIFY(!m_widget->button(1)->isEnabled());
    QTest::mouseClick(m_widget->button(1), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);

    // Four connections still go by buttons.
    m_widget->setJob(jobWith(4, false));
    m_widget->setPushEnabled(true);
    QVERIFY(m_widget->button(4)->isVisible());
    QVERIFY(m_widget->list()->isHidden());
    QTest::mouseClick(m_widget->button(4), Qt::LeftButton);
    QCOMPARE(pushed(spy, 1), QList<QString>({ QStringLiteral("conn-4") }));
}

void TestPushJobWidget::singleOutputListNeedsOwnerAndChoice()
{
    QSignalSpy spy(m_widget, &PushJobWidget::pushJobClicked);
    m_widget->setJob(jobWith(5, false));
    for (int n = 1; n <= 4; ++n)
        QVERIFY(m_widget->button(n)->isHidden());
    QVERIFY(m_widget->list()->isVisible());
    QCOMPARE(m_widget->list()->count(), 5);
    QCOMPARE(m_widget->list()->item(0)->data(Qt::CheckStateRole), QVariant());
    QCOMPARE(m_widget->listPushLabel()->text(), QStringLiteral("Select an option in the listbox"));
    QVERIFY(!m_widget->listPushButton()->isEnabled());

    // Choosing a row while the owner does not allow pushing enables nothing.
    m_widget->list()->setCurrentRow(3);
    QCOMPARE(m_widget->listPushLabel()->text(), QStringLiteral("Out 4"));
    QVERIFY(!m_widget->listPushButton()->isEnabled());
    QTest::mouseClick(m_widget->listPushButton(), Qt::LeftButton);
    QCOMPARE(spy.count(), 0);

    m_widget->setPushEnabled(true);
    QVERIFY(m_widget->listPushButton()->isEnabled());
    QTest::mouseClick(m_widget->listPushButton(), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(pushed(spy), QList<QString>({ QStringLiteral("conn-4") }));

    // Allowed but nothing chosen: nothing to push.
    m_widget->setJob(jobWith(6, false));
    m_widget->setPushEnabled(true);
    QVERIFY(!m_widget->listPushButton()->isEnabled());
    m_widget->list()->setCurrentRow(5);
    QVERIFY(m_widget->listPushButton()->isEnabled());
}

void TestPushJobWidget::multipleOutputsTickAndName()
{
    QSignalSpy spy(m_widget, &PushJobWidget::pushJobClicked);
    m_widget->setJob(jobWith(3, true));
    m_widget->setPushEnabled(true);
    QVERIFY(m_widget->list()->isVisible());
    QVERIFY(m_widget->button(1)->isHidden());
    QCOMPARE(m_widget->list()->item(0)->checkState(), Qt::Unchecked);
    QVERIFY(!m_widget->listPushButton()->isEnabled());

    m_widget->list()->item(2)->setCheckState(Qt::Checked);
    m_widget->list()->item(0)->setCheckState(Qt::Checked);
    QCOMPARE(m_widget->listPushLabel()->text(), QStringLiteral("Out 1 and Out 3"));
    QVERIFY(m_widget->listPushButton()->isEnabled());
    QTest::mouseClick(m_widget->listPushButton(), Qt::LeftButton);
    QCOMPARE(pushed(spy), QList<QString>({ QStringLiteral("conn-1"), QStringLiteral("conn-3") }));

    m_widget->list()->item(0)->setCheckState(Qt::Unchecked);
    m_widget->list()->item(2)->setCheckState(Qt::Unchecked);
    QCOMPARE(m_widget->listPushLabel()->text(), QStringLiteral("Select an option in the listbox"));
    QVERIFY(!m_widget->listPushButton()->isEnabled());
    // Even a current row is no choice here: never an empty push.
    m_widget->list()->setCurrentRow(1);
    QVERIFY(!m_widget->listPushButton()->isEnabled());
    QTest::mouseClick(m_widget->listPushButton(), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);

    // Ticks while the owner says no enable nothing.
    m_widget->setPushEnabled(false);
    m_widget->list()->item(1)->setCheckState(Qt::Checked);
    QCOMPARE(m_widget->listPushLabel()->text(), QStringLiteral("Out 2"));
    QVERIFY(!m_widget->listPushButton()->isEnabled());
}

void TestPushJobWidget::invalidMetadataKeepsListPushOff()
{
    MetadataToFill required;
    required.label = QStringLiteral("Customer");
    required.dataType = Tamsor::XMLValues::EDITORTYPE_STRING;
    required.valueIsRequired = true;
    QList<MetadataToFill> fields { required };
    m_explorer->loadMetadata(&fields);
    QVERIFY(!m_explorer->isValid());

    m_widget->setJob(jobWith(2, true));
    m_widget->setPushEnabled(true);
    m_widget->list()->item(1)->setCheckState(Qt::Checked);
    QVERIFY(!m_widget->listPushButton()->isEnabled());

    QVERIFY(
        m_explorer->model()->setData(m_explorer->model()->index(0, 1), QStringLiteral("ACME"), Qt::EditRole));
    QVERIFY(m_explorer->isValid());
    m_widget->setPushEnabled(true);
    QVERIFY(m_widget->listPushButton()->isEnabled());
}

void TestPushJobWidget::newJobStartsDisabled()
{
    m_widget->setJob(jobWith(2, false));
    m_widget->setPushEnabled(true);
    QVERIFY(m_widget->button(1)->isEnabled());
    m_widget->setJob(jobWith(3, false));
    QVERIFY(!m_widget->isPushAllowed());
    QVERIFY(!m_widget->button(1)->isEnabled());
    QVERIFY(m_widget->button(3)->isVisible());
}

void TestPushJobWidget::longNamesStayApartWithinTheWindow_data()
{
    QTest::addColumn<QStringList>("names");
    const QString common = QStringLiteral("repress department of the northern");
    QTest::newRow("alike start") << QStringList { common + QStringLiteral(" region, colour proofs"),
        common + QStringLiteral(" region, plates"), common + QStringLiteral(" region, archive & mail"),
        common + QStringLiteral(" region, customer approval") };
    QTest::newRow("alike both ends") << QStringList { common
            + QStringLiteral(" Alpha office, out to the central archive"),
        common + QStringLiteral(" Bravo office, out to the central archive"),
        common + QStringLiteral(" Charlie office, out to the central archive") };
}

void TestPushJobWidget::longNamesStayApartWithinTheWindow()
{
    QFETCH(QStringList, names);
    CheckPointJobData job = jobWith(int(names.size()), false);
    for (int i = 0; i < names.size(); ++i)
        job.connections[i].name = names.at(i);
    const int width = m_window->width();
    m_widget->setJob(job);
    m_widget->setPushEnabled(true);

    // Every name inside its button, read apart from the others.
    const auto apartAndInside = [&] {
        QSet<QString> shown;
        for (int n = 1; n <= names.size(); ++n) {
            const QPushButton *button = m_widget->button(n);
            QString text = button->text();
            text.replace(QStringLiteral("&&"), QStringLiteral("&"));
            if (button->fontMetrics().horizontalAdvance(text) >= button->width())
                return false;
            shown.insert(text);
        }
        return shown.size() == names.size();
    };
    QTRY_VERIFY(apartAndInside());
    QCOMPARE(m_window->width(), width);
    QVERIFY(m_window->minimumSizeHint().width() <= width);
    for (int n = 1; n <= names.size(); ++n)
        QCOMPARE(m_widget->button(n)->toolTip(), names.at(n - 1));

    // Narrower still.
    const int buttonWidth = m_widget->button(1)->width();
    m_window->resize(width - 120, m_window->height());
    QTRY_VERIFY(m_widget->button(1)->width() < buttonWidth);
    QTRY_VERIFY(apartAndInside());

    QSignalSpy spy(m_widget, &PushJobWidget::pushJobClicked);
    QTest::mouseClick(m_widget->button(3), Qt::LeftButton);
    QCOMPARE(pushed(spy), QList<QString>({ QStringLiteral("conn-3") }));
}

VORNEX_TEST_MAIN(TestPushJobWidget)
#include "tst_pushjobwidget.moc"
