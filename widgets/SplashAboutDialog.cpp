#include "SplashAboutDialog.h"

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QList>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QRect>
#include <QScreen>

namespace Velloc {

namespace {

const QRect kTextRect(20, 335, 460, 80);
const QRect kStampRect(20, 255, 460, 70);

QList<QPixmap> loadCoBrandingImages(const QString &dirPath)
{
    QList<QPixmap> images;
    const QDir dir(dirPath);
    if (dirPath.isEmpty() || !dir.exists())
        return images;
    const QFileInfoList entries = dir.entryInfoList({ QStringLiteral("*.png"), QStringLiteral("*.jpg") },
        QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &entry : entries) {
        QPixmap image;
        if (image.load(entry.absoluteFilePath()) && !image.isNull())
            images.append(image);
    }
    return images;
}

} // namespace

SplashAboutDialog::SplashAboutDialog(QWidget *parent, const QString &baseImagePath)
    : QDialog(parent, Qt::SplashScreen)
    , m_baseImagePath(baseImagePath)
{
    setModal(true);
}

SplashAboutDialog::~SplashAboutDialog() = default;

QString SplashAboutDialog::versionText() const
{
    return QString();
}

QString SplashAboutDialog::subtitleText() const
{
    return QString();
}

QString SplashAboutDialog::stampText() const
{
    return QString();
}

QString SplashAboutDialog::coBrandingDir() const
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("CoBranding"));
}

void SplashAboutDialog::composePicture()
{
    const QPixmap base(m_baseImagePath);
    const QList<QPixmap> coBranding = loadCoBrandingImages(coBrandingDir());
    int coBrandingHeight = 0;
    for (const QPixmap &image : coBranding)
        coBrandingHeight += image.height();

    QPixmap canvas(PictureWidth, BaseHeight + coBrandingHeight);
    // A missing base image leaves a plain white card rather than garbage.
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        painter.drawPixmap(QRect(0, 0, PictureWidth, BaseHeight), base);

        int top = BaseHeight;
        for (const QPixmap &image : coBranding) {
            painter.drawPixmap(QRect(0, top, PictureWidth, image.height()), image);
            top += image.height();
        }

        QFont versionFont(QStringLiteral("Verdana"), 10, QFont::Bold);
        painter.setFont(versionFont);
        painter.drawText(
            kTextRect, Qt::AlignLeft | Qt::AlignTop, versionText() + QLatin1Char('\n') + subtitleText());

        QFont contactFont(QStringLiteral("Verdana"), 8, QFont::Normal);
        painter.setFont(contactFont);
        const QString contact = QChar(0x00A9)
            + tr(" 2007-2026 Marvolt Software, 12 Sample Road, Exampleton\n"
                 "www.example.com, info@example.com, phone +1 555 0100");
        painter.drawText(kTextRect, Qt::AlignLeft | Qt::AlignBottom, contact);

        const QString stamp = stampText();
        if (!stamp.isEmpty()) {
            QFont stampFont(QStringLiteral("Verdana"), 18, QFont::Bold, true);
            painter.setFont(stampFont);
            painter.setPen(QColor(QStringLiteral("red")));
            painter.drawText(kStampRect, Qt::AlignLeft | Qt::AlignVCenter, stamp);
        }
    }
    m_picture = canvas;

    QPalette pal = palette();
    for (const QPalette::ColorGroup group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
        pal.setBrush(group, backgroundRole(), QBrush(m_picture));
    setPalette(pal);
    setAutoFillBackground(true);

    resize(m_picture.size());
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->geometry().center());
        move(frame.topLeft());
    }
    show();
    repaint();
    // The caller goes on building the main window in this thread: get the
    // picture on screen first, without handling user input yet.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void SplashAboutDialog::finish(QWidget *mainWindow)
{
    Q_UNUSED(mainWindow);
    close();
}

void SplashAboutDialog::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    hide();
}

} // namespace Velloc
