#include "SplashScreen.h"

SplashScreen::SplashScreen(QWidget *parent)
    : Velloc::SplashAboutDialog(parent, QStringLiteral(":/Dovelin/Images/OmbrelSplash.png"))
{
    // Here, not in the base, so that the picture carries this class's texts.
    composePicture();
}

QString SplashScreen::versionText() const
{
    // The major number replaces as many trailing zeros as it has digits.
    QString text = QStringLiteral("VORNEXclient 00");
    const QString major = QString::number(MajorVersion);
    text.chop(major.size());
    text += major;
    if (UpdateVersion != 0)
        text += QLatin1Char(' ') + tr("update %1").arg(UpdateVersion);
    if (!extraLabel().isEmpty())
        text += QStringLiteral(" (%1 %2)").arg(extraLabel()).arg(ExtraNumber);
    return text;
}
