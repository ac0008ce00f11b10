#include "app/FrameComments.h"

#include "common/NewFile.h"
#include "common/PrivateFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

namespace {

// Tabs and line breaks in a comment are kept as escapes on its one line.
std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        out += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : c == '\t' ? "\\t" : std::string(1, c);
    }
    return out;
}

std::string unescaped(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            out += next == 'n' ? '\n' : next == 't' ? '\t' : next;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

FrameComments::FrameComments(std::string folder, std::string capturePath)
    : folder_(std::move(folder)), capturePath_(std::move(capturePath)) {
    // One side file per path: its hash names it, the path is its first line.
    char name[32];
    std::snprintf(name, sizeof name, "%016zx.tsv", std::hash<std::string>()(capturePath_));
    sideFile_ = folder_ + "/" + name;
}

namespace {

// The comments of `capturePath` in `sideFile`: none where there is no such
// file or it holds another capture's (whose path has the same hash).
std::optional<std::string> readSideFile(const std::string& sideFile, const std::string& capturePath,
                                        std::map<std::uint32_t, std::string>& into) {
    into.clear();
    std::ifstream in(sideFile);
    if (!in) {
        return errno == ENOENT ? std::nullopt
                               : std::optional<std::string>(sideFile + ": " + std::strerror(errno));
    }
    std::string line;
    if (!std::getline(in, line) || line != "# " + escaped(capturePath)) {
        return std::nullopt;
    }
    while (std::getline(in, line)) {
        const auto tab = line.find('\t');
        if (tab == std::string::npos) {
            continue;
        }
        char* end = nullptr;
        const unsigned long packet = std::strtoul(line.c_str(), &end, 10);
        if (end == line.c_str() + tab && packet > 0 && packet <= UINT32_MAX) {
            into[static_cast<std::uint32_t>(packet)] = unescaped(line.substr(tab + 1));
        }
    }
    return std::nullopt;
}

void apply(std::map<std::uint32_t, std::string>& comments, std::uint32_t packet,
           const std::string& text) {
    if (text.empty()) {
        comments.erase(packet);
    } else {
        comments[packet] = text;
    }
}

// Held while a side file is read, changed and written: two windows that
// comment on one capture take turns, and neither loses the other's comments.
class SideFileLock {
public:
    explicit SideFileLock(const std::string& path)
        : descriptor_(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600)) {
        if (descriptor_ < 0) {
            error_ = path + ": " + std::strerror(errno);
            return;
        }
        while (::flock(descriptor_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                error_ = path + ": " + std::strerror(errno);
                ::close(descriptor_);
                descriptor_ = -1;
                return;
            }
        }
    }
    ~SideFileLock() {
        if (descriptor_ >= 0) {
            ::close(descriptor_); // and the lock with it
        }
    }
    SideFileLock(const SideFileLock&) = delete;
    SideFileLock& operator=(const SideFileLock&) = delete;
    [[nodiscard]] const std::string& error() const { return error_; }

private:
    int descriptor_;
    std::string error_;
};

} // namespace

std::optional<std::string> FrameComments::load() {
    return readSideFile(sideFile_, capturePath_, comments_);
}

std::string FrameComments::of(std::uint32_t packet) const {
    const auto found = comments_.find(packet);
    return found != comments_.end() ? found->second : std::string();
}

bool FrameComments::set(std::uint32_t packet, std::string text, std::string& error) {
    apply(comments_, packet, text); // kept for the run, whatever becomes of the file
    // Comments are the user's own: in a folder no one else may change.
    if (!privatefiles::makePrivateFolder(folder_, error)) {
        return false;
    }
    const SideFileLock lock(sideFile_ + ".lock");
    if (!lock.error().empty()) {
        error = lock.error();
        return false;
    }
    // The change is made to the file as it is now, with what another window
    // wrote since this one read it.
    std::map<std::uint32_t, std::string> saved;
    if (const auto failed = readSideFile(sideFile_, capturePath_, saved)) {
        error = *failed;
        return false;
    }
    apply(saved, packet, text);
    std::string body = "# " + escaped(capturePath_) + "\n";
    for (const auto& [number, comment] : saved) {
        body += std::to_string(number) + "\t" + escaped(comment) + "\n";
    }
    // Written whole under a name of its own, then renamed over the old one.
    NewFile file(sideFile_);
    if (!file.ok() ||
        !file.write({reinterpret_cast<const std::uint8_t*>(body.data()), body.size()}) ||
        !file.commitReplacing()) {
        error = file.error();
        return false;
    }
    comments_ = std::move(saved);
    return true;
}
