#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>

#include <sys/stat.h>

// Helpers of the platform tests: build trees on disk and describe them.
namespace TreeUtil {

inline bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

inline QByteArray pattern(qint64 size, int seed = 1)
{
    QByteArray bytes(int(size), Qt::Uninitialized);
    quint32 x = quint32(seed) * 2654435761u + 1;
    for (int i = 0; i < bytes.size(); ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = char(x >> 16);
    }
    return bytes;
}

// Relative path -> "D" for a folder, "F:<sha1>" for a file, "L" for a link,
// "S" for anything else;
// the root itself is left out.
inline QMap<QString, QString> describe(const QString &root)
{
    QMap<QString, QString> out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        const QString rel = base.relativeFilePath(path);
        if (info.isSymLink()) {
            out.insert(rel, QStringLiteral("L"));
        } else if (info.isDir()) {
            out.insert(rel, QStringLiteral("D"));
        } else if (!info.isFile()) {
            out.insert(rel, QStringLiteral("S")); // pipe, socket or device: never opened
        } else {
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            QCryptographicHash hash(QCryptographicHash::Sha1);
            hash.addData(&file);
            out.insert(rel, QStringLiteral("F:") + QString::fromLatin1(hash.result().toHex()));
        }
    }
    return out;
}

inline qint64 procStatusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(field)) {
            const QByteArray value = line.mid(int(qstrlen(field))).trimmed();
            return value.left(value.indexOf(' ')).toLongLong();
        }
    }
    return -1;
}

} // namespace TreeUtil
