#include "Transfers.h"

#include "FilesStreamer.h"
#include "FilesStreamerW.h"

#include <openssl/evp.h>

#include <cstring>

namespace testserver {

struct Receiver::Hash
{
    EVP_MD_CTX *context = EVP_MD_CTX_new();
    Hash() { EVP_DigestInit_ex(context, EVP_sha256(), nullptr); }
    ~Hash() { EVP_MD_CTX_free(context); }
};

Receiver::Receiver(Mode mode, const QString &folder)
    : m_mode(mode)
    , m_folder(folder)
{
    if (m_mode == Unpack)
        m_writer = std::make_unique<FilesStreamerW>(folder);
    else if (m_mode == Raw)
        m_hash = std::make_unique<Hash>();
}

Receiver::~Receiver() = default;

void Receiver::add(const char *data, size_t count)
{
    m_bytes += static_cast<qint64>(count);
    if (m_writer && m_writer->isValid())
        m_writer->addData(data, static_cast<qint64>(count));
    if (m_hash)
        EVP_DigestUpdate(m_hash->context, data, count);
}

void Receiver::close()
{
    if (m_closed)
        return;
    m_closed = true;
    if (m_writer)
        m_writer->endWork();
    if (m_hash) {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_DigestFinal_ex(m_hash->context, digest, &length);
        m_sha256 = QByteArray(reinterpret_cast<const char *>(digest), static_cast<int>(length)).toHex();
        m_hash.reset();
    }
}

bool Receiver::complete() const
{
    switch (m_mode) {
    case Unpack:
        return m_closed && m_writer && m_writer->isComplete();
    case Raw:
        return m_closed;
    case Refuse:
        break;
    }
    return false;
}

QString Receiver::mainFile() const
{
    return m_writer ? m_writer->getMainFile() : QString();
}

QString Receiver::error() const
{
    if (m_mode == Refuse)
        return QStringLiteral("refused");
    if (!m_closed)
        return QStringLiteral("attachment not closed");
    if (m_writer && !m_writer->isComplete())
        return m_writer->errorString().isEmpty() ? QStringLiteral("incomplete package")
                                                 : m_writer->errorString();
    return QString();
}

Sender::Sender(const Package &package)
{
    if (package.kind == Package::Path)
        m_streamer = std::make_unique<FilesStreamer>(package.path);
    else
        m_bytes = package.bytes;
}

Sender::~Sender() = default;

bool Sender::isValid() const
{
    return !m_streamer || m_streamer->isValid();
}

QString Sender::errorString() const
{
    return m_streamer ? m_streamer->errorString() : QString();
}

qint64 Sender::fullSize() const
{
    return m_streamer ? static_cast<qint64>(m_streamer->getFullSize()) : m_bytes.size();
}

size_t Sender::read(char *buffer, size_t capacity)
{
    size_t filled = 0;
    if (m_streamer) {
        while (filled < capacity) {
            const qint64 got = m_streamer->getData(buffer + filled, static_cast<qint64>(capacity - filled));
            if (got <= 0)
                break;
            filled += static_cast<size_t>(got);
        }
    } else {
        filled
            = static_cast<size_t>(qMin<qint64>(static_cast<qint64>(capacity), m_bytes.size() - m_position));
        std::memcpy(buffer, m_bytes.constData() + m_position, filled);
        m_position += static_cast<qint64>(filled);
    }
    m_sent += static_cast<qint64>(filled);
    return filled;
}

void Sender::close()
{
    if (m_streamer)
        m_streamer->endWork();
}

} // namespace testserver
