#include "capture/LiveCaptureFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

std::string errorText(const std::string& path) {
    return path + ": " + std::strerror(errno);
}

// Removes what is at `path` and makes the file anew; -1 with errno set.
int createReplacing(const std::string& path) {
    if (unlink(path.c_str()) != 0 && errno != ENOENT) {
        return -1;
    }
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

// A folder only this user may enter: ours, a folder, not a link, mode 0700.
bool isPrivateFolder(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & 077) == 0;
}

// The user's private folder for the file; empty with errno set when none can be had.
std::string privateFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && *runtime == '/' && isPrivateFolder(runtime)) {
        return runtime;
    }
    const std::string folder = "/tmp/quorvex-" + std::to_string(geteuid());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return {};
    }
    if (!isPrivateFolder(folder)) {
        errno = EPERM;
        return {};
    }
    return folder;
}

} // namespace

OpenedLiveFile openLiveCaptureFile(const std::string& preferredPath, LiveFileRecord* record) {
    OpenedLiveFile opened;
    opened.path = preferredPath;
    int fd = createReplacing(preferredPath);
    if (fd < 0 && (errno == EPERM || errno == EACCES || errno == EISDIR || errno == EEXIST ||
                   errno == ENOTEMPTY)) {
        // Held by something this user cannot safely replace.
        const std::string folder = privateFolder();
        if (folder.empty()) {
            opened.error = errorText(preferredPath);
            return opened;
        }
        opened.path = folder + "/quorvex.capture";
        fd = createReplacing(opened.path);
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
