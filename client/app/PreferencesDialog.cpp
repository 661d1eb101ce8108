#include "PreferencesDialog.h"

#include "ClientNames.h"
#include "LanguageSupport.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QSettings>
#include <QVBoxLayout>

PreferencesDialog::PreferencesDialog(QWidget *parent)
    : QDialog(parent)
    , m_language(new QComboBox(this))
{
    setWindowTitle(tr("Preferences"));

    auto *buttons
        = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &PreferencesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PreferencesDialog::reject);

    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Language"), this), 0, 0);
    grid->addWidget(m_language, 0, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addWidget(buttons);

    const QString stored
        = QSettings().value(ClientNames::languageKey(), ClientNames::defaultLanguage()).toString();
    m_language->addItems(Client::availableLanguages());
    m_language->setCurrentIndex(m_language->findText(stored, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void PreferencesDialog::accept()
{
    QSettings().setValue(ClientNames::languageKey(), m_language->currentText());
    QDialog::accept();
}
