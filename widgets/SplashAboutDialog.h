#pragma once

#include <QDialog>
#include <QPixmap>
#include <QString>

class QMouseEvent;

namespace Velloc {

// Frameless picture shown as the start-up splash and, run modally, as the
// About box. A subclass supplies the texts and calls composePicture() from
// its constructor.
class SplashAboutDialog : public QDialog
{
    Q_OBJECT

public:
    SplashAboutDialog(QWidget *parent, const QString &baseImagePath);
    ~SplashAboutDialog() override;

    // Builds the picture from the base image, the co-branding images and
    // the texts, and shows the dialog centred on the primary screen.
    void composePicture();

    QPixmap picture() const { return m_picture; }
    QString baseImagePath() const { return m_baseImagePath; }

    static constexpr int PictureWidth = 500;
    static constexpr int BaseHeight = 425;

public slots:
    void finish(QWidget *mainWindow);

protected:
    virtual QString versionText() const;
    virtual QString subtitleText() const;
    virtual QString stampText() const;

    // The folder "CoBranding" beside the program.
    virtual QString coBrandingDir() const;

    void mousePressEvent(QMouseEvent *event) override;

private:
    QString m_baseImagePath;
    QPixmap m_picture;
};

} // namespace Velloc
