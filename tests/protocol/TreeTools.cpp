#include "TreeTools.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <openssl/evp.h>

#include <memory>

#include "TestFiles.h"

namespace TreeTools {
namespace {

struct Random
{
    quint64 state;
    quint64 next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
};

QByteArray randomBlock(quint64 seed, int size)
{
    Random random { seed | 1 };
    QByteArray block(size, Qt::Uninitialized);
    auto *words = reinterpret_cast<quint64 *>(block.data());
    for (int i = 0; i < size / 8; ++i)
        words[i] = random.next();
    return block;
}

QByteArray textBlock(quint64 seed, int size)
{
    QByteArray block;
    block.reserve(size + 100);
    quint64 line = seed;
    while (block.size() < size)
        block += "line " + QByteArray::number(line++) + " of a compressible test file, repeated often\n";
    block.truncate(size);
    return block;
}

bool writeContent(const QString &path, qint64 size, quint64 seed, bool compressible)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    constexpr int blockSize = 1 << 20;
    const QByteArray block = compressible ? textBlock(seed, blockSize) : randomBlock(seed, blockSize);
    qint64 written = 0;
    quint64 round = 0;
    while (written < size) {
        QByteArray piece = block.left(static_cast<int>(qMin<qint64>(blockSize, size - written)));
        // Every block differs, so a misplaced block shows in the digest.
        const QByteArray mark = QByteArray::number(++round) + '@' + QByteArray::number(seed);
        piece.replace(0, qMin(mark.size(), piece.size()), mark.left(piece.size()));
        if (file.write(piece) != piece.size())
            return false;
        written += piece.size();
    }
    return true;
}

} // namespace

QString makeTree(const QString &folder, const QString &name, qint64 totalBytes, int files, bool compressible)
{
    QDir root(folder);
    const QString top = root.absoluteFilePath(name);
    if (!QDir().mkpath(top))
        return QString();
    QDir(top).mkpath(QStringLiteral("empty folder"));
    writeContent(top + QStringLiteral("/empty.bin"), 0, 0, compressible);
    writeContent(top + QStringLiteral("/\u00e9t\u00e9 \u4e2d.txt"), 1000, 7, compressible);
    const qint64 each = files > 0 ? totalBytes / files : 0;
    for (int i = 0; i < files; ++i) {
        const QString sub = QStringLiteral("%1/level-%2/sub-%3").arg(top).arg(i % 3).arg(i % 5);
        QDir().mkpath(sub);
        const qint64 size = (i == files - 1) ? totalBytes - each * (files - 1) : each + (i % 7) - 3;
        if (!writeContent(QStringLiteral("%1/file-%2.dat").arg(sub).arg(i), qMax<qint64>(0, size),
                static_cast<quint64>(i) + 11, compressible))
            return QString();
    }
    return top;
}

bool makeRandomFile(const QString &path, qint64 size)
{
    return writeContent(path, size, 99, false);
}

QByteArray sha256(const QByteArray &bytes)
{
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.constData(), static_cast<size_t>(bytes.size()), out, &length, EVP_sha256(), nullptr);
    return QByteArray(reinterpret_cast<const char *>(out), static_cast<int>(length)).toHex();
}

qint64 residentKb()
{
    return TestFiles::statusKb("VmRSS:");
}

qint64 peakKb()
{
    return TestFiles::statusKb("VmHWM:");
}

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

} // namespace TreeTools
