#pragma once

#include <string>

// Puts the file `from` at `to` and takes it away from `from`, never
// replacing a file at `to`: the destination appears whole, or not at all.
// Where the file system can, in one step (a rename that refuses to replace);
// where it cannot (FUSE file systems), by a hard link and an unlink; where
// it has no hard links either (FAT and exFAT sticks), by taking the name
// with an exclusive create first and renaming over that empty file of its
// own. False, with `error` saying why, where `to` exists or anything fails;
// errno is then EXDEV where the two are on different file systems, for a
// caller that copies instead.
bool placeWithoutReplacing(const std::string& from, const std::string& to, std::string& error);
