#include "capture/LiveCaptureFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

std::string errorText(const std::string& path) {
    return path + ": " + std::strerror(errno);
}

// Whether a live run of any user holds the file at `path` (its lock).
bool heldByARun(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    const bool held = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                      flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
}

// Removes what is at `path` and makes the file anew, locked for this run;
// -1 with errno set. EBUSY where another run's file is there, or took the
// path meanwhile.
int createReplacing(const std::string& path, const LiveFilePlaces& places) {
    if (heldByARun(path)) {
        errno = EBUSY;
        return -1;
    }
    if (unlink(path.c_str()) != 0 && errno != ENOENT) {
        return -1;
    }
    if (places.afterUnlink) {
        places.afterUnlink(path);
    }
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return -1;
    }
    // Another run may have removed the file between the open and the lock.
    struct stat made {};
    struct stat there {};
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || fstat(fd, &made) != 0 ||
        lstat(path.c_str(), &there) != 0 || made.st_dev != there.st_dev ||
        made.st_ino != there.st_ino) {
        close(fd);
        errno = EBUSY;
        return -1;
    }
    return fd;
}

// A new file with a unique name in a private folder, locked; -1 with errno set.
int createUnique(const std::string& folder, std::string& path) {
    std::string name = folder + "/quorvex-XXXXXX.capture";
    const int fd = mkostemps(name.data(), 8, O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    flock(fd, LOCK_EX | LOCK_NB);
    path = name;
    return fd;
}

// A folder only this user may enter: ours, a folder, not a link, mode 0700.
bool isPrivateFolder(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & 077) == 0;
}

// The user's private folder for the file; empty with errno set when none
// can be had. A folder of the usual name that is not ours (another user
// made it first, as under su or cron without $XDG_RUNTIME_DIR) is passed
// over for a fresh one.
std::string privateFolder(const LiveFilePlaces& places) {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && *runtime == '/' && isPrivateFolder(runtime)) {
        return runtime;
    }
    const std::string folder = places.privateBase + "/quorvex-" + std::to_string(geteuid());
    if (mkdir(folder.c_str(), 0700) == 0 || (errno == EEXIST && isPrivateFolder(folder))) {
        if (isPrivateFolder(folder)) {
            return folder;
        }
    }
    std::string fresh = folder + ".XXXXXX";
    return mkdtemp(fresh.data()) != nullptr ? fresh : std::string();
}

} // namespace

OpenedLiveFile openLiveCaptureFile(const std::string& preferredPath, LiveFileRecord* record,
                                   const LiveFilePlaces& places) {
    OpenedLiveFile opened;
    opened.path = preferredPath;
    int fd = createReplacing(preferredPath, places);
    if (fd < 0 && (errno == EPERM || errno == EACCES || errno == EISDIR || errno == EEXIST ||
                   errno == ENOTEMPTY || errno == EBUSY)) {
        // Held by something this user cannot safely replace.
        const std::string folder = privateFolder(places);
        if (folder.empty()) {
            opened.error = errorText(places.privateBase + "/quorvex-" + std::to_string(geteuid()));
            return opened;
        }
        opened.path = folder + "/quorvex.capture";
        fd = createReplacing(opened.path, places);
        if (fd < 0 && errno == EBUSY) {
            // This user's other run writes there: a name of this run's own.
            fd = createUnique(folder, opened.path);
        }
    }
    if (fd < 0) {
        opened.error = errorText(opened.path);
        return opened;
    }
    struct stat info {};
    fstat(fd, &info);
    opened.file = fdopen(fd, "wb");
    if (opened.file == nullptr) {
        opened.error = errorText(opened.path);
        close(fd);
        return opened;
    }
    if (record != nullptr) {
        record->remember(opened.path, info.st_dev, info.st_ino);
    }
    return opened;
}

void LiveFileRecord::remember(const std::string& path, dev_t device, ino_t inode) {
    std::lock_guard lock(mutex_);
    last_ = Entry{path, device, inode};
    writing_ = true;
}

void LiveFileRecord::finished() {
    std::lock_guard lock(mutex_);
    writing_ = false;
}

bool LiveFileRecord::isWriting() const {
    std::lock_guard lock(mutex_);
    return writing_;
}

void LiveFileRecord::forget() {
    std::lock_guard lock(mutex_);
    last_.reset();
}

std::optional<std::string> LiveFileRecord::movablePath() const {
    std::lock_guard lock(mutex_);
    if (!last_) {
        return std::nullopt;
    }
    const int fd = open(last_->path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info {};
    const bool ours = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
                      info.st_dev == last_->device && info.st_ino == last_->inode &&
                      fchmod(fd, 0600) == 0;
    close(fd);
    return ours ? std::optional(last_->path) : std::nullopt;
}
