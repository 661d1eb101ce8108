#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// File trees and process memory for the transfer tests and benchmark.
namespace TreeTools {

// Makes folder/name holding about totalBytes in `files` files spread over
// nested folders, plus an empty file, an empty folder and a name outside
// ASCII. Content is random unless compressible. Returns the tree's path.
QString makeTree(const QString &folder, const QString &name, qint64 totalBytes, int files, bool compressible);

// One file of exactly size bytes of random content.
bool makeRandomFile(const QString &path, qint64 size);

QByteArray sha256(const QByteArray &bytes);

// /proc/self/status values in KiB; resetPeak() restarts VmHWM from now.
qint64 residentKb();
qint64 peakKb();
void resetPeak();

} // namespace TreeTools
