#include "common/PrivateFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace privatefiles {
namespace {

std::string parentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string absolute(const std::string& path) {
    if (!path.empty() && path.front() == '/') {
        return path;
    }
    char here[PATH_MAX];
    return ::getcwd(here, sizeof here) != nullptr ? std::string(here) + "/" + path : path;
}

std::string modeText(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%03o", static_cast<unsigned>(mode & 0777));
    return text;
}

// Why a folder that exists may be changed by someone else; empty where not.
std::string whyFolderIsOpen(const std::string& folder, const struct stat& status) {
    const uid_t user = ::geteuid();
    if (!S_ISDIR(status.st_mode)) {
        return folder + " is not a folder";
    }
    if (status.st_uid != user && status.st_uid != 0) {
        return folder + " belongs to another user (uid " + std::to_string(status.st_uid) + ")";
    }
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (status.st_mode & S_ISVTX) == 0) {
        return folder + " may be changed by others (mode " + modeText(status.st_mode) + ")";
    }
    return {};
}

// Every folder from `path` up to the root, following links as the kernel
// does for each.
std::string whyChainIsOpen(const std::string& path) {
    for (std::string at = path;; at = parentOf(at)) {
        struct stat status {};
        if (::stat(at.c_str(), &status) != 0) {
            return at + ": " + std::strerror(errno);
        }
        if (std::string why = whyFolderIsOpen(at, status); !why.empty()) {
            return why;
        }
        if (at == "/") {
            return {};
        }
    }
}

// The nearest of `folder` and the folders above it that exists.
std::string nearestExisting(const std::string& folder) {
    std::string at = absolute(folder);
    struct stat status {};
    while (at != "/" && ::lstat(at.c_str(), &status) != 0 && errno == ENOENT) {
        at = parentOf(at);
    }
    return at;
}

} // namespace

std::string whyUntrusted(const std::string& folder) {
    const std::string existing = nearestExisting(folder);
    if (std::string why = whyChainIsOpen(existing); !why.empty()) {
        return why;
    }
    // Where links lead: each folder of the real path too.
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(existing.c_str(), nullptr),
                                                           &std::free);
    if (real == nullptr) {
        return existing + ": " + std::strerror(errno);
    }
    return real.get() == existing ? std::string() : whyChainIsOpen(real.get());
}

bool makePrivateFolder(const std::string& folder, std::string& error) {
    error = whyUntrusted(folder);
    if (!error.empty()) {
        return false;
    }
    const std::string path = absolute(folder);
    const std::string existing = nearestExisting(path);
    // The missing folders, outermost first, each made the user's alone.
    for (std::size_t at = existing.size(); at < path.size();) {
        const std::size_t next = path.find('/', at + 1);
        const std::string part = path.substr(0, next == std::string::npos ? path.size() : next);
        at = part.size();
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            error = part + ": " + std::strerror(errno);
            return false;
        }
    }
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    if (status.st_uid != ::geteuid()) {
        error = path + " belongs to another user (uid " + std::to_string(status.st_uid) + ")";
        return false;
    }
    if ((status.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    // Made since it was looked at: looked at again, as it is now.
    error = whyUntrusted(path);
    return error.empty();
}

bool makePrivateFile(const std::string& path, std::string& error) {
    error = whyUntrusted(parentOf(absolute(path)));
    if (!error.empty()) {
        return false;
    }
    // A link is followed only where it leads to a trusted folder (a dotfile
    // manager links settings so); the file it names is then held to the same.
    std::string target = path;
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
        const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                               &std::free);
        if (real == nullptr) {
            error = path + " is a link to nowhere (" + std::strerror(errno) + ")";
            return false;
        }
        target = real.get();
        error = whyUntrusted(parentOf(target));
        if (!error.empty()) {
            return false;
        }
    }
    const int descriptor =
        ::open(target.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (descriptor < 0) {
        error = target + ": " + std::strerror(errno);
        return false;
    }
    bool ok = ::fstat(descriptor, &status) == 0;
    if (!ok) {
        error = target + ": " + std::strerror(errno);
    } else if (!S_ISREG(status.st_mode)) {
        error = target + " is not a regular file";
    } else if (status.st_uid != ::geteuid()) {
        error = target + " belongs to another user (uid " + std::to_string(status.st_uid) + ")";
    } else if (status.st_nlink != 1) {
        error = target + " has other names (hard links): it is kept elsewhere too";
    } else if ((status.st_mode & 077) != 0 && ::fchmod(descriptor, 0600) != 0) {
        error = target + " (mode " + modeText(status.st_mode) + "): " + std::strerror(errno);
    }
    ::close(descriptor);
    return ok && error.empty();
}

} // namespace privatefiles
