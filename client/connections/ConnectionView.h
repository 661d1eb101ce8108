#pragma once

#include <QPointer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class ServerConnection;

namespace Client {

class ConnectionPage;
class HeaderLabel;

// The form beside the connection table. It edits the connection's edited
// settings as the user types; "Apply" hands them to the live connection,
// logs it in and saves the list.
class ConnectionView : public QWidget
{
    Q_OBJECT

public:
    explicit ConnectionView(ConnectionPage *page);

    // Shows the connection, or an empty disabled form for none.
    void setConnection(ServerConnection *connection);
    ServerConnection *connection() const { return m_connection; }

    HeaderLabel *headerLabel() const { return m_header; }
    QCheckBox *enabledBox() const { return m_enabled; }
    QLineEdit *hostEdit() const { return m_host; }
    QLineEdit *portEdit() const { return m_port; }
    QLineEdit *userEdit() const { return m_user; }
    QLineEdit *passwordEdit() const { return m_password; }
    QLineEdit *intervalEdit() const { return m_interval; }
    QPushButton *applyButton() const { return m_apply; }

signals:
    void Changed();

public slots:
    void PropertyChanged();
    void Apply();

private:
    void connectFields();
    void disconnectFields();
    QString connectionName() const;

    QPointer<ServerConnection> m_connection;
    ConnectionPage *m_page;
    HeaderLabel *m_header;
    QCheckBox *m_enabled;
    QLineEdit *m_host;
    QLineEdit *m_port;
    QLineEdit *m_user;
    QLineEdit *m_password;
    QLabel *m_intervalLabel;
    QLineEdit *m_interval;
    QPushButton *m_apply;
};

} // namespace Client
