#include "HostilePackages.h"

#include "StreamFormat.h"

namespace testserver {
namespace HostilePackages {
namespace {

QByteArray header()
{
    QByteArray bytes(StreamFormat::Magic, 4);
    char rest[4];
    StreamFormat::putU16(rest, StreamFormat::Version);
    StreamFormat::putU16(rest + 2, 0);
    return bytes + QByteArray(rest, 4);
}

QByteArray pathRecord(quint8 type, const QByteArray &path)
{
    QByteArray bytes(1, char(type));
    char length[4];
    StreamFormat::putU32(length, static_cast<quint32>(path.size()));
    return bytes + QByteArray(length, 4) + path;
}

QByteArray fileRecord(const QByteArray &path, const QByteArray &content, quint64 announced)
{
    char size[8];
    StreamFormat::putU64(size, announced);
    return pathRecord(StreamFormat::FileRecord, path) + QByteArray(size, 8) + content;
}

QByteArray end()
{
    return QByteArray(1, char(StreamFormat::EndRecord));
}

} // namespace

QByteArray validFile(const QString &name, const QByteArray &content)
{
    return header() + fileRecord(name.toUtf8(), content, static_cast<quint64>(content.size())) + end();
}

QByteArray traversal(const QString &name)
{
    const QByteArray content = "escaped\n";
    return header() + pathRecord(StreamFormat::FolderRecord, "job")
        + fileRecord("job/../../" + name.toUtf8(), content, static_cast<quint64>(content.size())) + end();
}

QByteArray absolutePath(const QString &path)
{
    const QByteArray content = "absolute\n";
    return header() + fileRecord(path.toUtf8(), content, static_cast<quint64>(content.size())) + end();
}

QByteArray symlink(const QString &name, const QString &target)
{
    // Folder first, then the link inside it, as a packer would order them.
    const QByteArray link = pathRecord(StreamFormat::ReservedSymlinkRecord, "job/" + name.toUtf8());
    char length[4];
    const QByteArray to = target.toUtf8();
    StreamFormat::putU32(length, static_cast<quint32>(to.size()));
    return header() + pathRecord(StreamFormat::FolderRecord, "job") + link + QByteArray(length, 4) + to
        + end();
}

QByteArray truncated(const QString &name)
{
    return header() + fileRecord(name.toUtf8(), "only this", 1000);
}

} // namespace HostilePackages
} // namespace testserver
