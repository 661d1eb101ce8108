#include "ConnectionView.h"

#include "ConnectionPage.h"
#include "HeaderLabel.h"
#include "ServerConnection.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace Client {

ConnectionView::ConnectionView(ConnectionPage *page)
    : QWidget(page)
    , m_page(page)
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame->setMinimumWidth(220);
    frame->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Expanding);
    outer->addWidget(frame);

    auto *box = new QVBoxLayout(frame);
    m_header = new HeaderLabel(QString(), frame);
    box->addWidget(m_header);

    auto *grid = new QGridLayout;
    m_enabled = new QCheckBox(frame);
    m_host = new QLineEdit(frame);
    m_port = new QLineEdit(frame);
    // A port is no quantity: "51,008" is refused as typed rather than read
    // as something else.
    auto *portValidator = new QIntValidator(1, 65535, m_port);
    QLocale portLocale = portValidator->locale();
    portLocale.setNumberOptions(portLocale.numberOptions() | QLocale::RejectGroupSeparator);
    portValidator->setLocale(portLocale);
    m_port->setValidator(portValidator);
    m_user = new QLineEdit(frame);
    m_password = new QLineEdit(frame);
    m_password->setEchoMode(QLineEdit::Password);
    grid->addWidget(new QLabel(tr("Enable connection"), frame), 0, 0);
    grid->addWidget(m_enabled, 0, 1);
    grid->addWidget(new QLabel(tr("Host name / IP address"), frame), 1, 0);
    grid->addWidget(m_host, 1, 1);
    grid->addWidget(new QLabel(tr("Port"), frame), 2, 0);
    grid->addWidget(m_port, 2, 1);
    grid->addWidget(new QLabel(tr("User name"), frame), 3, 0);
    grid->addWidget(m_user, 3, 1);
    grid->addWidget(new QLabel(tr("Password"), frame), 4, 0);
    grid->addWidget(m_password, 4, 1);
    box->addLayout(grid);

    // The check interval drives no timer; the hidden edit only carries the
    // stored value to and from the connection.
    m_intervalLabel = new QLabel(tr("Check every (minutes)"), frame);
    m_intervalLabel->hide();
    m_interval = new QLineEdit(frame);
    m_interval->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("^(\\d\\d?$|\\d\\.\\d)")), m_interval));
    m_interval->hide();

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    m_apply = new QPushButton(tr("Apply"), frame);
    buttons->addWidget(m_apply);
    box->addLayout(buttons);
    box->addStretch();

    connect(m_apply, &QPushButton::clicked, this, &ConnectionView::Apply);
    connectFields();
    setConnection(nullptr);
}

void ConnectionView::connectFields()
{
    connect(m_enabled, &QCheckBox::stateChanged, this, &ConnectionView::PropertyChanged);
    for (QLineEdit *edit : { m_host, m_port, m_user, m_password, m_interval })
        connect(edit, &QLineEdit::textEdited, this, &ConnectionView::PropertyChanged);
}

void ConnectionView::disconnectFields()
{
    disconnect(m_enabled, &QCheckBox::stateChanged, this, &ConnectionView::PropertyChanged);
    for (QLineEdit *edit : { m_host, m_port, m_user, m_password, m_interval })
        disconnect(edit, &QLineEdit::textEdited, this, &ConnectionView::PropertyChanged);
}

QString ConnectionView::connectionName() const
{
    if (!m_connection)
        return tr("server");
    const QString reported = m_connection->serverName();
    return reported.isEmpty() ? m_connection->settings().host : reported;
}

void ConnectionView::setConnection(ServerConnection *connection)
{
    m_connection = connection;
    disconnectFields();
    const bool set = connection != nullptr;
    if (set) {
        const ServerConnection::ConnectionSettings edited = connection->settings();
        m_enabled->setChecked(edited.enabled);
        m_host->setText(edited.host);
        m_port->setText(QString::number(edited.port));
        m_user->setText(edited.user);
        m_password->setText(edited.password);
        m_interval->setText(QString::number(double(edited.uptime), 'g', 6));
    } else {
        m_enabled->setChecked(false);
        for (QLineEdit *edit : { m_host, m_port, m_user, m_password, m_interval })
            edit->clear();
    }
    m_enabled->setEnabled(set);
    for (QLineEdit *edit : { m_host, m_port, m_user, m_password, m_interval })
        edit->setEnabled(set);
    m_header->setText(tr("Connection to %1").arg(connectionName()));
    m_apply->setEnabled(false);
    connectFields();
}

void ConnectionView::PropertyChanged()
{
    if (!m_connection)
        return;
    m_connection->setEnabled(m_enabled->isChecked());
    m_connection->setHost(m_host->text());
    // Only a port a server can listen on; anything else leaves the
    // connection unusable until it is put right. Read by the validator's
    // own rules, so whatever it accepts converts.
    bool portOk = m_port->hasAcceptableInput();
    const int port = portOk ? m_port->validator()->locale().toInt(m_port->text(), &portOk) : 0;
    m_connection->setPort(portOk ? port : 0);
    m_connection->setUser(m_user->text());
    m_connection->setPassword(m_password->text());
    bool ok = false;
    const float minutes = m_interval->text().toFloat(&ok);
    m_connection->setUptime(ok ? minutes : 0.0f);
    m_header->setText(tr("Connection to %1").arg(connectionName()));
    m_apply->setEnabled(portOk);
}

void ConnectionView::Apply()
{
    m_apply->setEnabled(false);
    if (m_connection && m_page) {
        m_connection->applySettings();
        m_page->loginConnection(m_connection);
    }
    if (m_page)
        m_page->saveConnections();
    emit Changed();
}

} // namespace Client
