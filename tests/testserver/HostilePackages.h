#pragma once

#include <QByteArray>
#include <QString>

// Package streams a well-behaved server never sends, for checking that a
// client refuses them; and a plain valid one to compare with.
namespace testserver {
namespace HostilePackages {

QByteArray validFile(const QString &name, const QByteArray &content);
// A file record whose path climbs out of the top folder ("x/../../name").
QByteArray traversal(const QString &name);
// A file record with an absolute path.
QByteArray absolutePath(const QString &path);
// A symbolic link record pointing at target.
QByteArray symlink(const QString &name, const QString &target);
// A file record announcing more content than the stream carries.
QByteArray truncated(const QString &name);

} // namespace HostilePackages
} // namespace testserver
