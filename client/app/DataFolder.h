#pragma once

#include <QString>

namespace Client {

// The per-user folder "Marvolt Software/VORNEXclient" that holds the
// client's data files.
class DataFolder
{
public:
    // Makes the folder under userRoot when missing, seeding it from the
    // same folder under commonRoot when that one exists. A seed that did not
    // complete is finished at a later call; files already in the per-user
    // folder are never replaced. The folder and the "Marvolt Software"
    // folder it makes are private to the user (0700), and an existing data
    // folder is tightened to that. Read-only folders of the seed are copied
    // as they are, and no staging folder is left beside the target. An empty or relative userRoot means a
    // folder under the home directory. Returns the folder's absolute path,
    // "" when it could not be made.
    static QString prepare(const QString &userRoot, const QString &commonRoot);

    // Where prepare() puts the folder, made or not.
    static QString location(const QString &userRoot);

    // Present in the per-user folder while its seed is incomplete.
    static QString seedMarkerName();

private:
    static bool seed(const QString &source, const QString &target);
    static bool moveSeed(const QString &source, const QString &staging, const QString &target);
    static void removeStagingLeftovers(const QString &organization);
};

} // namespace Client
