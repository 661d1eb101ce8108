#pragma once

#include <QDialog>

class QComboBox;

// The user's choice of language, stored for the next start.
class PreferencesDialog : public QDialog
{
    Q_OBJECT

public:
    explicit PreferencesDialog(QWidget *parent = nullptr);

public slots:
    void accept() override;

private:
    QComboBox *m_language;
};
