#pragma once

#include <sys/types.h>

#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

// The file a live run writes every packet to.
//
// It has a fixed name in a folder everyone may write to, and the capture may
// run as root: whatever is at the path is removed (a planted link, say) and
// the file is made anew, refusing links and files that appear meanwhile,
// readable by its owner only. Where something this user cannot remove holds
// the path (another user's file, a directory), the run writes to a private
// file of the user's instead: $XDG_RUNTIME_DIR/quorvex.capture, or
// quorvex.capture in a folder /tmp/quorvex-UID of mode 0700.
//
// `record` remembers which file this process made, so that Save moves that
// file and never one that another user put at the path.
class LiveFileRecord;

struct OpenedLiveFile {
    std::FILE* file = nullptr; // nullptr on failure, with `error` set
    std::string path;          // where it was made
    std::string error;
};
OpenedLiveFile openLiveCaptureFile(const std::string& preferredPath, LiveFileRecord* record);

// The file this process's last live run made. Written by the run's worker,
// read by Save on the main thread.
class LiveFileRecord final {
public:
    void remember(const std::string& path, dev_t device, ino_t inode);
    // The path of the last run's file, when the file there is still that
    // very file: a regular file of this user's, not a link, the same device
    // and inode. The file is made owner-only. Nothing otherwise.
    [[nodiscard]] std::optional<std::string> movablePath() const;
    // After a move: there is nothing left to move.
    void forget();

private:
    struct Entry {
        std::string path;
        dev_t device;
        ino_t inode;
    };
    mutable std::mutex mutex_;
    std::optional<Entry> last_;
};
