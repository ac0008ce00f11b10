#pragma once

#include <string>

// The user's own files that others must neither read nor redirect: the
// window's settings (which hold decryption secrets), the comments written
// on captures. A folder is trusted for them when no other user can change
// what it holds: it, and every folder above it, belong to this process's
// user or to root and no one else may write to them (but a shared folder
// with the sticky bit, as /tmp, where no one may rename another's entries),
// both along the path as given and along the path its links lead to.
// Without this, root run with another user's HOME would write wherever a
// link that user planted points.
namespace privatefiles {

// Empty where `folder` is trusted (or, where it does not exist yet, the
// nearest folder above it that does); otherwise why not, naming the folder.
[[nodiscard]] std::string whyUntrusted(const std::string& folder);

// Makes `folder`, and the folders above it that are missing, readable and
// writable by the user alone (0700): a folder that exists is narrowed so.
// False, with `error` saying why, where the folder is not trusted or cannot
// be made.
bool makePrivateFolder(const std::string& folder, std::string& error);

// Makes `path`, in a trusted folder, a regular file of the user's that only
// the user may read or write, before a byte of it is written: created empty
// (0600, never through a link) where missing, narrowed where it exists.
// False, with `error` saying why, where it is a link to somewhere
// untrusted, another user's, not a regular file, or has other names.
bool makePrivateFile(const std::string& path, std::string& error);

} // namespace privatefiles
