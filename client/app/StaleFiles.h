#pragma once

#include <QString>

// What a run that was killed leaves behind: the folders of downloads that
// never finished and the temporary files of cache saves cut short. Only
// one instance runs per user, so at start-up none of ours is in use.
namespace StaleFiles {

// Removes, in `tempFolder`, the download folders made by this user
// ("downloaded" and 16 hex digits, a real folder, not a link); the count.
int removeDownloads(const QString &tempFolder);
// Removes, in the data folder, the "~#~" files of unfinished cache saves
// that belong to this user; the count.
int removeCacheTemps(const QString &dataFolder);

// Both, for the client's data folder and the system's temporary folder
// (the downloads in a thread of their own); wait() before the program ends.
void startCleaning();
void wait();

} // namespace StaleFiles
