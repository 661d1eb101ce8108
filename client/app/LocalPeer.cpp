#include "LocalPeer.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>
#include <QtEndian>

#include <memory>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileHandler.h"

namespace {

// Receipt the listening side sends once it has the whole message.
const char kAck = '\x06';
const int kHeaderSize = 4;
const quint32 kMaxMessageSize = 64 * 1024;
// A connection that never completes its message is dropped after this.
const int kReadTimeoutMs = 5000;

bool isPrivateFolderOfOurs(const QByteArray &path)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

// A folder under the shared temporary folder that only we can use: made
// 0700, or found as a 0700 folder of ours. Anything else standing there (a
// file, a link, a folder of another user or one others could enter and
// leave a socket in) is refused.
bool sharedPrivateFolder(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    return isPrivateFolderOfOurs(encoded);
}

// Under the home folder nobody else can create a name, so a folder of ours
// found there is only tightened.
bool homePrivateFolder(const QString &path)
{
    return QDir().mkpath(QFileInfo(path).absolutePath()) && Tamsor::FileHandler::makePrivateFolder(path)
        && isPrivateFolderOfOurs(QFile::encodeName(path));
}

int remainingMs(const QDeadlineTimer &deadline)
{
    return int(qBound(qint64(0), deadline.remainingTime(), qint64(24 * 3600 * 1000)));
}

// Serialises the check-and-listen step of processes that start together,
// so that two of them never both take the name. Released when it goes out
// of scope or the process dies.
class FolderLock
{
public:
    explicit FolderLock(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd >= 0) {
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) { }
        }
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

private:
    int m_fd = -1;
};

} // namespace

LocalPeer::LocalPeer(const QString &id, QObject *parent)
    : QObject(parent)
    , m_id(id)
{
    const QString folder = socketFolder();
    if (folder.isEmpty())
        return;
    QString readable;
    for (const QChar c : id)
        readable += (c.isLetterOrNumber() && c.unicode() < 128) ? c : QLatin1Char('_');
    const QByteArray digest = QCryptographicHash::hash(id.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
    m_serverName
        = folder + QLatin1Char('/') + readable.left(40) + QLatin1Char('-') + QString::fromLatin1(digest);
}

LocalPeer::~LocalPeer() = default;

QString LocalPeer::socketFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && runtime.startsWith('/') && isPrivateFolderOfOurs(runtime))
        return QFile::decodeName(runtime);
    const QString shared = QDir::tempPath() + QStringLiteral("/vornex-") + QString::number(::geteuid());
    if (sharedPrivateFolder(shared))
        return shared;
    // Never run without the check because another user took the name.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty() || QDir::isRelativePath(cache))
        return QString();
    const QString own = cache + QStringLiteral("/vornex");
    return homePrivateFolder(own) ? own : QString();
}

bool LocalPeer::isClient() const
{
    if (m_serverName.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    return socket.waitForConnected(1000);
}

bool LocalPeer::isListening() const
{
    return m_server && m_server->isListening();
}

bool LocalPeer::listen()
{
    if (m_serverName.isEmpty())
        return false;
    if (isListening())
        return true;
    if (!m_server) {
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, &LocalPeer::onNewConnection);
    }
    FolderLock lock(m_serverName + QStringLiteral(".lock"));
    // Listening with access options replaces whatever file has the name, so
    // a live owner must be asked first; a socket nobody answers on is what
    // a killed process left behind.
    if (isClient())
        return false;
    QLocalServer::removeServer(m_serverName);
    return m_server->listen(m_serverName);
}

void LocalPeer::close()
{
    if (m_server)
        m_server->close();
}

bool LocalPeer::sendMessage(const QString &message, int timeoutMs) const
{
    return deliver(m_serverName, message, timeoutMs);
}

bool LocalPeer::deliver(const QString &serverName, const QString &message, int timeoutMs)
{
    if (serverName.isEmpty())
        return false;
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(remainingMs(deadline)))
        return false;

    const QByteArray payload = message.toUtf8();
    if (quint32(payload.size()) > kMaxMessageSize)
        return false;
    QByteArray frame(kHeaderSize, Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(payload.size()), frame.data());
    frame += payload;
    if (socket.write(frame) != frame.size())
        return false;
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(remainingMs(deadline)))
            return false;
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(remainingMs(deadline)))
            return false;
    }
    char reply = 0;
    return socket.getChar(&reply) && reply == kAck;
}

void LocalPeer::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        QTimer::singleShot(kReadTimeoutMs, socket, [socket] {
            if (socket->state() != QLocalSocket::UnconnectedState)
                socket->abort();
            socket->deleteLater();
        });
        readFrom(socket);
    }
}

void LocalPeer::readFrom(QLocalSocket *socket)
{
    if (socket->bytesAvailable() < kHeaderSize)
        return;
    QByteArray header = socket->peek(kHeaderSize);
    const quint32 size = qFromBigEndian<quint32>(header.constData());
    if (size > kMaxMessageSize) {
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < qint64(kHeaderSize + size))
        return;
    socket->skip(kHeaderSize);
    const QString message = QString::fromUtf8(socket->read(size));
    socket->putChar(kAck);
    socket->flush();
    socket->disconnectFromServer();
    emit messageReceived(message);
}
