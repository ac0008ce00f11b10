#include "app/Secrets.h"

#include "common/MemoryCharge.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <unordered_set>

namespace secrets {
namespace {

// Secrets appended once each, in order. The set holds positions in the list,
// hashed by the secret there: a repeat is told in constant time, and no
// secret is held twice.
class Collector {
public:
    explicit Collector(std::vector<std::string>& into)
        : into_(into), seen_(into.size() * 2 + 16, Hash{&into}, Equal{&into}) {
        for (std::size_t i = 0; i < into.size(); ++i) {
            seen_.insert(i);
        }
    }
    void add(std::string secret) {
        if (secret.ends_with('\r')) {
            secret.pop_back();
        }
        if (secret.empty()) {
            return;
        }
        into_.push_back(std::move(secret));
        if (!seen_.insert(into_.size() - 1).second) {
            into_.pop_back();
        }
    }

private:
    struct Hash {
        const std::vector<std::string>* list;
        std::size_t operator()(std::size_t i) const { return std::hash<std::string>()((*list)[i]); }
    };
    struct Equal {
        const std::vector<std::string>* list;
        bool operator()(std::size_t a, std::size_t b) const { return (*list)[a] == (*list)[b]; }
    };
    std::vector<std::string>& into_;
    std::unordered_set<std::size_t, Hash, Equal> seen_;
};

std::string modeText(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%03o", static_cast<unsigned>(mode & 0777));
    return text;
}

// Why the secrets of a file with this status must not be taken; empty where
// they may.
std::string whyRefused(const std::string& path, const struct stat& status) {
    if (!S_ISREG(status.st_mode) && !S_ISFIFO(status.st_mode)) {
        return path + ": not a regular file or a pipe";
    }
    if (status.st_uid != ::geteuid() && status.st_uid != 0) {
        return path + " belongs to another user (uid " + std::to_string(status.st_uid) +
               "): secrets are read from your own files only";
    }
    const std::string mode = " (mode " + modeText(status.st_mode) + ")";
    const std::string fix = "; make it yours alone (chmod 600 " + path + ")";
    if ((status.st_mode & (S_IRGRP | S_IROTH)) != 0) {
        return path + ": others may read these secrets" + mode + fix;
    }
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return path + ": others may change these secrets" + mode + fix;
    }
    if ((status.st_mode & (S_IXGRP | S_IXOTH)) != 0) {
        return path + ": others have rights to it" + mode + fix;
    }
    return {};
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    [[nodiscard]] int get() const { return fd_; }

private:
    int fd_;
};

} // namespace

void addSecrets(std::string_view text, std::vector<std::string>& into) {
    Collector collector(into);
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find_first_of(";\n", start), text.size());
        collector.add(std::string(text.substr(start, end - start)));
        start = end + 1;
    }
}

bool readSecretsFile(const std::string& path, std::vector<std::string>& into, std::string& error,
                     MemoryCharge* charge, std::chrono::milliseconds silence) {
    // Not blocked in open() by a FIFO that no one writes to: the wait for
    // its writer is the read's, and bounded.
    const Descriptor descriptor(
        path == "-" ? ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0)
                    : ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    const std::string name = path == "-" ? std::string("standard input") : path;
    if (descriptor.get() < 0) {
        error = name + ": " + std::strerror(errno);
        return false;
    }
    struct stat status {};
    if (::fstat(descriptor.get(), &status) != 0) {
        error = name + ": " + std::strerror(errno);
        return false;
    }
    error = whyRefused(name, status);
    if (!error.empty()) {
        return false;
    }
    if (path != "-") {
        // Our own description: reads block again, each after poll() said so.
        ::fcntl(descriptor.get(), F_SETFL, ::fcntl(descriptor.get(), F_GETFL) & ~O_NONBLOCK);
    }
    const bool pipe = S_ISFIFO(status.st_mode);
    std::vector<std::string> taken;
    Collector collector(taken);
    std::uint64_t held = charge != nullptr ? charge->charged() : 0;
    std::string line;
    std::size_t lineNumber = 1;
    char block[4096];
    for (;;) {
        if (pipe) {
            pollfd waiting{descriptor.get(), POLLIN, 0};
            const int ready = ::poll(&waiting, 1, static_cast<int>(silence.count()));
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready == 0) {
                char seconds[32];
                std::snprintf(seconds, sizeof seconds, "%g", silence.count() / 1000.0);
                error = name + ": nothing was written to it in " + seconds +
                        " s (is a program writing the secrets to it?)";
                return false;
            }
        }
        const ssize_t got = ::read(descriptor.get(), block, sizeof block);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (got < 0) {
            error = name + ": " + std::strerror(errno);
            return false;
        }
        for (ssize_t i = 0; i <= got; ++i) {
            const bool ended = i == got ? got == 0 : block[i] == '\n' || block[i] == ';';
            if (i == got && !ended) {
                break;
            }
            if (!ended) {
                line.push_back(block[i]);
                if (line.size() > longestSecret) {
                    error = name + ": line " + std::to_string(lineNumber) +
                            " holds a secret of more than " + std::to_string(longestSecret) +
                            " bytes; peers' secrets are far shorter";
                    return false;
                }
                continue;
            }
            held += sizeof(std::string) + line.size();
            collector.add(std::move(line));
            line.clear();
            lineNumber += i < got && block[i] == '\n' ? 1 : 0;
            if (charge != nullptr && !charge->setTo(held)) {
                error = name + ": its secrets would pass the memory limit";
                return false;
            }
        }
        if (got == 0) {
            break;
        }
    }
    // Each taken once, with what was there before.
    Collector all(into);
    for (std::string& secret : taken) {
        all.add(std::move(secret));
    }
    return true;
}

} // namespace secrets
