#include "common/NewFile.h"

#include "common/FilePlacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstdint>
#include <cstring>

namespace {

// The descriptor a path names as a stream already open in this process
// ("-", /dev/stdout, /dev/fd/N): -1 for any other path.
int openStreamNamed(const std::string& path) {
    if (path == "-" || path == "/dev/stdout") {
        return STDOUT_FILENO;
    }
    if (path == "/dev/stderr") {
        return STDERR_FILENO;
    }
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        const std::size_t length = std::strlen(prefix);
        if (path.compare(0, length, prefix) == 0 && path.size() > length) {
            char* end = nullptr;
            const long number = std::strtol(path.c_str() + length, &end, 10);
            if (*end == '\0' && number >= 0 && number <= INT32_MAX) {
                return static_cast<int>(number);
            }
        }
    }
    return -1;
}

} // namespace

NewFile::NewFile(std::string destination) : destination_(std::move(destination)) {
    if (openStream()) {
        return;
    }
    if (!error_.empty()) {
        return;
    }
    const auto slash = destination_.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : destination_.substr(0, slash);
    hidden_ = folder + "/.quorvex-new-XXXXXX";
    descriptor_ = ::mkostemp(hidden_.data(), O_CLOEXEC);
    if (descriptor_ < 0) {
        error_ = folder + ": " + std::strerror(errno);
        hidden_.clear();
    }
}

bool NewFile::openStream() {
    const int named = openStreamNamed(destination_);
    struct stat status {};
    if (named >= 0) {
        descriptor_ = ::fcntl(named, F_DUPFD_CLOEXEC, 0);
    } else if (::stat(destination_.c_str(), &status) == 0 && !S_ISREG(status.st_mode) &&
               !S_ISDIR(status.st_mode)) {
        descriptor_ = ::open(destination_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    } else {
        return false;
    }
    const std::string name = destination_ == "-" ? std::string("standard output") : destination_;
    if (descriptor_ < 0) {
        error_ = name + ": " + std::strerror(errno);
        return false;
    }
    if (::isatty(descriptor_) != 0) {
        error_ = name + " is a terminal, which a capture file's bytes would act on: redirect it "
                        "to a file or a pipe";
        ::close(descriptor_);
        descriptor_ = -1;
        return false;
    }
    return true;
}

NewFile::~NewFile() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
    if (!hidden_.empty()) {
        ::unlink(hidden_.c_str());
    }
}

bool NewFile::write(std::span<const std::uint8_t> bytes) {
    while (!failed_ && ok() && !bytes.empty()) {
        const ssize_t written = ::write(descriptor_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            error_ = destination_ + ": " + std::strerror(written < 0 ? errno : EIO);
            failed_ = true;
            break;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return ok() && !failed_;
}

bool NewFile::close() {
    if (!ok() || failed_) {
        return false;
    }
    if (::close(descriptor_) != 0) {
        error_ = destination_ + ": " + std::strerror(errno);
        descriptor_ = -1;
        failed_ = true;
        return false;
    }
    descriptor_ = -1;
    return true;
}

bool NewFile::commitReplacing() {
    if (!close()) {
        return false;
    }
    if (hidden_.empty()) {
        return true;
    }
    if (::rename(hidden_.c_str(), destination_.c_str()) != 0) {
        error_ = destination_ + ": " + std::strerror(errno);
        failed_ = true;
        return false;
    }
    hidden_.clear();
    return true;
}

bool NewFile::commit() {
    if (!close()) {
        return false;
    }
    if (hidden_.empty()) {
        return true; // a stream, written straight
    }
    if (!placeWithoutReplacing(hidden_, destination_, error_)) {
        failed_ = true;
        return false;
    }
    hidden_.clear();
    return true;
}
