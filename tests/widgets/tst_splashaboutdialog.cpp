#include "SplashAboutDialog.h"
#include "TestEnv.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest/QTest>

namespace {

class Splash : public Velloc::SplashAboutDialog
{
public:
    Splash(const QString &base, const QString &coBranding, const QString &stamp = QString())
        : SplashAboutDialog(nullptr, base)
        , m_coBranding(coBranding)
        , m_stamp(stamp)
    {
        composePicture();
    }

    QString programCoBrandingDir() const { return SplashAboutDialog::coBrandingDir(); }

protected:
    QString versionText() const override { return QStringLiteral("Version 7.5"); }
    QString stampText() const override { return m_stamp; }
    QString coBrandingDir() const override { return m_coBranding; }

private:
    QString m_coBranding;
    QString m_stamp;
};

void writeImage(const QString &path, int width, int height, const QColor &colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QVERIFY2(image.save(path), qPrintable(path));
}

bool near(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) < 40 && qAbs(a.green() - b.green()) < 40 && qAbs(a.blue() - b.blue()) < 40;
}

int redPixels(const QImage &image, const QRect &area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 180 && c.green() < 90 && c.blue() < 90)
                ++count;
        }
    return count;
}

} // namespace

class TestSplashAboutDialog : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_base = m_dir.filePath(QStringLiteral("base.png"));
        writeImage(m_base, 100, 85, Qt::white);
        m_coBranding = m_dir.filePath(QStringLiteral("CoBranding"));
        QDir(m_coBranding).removeRecursively();
        QVERIFY(QDir().mkpath(m_coBranding));
    }

    void withoutCoBrandingThePictureIsTheBaseSize()
    {
        Splash missingFolder(m_base, m_dir.filePath(QStringLiteral("nowhere")));
        QCOMPARE(missingFolder.picture().size(), QSize(500, 425));

        Splash emptyFolder(m_base, m_coBranding);
        QCOMPARE(emptyFolder.picture().size(), QSize(500, 425));
        QVERIFY(emptyFolder.isVisible());
        QVERIFY(emptyFolder.isModal());
        QCOMPARE(emptyFolder.windowType(), Qt::SplashScreen);
        QCOMPARE(emptyFolder.size(), QSize(500, 425));
        // Centred on the primary screen, give or take the window frame.
        const QPoint screenCentre = QGuiApplication::primaryScreen()->geometry().center();
        QVERIFY((emptyFolder.geometry().center() - screenCentre).manhattanLength() <= 8);

        // Without a base image the card is still drawn at full size.
        Splash noBase(m_dir.filePath(QStringLiteral("missing.png")), m_coBranding);
        QCOMPARE(noBase.picture().size(), QSize(500, 425));

        QCOMPARE(QDir(emptyFolder.programCoBrandingDir()),
            QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/CoBranding")));
    }

    void coBrandingImagesStackUnderTheBase()
    {
        writeImage(m_dir.filePath(QStringLiteral("base-red.png")), 50, 50, Qt::red);
        writeImage(QDir(m_coBranding).filePath(QStringLiteral("a.png")), 120, 60, Qt::blue);
        // Listed by name with case ignored, so "B.jpg" comes after "a.png".
        writeImage(QDir(m_coBranding).filePath(QStringLiteral("B.jpg")), 80, 40, Qt::green);
        QFile notes(QDir(m_coBranding).filePath(QStringLiteral("notes.txt")));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("not an image");
        notes.close();
        QVERIFY(QDir().mkpath(QDir(m_coBranding).filePath(QStringLiteral("folder.png"))));

        Splash splash(m_dir.filePath(QStringLiteral("base-red.png")), m_coBranding);
        const QImage picture = splash.picture().toImage();
        QCOMPARE(picture.size(), QSize(500, 525));
        QCOMPARE(splash.size(), QSize(500, 525));

        QVERIFY(near(picture.pixelColor(490, 5), Qt::red));
        QVERIFY(near(picture.pixelColor(490, 424), Qt::red));
        for (int x : { 0, 250, 499 }) {
            QVERIFY(near(picture.pixelColor(x, 425), Qt::blue));
            QVERIFY(near(picture.pixelColor(x, 484), Qt::blue));
            QVERIFY(near(picture.pixelColor(x, 485), Qt::green));
            QVERIFY(near(picture.pixelColor(x, 524), Qt::green));
        }
    }

    void unreadableImagesAreSkipped()
    {
        QFile broken(QDir(m_coBranding).filePath(QStringLiteral("broken.png")));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("\x89PNG but nothing after");
        broken.close();
        writeImage(QDir(m_coBranding).filePath(QStringLiteral("good.png")), 10, 30, Qt::blue);

        Splash splash(m_base, m_coBranding);
        QCOMPARE(splash.picture().size(), QSize(500, 455));
    }

    void stampIsDrawnOnlyWhenGiven()
    {
        const QRect stampArea(20, 255, 460, 70);
        Splash plain(m_base, m_coBranding);
        QCOMPARE(redPixels(plain.picture().toImage(), stampArea), 0);

        Splash stamped(m_base, m_coBranding, QStringLiteral("EVALUATION"));
        QVERIFY(redPixels(stamped.picture().toImage(), stampArea) > 50);
        // The stamp stays inside its band.
        QCOMPARE(redPixels(stamped.picture().toImage(), QRect(0, 0, 500, 250)), 0);

        // Version and contact texts are painted in the text area, dark on white.
        const QImage image = plain.picture().toImage();
        int dark = 0;
        for (int y = 335; y < 415; ++y)
            for (int x = 20; x < 480; ++x)
                dark += image.pixelColor(x, y).lightness() < 100 ? 1 : 0;
        QVERIFY(dark > 100);
    }

    void clickHidesAndEndsTheModalRun()
    {
        Splash splash(m_base, m_coBranding);
        QVERIFY(splash.isVisible());
        QTest::mouseClick(&splash, Qt::LeftButton, Qt::NoModifier, QPoint(250, 200));
        QVERIFY(!splash.isVisible());

        // As the About box: a click ends exec(). Showing a splash-type window
        // outside the application's loop runs pending events, so click only
        // once exec()'s own loop is running.
        bool clicked = false;
        QTimer clicker;
        clicker.setInterval(10);
        connect(&clicker, &QTimer::timeout, &splash, [&splash, &clicked, &clicker] {
            if (QThread::currentThread()->loopLevel() == 0 || !splash.isVisible())
                return;
            clicker.stop();
            clicked = true;
            QTest::mouseClick(&splash, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        });
        clicker.start();
        QTimer::singleShot(5000, &splash, [&splash] { splash.done(42); });
        const int result = splash.exec();
        QVERIFY(clicked);
        QVERIFY(result != 42);
        QVERIFY(!splash.isVisible());
    }

    void finishCloses()
    {
        Splash splash(m_base, m_coBranding);
        QWidget mainWindow;
        splash.finish(&mainWindow);
        QVERIFY(!splash.isVisible());
        QVERIFY(splash.picture().size() == QSize(500, 425));
    }

private:
    QTemporaryDir m_dir;
    QString m_base;
    QString m_coBranding;
};

VORNEX_TEST_MAIN(TestSplashAboutDialog)
#include "tst_splashaboutdialog.moc"
