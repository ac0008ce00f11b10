#pragma once

#include <sys/types.h>

#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

// The file a live run writes every packet to.
//
// It has a fixed name in a folder everyone may write to, and the capture may
// run as root: whatever is at the path is removed (a planted link, say) and
// the file is made anew, refusing links and files that appear meanwhile,
// readable by its owner only. A run holds a lock on its file while it writes,
// so that a second run at the same time (another user, or root) leaves it
// alone. Where the path is held by something this user cannot or must not
// replace (another user's file, a directory, a running capture's file), the
// run writes to a private file of the user's instead: quorvex.capture in
// $XDG_RUNTIME_DIR or in a folder /tmp/quorvex-UID of mode 0700, or in a
// fresh folder of its own where neither is this user's; a unique name there
// where the usual one is in use too.
//
// `record` remembers which file this process made, so that Save moves that
// file and never one that another user put at the path.
class LiveFileRecord;

struct OpenedLiveFile {
    std::FILE* file = nullptr; // nullptr on failure, with `error` set
    std::string path;          // where it was made
    std::string error;
};

// Where the private file may go, and a seam for the tests.
struct LiveFilePlaces {
    std::string privateBase = "/tmp"; // for quorvex-UID, where $XDG_RUNTIME_DIR is not private
    std::function<void(const std::string& path)> afterUnlink; // between the unlink and the open
};
OpenedLiveFile openLiveCaptureFile(const std::string& preferredPath, LiveFileRecord* record,
                                   const LiveFilePlaces& places = {});

// The file this process's last live run made. Written by the run's worker,
// read by Save on the main thread.
class LiveFileRecord final {
public:
    // A run made the file and writes to it until finished().
    void remember(const std::string& path, dev_t device, ino_t inode);
    void finished();
    // Whether a run is still writing the file: moving it then would lose
    // the packets still to come.
    [[nodiscard]] bool isWriting() const;
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
    bool writing_ = false;
};
