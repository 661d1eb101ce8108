#pragma once

#include "SplashAboutDialog.h"

// The client's picture with its version: the start-up splash and the
// About box.
class SplashScreen : public Velloc::SplashAboutDialog
{
    Q_OBJECT

public:
    static constexpr int MajorVersion = 7;
    static constexpr int UpdateVersion = 5;
    static constexpr int ExtraNumber = 2;
    // Empty in this build: no extra part in the version text.
    static QString extraLabel() { return QString(); }

    explicit SplashScreen(QWidget *parent = nullptr);

    QString versionText() const override;
};
