#include "FilesStreamerW.h"

#include "PosixFs.h"
#include "StreamFormat.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class State {
    Header,
    Type,
    PathLength,
    Path,
    FileSize,
    FileData,
    Done,
    Failed,
};

// File data goes to disk in blocks of this size, whatever the pieces the
// stream arrives in (a download brings 2048 bytes at a time). Measured on
// 1 GiB downloads: 64 KiB costs the CPU of curl writing the same file;
// 512 KiB and 1 MiB blocks cost 1.6 to 2 times as much, as the block no
// longer stays in the core's cache between filling and writing it.
constexpr std::size_t WriteBlock = 64 * 1024;

bool allZero(const char *data, std::size_t count)
{
    return count > 0 && data[0] == 0 && std::memcmp(data, data + 1, count - 1) == 0;
}

} // namespace

struct FilesStreamerW::Private
{
    QString dir;
    PosixFs::Fd root;
    QString error;
    State state = State::Header;
    bool endCalled = false;

    QByteArray field; // bytes of the fixed-size field or path being collected
    int fieldNeed = StreamFormat::HeaderSize;
    quint8 recordType = 0;
    QByteArray path;
    QByteArray topName;
    bool topIsFile = false;
    QSet<QByteArray> folders; // relative paths of folders made from this stream
    QSet<QByteArray> entries;

    PosixFs::Fd file;
    QByteArray fileName;
    quint64 fileSize = 0;
    quint64 fileRemaining = 0;
    bool holePending = false;
    PosixFs::AlignedBlock block; // file data not yet written
    std::size_t blockLen = 0;

    bool fail(const QString &text);
    bool feedField(const char *&data, qint64 &count);
    bool takeField();
    bool checkPath();
    PosixFs::Fd openParent(QByteArray &leaf);
    bool makeFolder();
    bool openFile();
    bool writeFileData(const char *data, std::size_t count);
    bool writeBlock();
    bool closeFile();
};

bool FilesStreamerW::Private::fail(const QString &text)
{
    if (state != State::Failed) {
        error = text;
        state = State::Failed;
    }
    file.reset();
    blockLen = 0;
    return false;
}

// Collects bytes of the current field; true once it is whole.
bool FilesStreamerW::Private::feedField(const char *&data, qint64 &count)
{
    const qint64 n = qMin<qint64>(count, fieldNeed - field.size());
    field.append(data, int(n));
    data += n;
    count -= n;
    return field.size() == fieldNeed;
}

bool FilesStreamerW::Private::checkPath()
{
    const QString where = QStringLiteral("Refused entry in stream: ");
    if (path.contains('\0') || path.contains('\\'))
        return fail(where + QStringLiteral("forbidden character"));
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(path);
    if (decoder.hasError())
        return fail(where + QStringLiteral("invalid UTF-8"));
    const QList<QByteArray> segments = path.split('/');
    for (const QByteArray &segment : segments) {
        if (segment.isEmpty() || segment == "." || segment == "..")
            return fail(where + text);
        if (segment.size() > StreamFormat::MaxSegmentBytes)
            return fail(where + QStringLiteral("name too long"));
    }
    if (topName.isEmpty()) {
        if (segments.size() != 1)
            return fail(where + QStringLiteral("first entry is not a top-level name: ") + text);
        return true;
    }
    if (topIsFile)
        return fail(where + QStringLiteral("entry after a single file: ") + text);
    const int slash = path.lastIndexOf('/');
    if (slash < 0 || !folders.contains(path.left(slash)))
        return fail(where + QStringLiteral("entry outside the announced folders: ") + text);
    if (entries.contains(path))
        return fail(where + QStringLiteral("duplicate entry: ") + text);
    return true;
}

// Walks from the root to the entry's parent folder, one segment at a time
// without following links, so nothing planted in the folder can redirect
// a write outside it.
PosixFs::Fd FilesStreamerW::Private::openParent(QByteArray &leaf)
{
    const QList<QByteArray> segments = path.split('/');
    leaf = segments.last();
    PosixFs::Fd current(::fcntl(root.get(), F_DUPFD_CLOEXEC, 0));
    for (int i = 0; i + 1 < segments.size() && current.isOpen(); ++i) {
        current = PosixFs::Fd(::openat(
            current.get(), segments[i].constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    return current;
}

bool FilesStreamerW::Private::makeFolder()
{
    QByteArray leaf;
    const PosixFs::Fd parent = openParent(leaf);
    if (!parent.isOpen() || ::mkdirat(parent.get(), leaf.constData(), 0777) != 0)
        return fail(QStringLiteral("Cannot create folder %1: %2")
                        .arg(QString::fromUtf8(path), PosixFs::errorText(errno)));
    folders.insert(path);
    return true;
}

bool FilesStreamerW::Private::openFile()
{
    QByteArray leaf;
    const PosixFs::Fd parent = openParent(leaf);
    if (parent.isOpen())
        file.reset(::openat(
            parent.get(), leaf.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!parent.isOpen() || !file.isOpen())
        return fail(QStringLiteral("Cannot create file %1: %2")
                        .arg(QString::fromUtf8(path), PosixFs::errorText(errno)));
    fileName = path;
    holePending = false;
    return true;
}

bool FilesStreamerW::Private::writeFileData(const char *data, std::size_t count)
{
    if (!block.data() && !block.allocate(WriteBlock))
        return fail(QStringLiteral("Out of memory"));
    while (count > 0) {
        const std::size_t n = std::min(count, block.size() - blockLen);
        std::memcpy(block.data() + blockLen, data, n);
        blockLen += n;
        data += n;
        count -= n;
        if (blockLen == block.size() && !writeBlock())
            return false;
    }
    return true;
}

bool FilesStreamerW::Private::writeBlock()
{
    const std::size_t count = blockLen;
    blockLen = 0;
    if (count == 0)
        return true;
    // Zero runs become holes; the final size is set when the file closes.
    if (allZero(block.data(), count)) {
        if (::lseek(file.get(), off_t(count), SEEK_CUR) < 0)
            return fail(QStringLiteral("Cannot write %1: %2")
                            .arg(QString::fromUtf8(fileName), PosixFs::errorText(errno)));
        holePending = true;
        return true;
    }
    if (!PosixFs::writeAll(file.get(), block.data(), count))
        return fail(QStringLiteral("Cannot write %1: %2")
                        .arg(QString::fromUtf8(fileName), PosixFs::errorText(errno)));
    holePending = false;
    return true;
}

bool FilesStreamerW::Private::closeFile()
{
    if (!writeBlock())
        return false;
    if (holePending && ::ftruncate(file.get(), off_t(fileSize)) != 0)
        return fail(QStringLiteral("Cannot write %1: %2")
                        .arg(QString::fromUtf8(fileName), PosixFs::errorText(errno)));
    if (!file.reset())
        return fail(QStringLiteral("Cannot write %1: %2")
                        .arg(QString::fromUtf8(fileName), PosixFs::errorText(errno)));
    return true;
}

bool FilesStreamerW::Private::takeField()
{
    const char *p = field.constData();
    switch (state) {
    case State::Header:
        if (std::memcmp(p, StreamFormat::Magic, 4) != 0)
            return fail(QStringLiteral("Not a file stream"));
        if (StreamFormat::getU16(p + 4) != StreamFormat::Version || StreamFormat::getU16(p + 6) != 0)
            return fail(QStringLiteral("Unsupported file stream version"));
        state = State::Type;
        fieldNeed = StreamFormat::TypeSize;
        break;
    case State::Type:
        recordType = quint8(p[0]);
        if (recordType == StreamFormat::EndRecord) {
            if (topName.isEmpty())
                return fail(QStringLiteral("Empty file stream"));
            state = State::Done;
            fieldNeed = 0;
        } else if (recordType == StreamFormat::FolderRecord || recordType == StreamFormat::FileRecord) {
            state = State::PathLength;
            fieldNeed = StreamFormat::PathLengthSize;
        } else {
            return fail(QStringLiteral("Refused entry type %1 in stream").arg(recordType));
        }
        break;
    case State::PathLength: {
        const quint32 length = StreamFormat::getU32(p);
        if (length == 0 || length > StreamFormat::MaxPathBytes)
            return fail(QStringLiteral("Refused path length %1 in stream").arg(length));
        state = State::Path;
        fieldNeed = int(length);
        break;
    }
    case State::Path:
        path = field;
        if (!checkPath())
            return false;
        if (recordType == StreamFormat::FolderRecord) {
            if (!makeFolder())
                return false;
            state = State::Type;
            fieldNeed = StreamFormat::TypeSize;
        } else {
            state = State::FileSize;
            fieldNeed = StreamFormat::FileSizeSize;
        }
        if (topName.isEmpty()) {
            topName = path;
            topIsFile = recordType == StreamFormat::FileRecord;
        }
        entries.insert(path);
        break;
    case State::FileSize:
        fileSize = StreamFormat::getU64(p);
        if (fileSize > quint64(std::numeric_limits<off_t>::max()))
            return fail(QStringLiteral("Refused file size in stream"));
        if (!openFile())
            return false;
        fileRemaining = fileSize;
        if (fileRemaining == 0) {
            if (!closeFile())
                return false;
            state = State::Type;
            fieldNeed = StreamFormat::TypeSize;
        } else {
            state = State::FileData;
            fieldNeed = 0;
        }
        break;
    default:
        break;
    }
    field.clear();
    return true;
}

FilesStreamerW::FilesStreamerW(const QString &folder)
    : d(std::make_unique<Private>())
{
    const QFileInfo info(folder);
    d->dir = info.canonicalFilePath();
    if (folder.isEmpty() || d->dir.isEmpty()) {
        d->fail(QStringLiteral("Folder does not exist: %1").arg(folder));
        return;
    }
    d->root = PosixFs::openFolder(PosixFs::encode(d->dir));
    if (!d->root.isOpen())
        d->fail(QStringLiteral("Cannot open folder %1: %2").arg(d->dir, PosixFs::errorText(errno)));
}

FilesStreamerW::~FilesStreamerW() = default;

bool FilesStreamerW::isValid() const
{
    return d->state != State::Failed;
}

QString FilesStreamerW::errorString() const
{
    return d->error;
}

bool FilesStreamerW::addData(const char *data, qint64 count)
{
    if (d->state == State::Failed)
        return false;
    if (d->endCalled)
        return d->fail(QStringLiteral("Data after the end of the stream"));
    if (count < 0 || (count > 0 && !data))
        return d->fail(QStringLiteral("Invalid piece"));
    while (count > 0) {
        switch (d->state) {
        case State::Done:
            return d->fail(QStringLiteral("Data after the end of the stream"));
        case State::FileData: {
            const qint64 n = qint64(qMin<quint64>(quint64(count), d->fileRemaining));
            if (!d->writeFileData(data, std::size_t(n)))
                return false;
            data += n;
            count -= n;
            d->fileRemaining -= quint64(n);
            if (d->fileRemaining == 0) {
                if (!d->closeFile())
                    return false;
                d->state = State::Type;
                d->fieldNeed = StreamFormat::TypeSize;
            }
            break;
        }
        case State::Failed:
            return false;
        default:
            if (d->feedField(data, count) && !d->takeField())
                return false;
            break;
        }
    }
    return true;
}

void FilesStreamerW::endWork()
{
    if (d->endCalled)
        return;
    d->endCalled = true;
    if (d->state != State::Done && d->state != State::Failed)
        d->fail(QStringLiteral("The stream ended early"));
    d->file.reset();
    d->block.free();
}

bool FilesStreamerW::isComplete() const
{
    return d->endCalled && d->state == State::Done;
}

QString FilesStreamerW::getDir() const
{
    return d->dir;
}

QString FilesStreamerW::getMainFile() const
{
    if (d->topName.isEmpty() || d->dir.isEmpty())
        return QString();
    return d->dir + QLatin1Char('/') + QString::fromUtf8(d->topName);
}
