#pragma once

#include <QString>

// The window's settings file holds the decryption secrets. Before anything
// is read from or written to it, it is made its user's alone (the file 0600
// in a folder of 0700), so that no save ever leaves it readable by others,
// not even for the moment between writing and renaming; and it is never
// written through a folder or link that another user could have placed
// (root run with another user's HOME). Where the folder cannot be trusted,
// the settings are kept in a private folder for this run only.
namespace settingsfile {

// Called once at start, before any QSettings is made. Empty where the
// settings are kept as usual; otherwise what the user is told.
[[nodiscard]] QString keepPrivate();

} // namespace settingsfile
