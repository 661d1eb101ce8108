#pragma once

#include <QString>

// What a run that was killed leaves behind: the folders of downloads that
// never finished and the temporary files of cache saves cut short. Only
// folders whose instance lock this process holds are cleaned, so none of
// what goes is in use.
namespace StaleFiles {

// Removes, in `tempFolder`, the download folders made by this user
// ("downloaded" and 16 hex digits, a real folder, not a link); the count.
int removeDownloads(const QString &tempFolder);
// Removes, in the data folder, the "~#~" files of unfinished cache saves
// that belong to this user; the count.
int removeCacheTemps(const QString &dataFolder);

// Both, for the data folder and the temporary folder given, each only when
// non-empty (the downloads in a thread of their own); wait() before the
// program ends. The caller holds the locks that guard them.
void startCleaning(const QString &dataFolder, const QString &tempFolder);
void wait();

} // namespace StaleFiles
