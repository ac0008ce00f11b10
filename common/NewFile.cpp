#include "common/NewFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

NewFile::NewFile(std::string destination) : destination_(std::move(destination)) {
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
    // A link never replaces what is there: the destination appears whole, and an existing one
    // stays.
    if (::link(hidden_.c_str(), destination_.c_str()) != 0) {
        error_ = destination_ + ": " + std::strerror(errno);
        failed_ = true;
        return false;
    }
    return true;
}
