#include "common/FilePlacement.h"

#include <fcntl.h>
#include <stdio.h> // renameat2
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// The file system does not offer this way of placing a file.
bool unsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP ||
           error == EPERM;
}

bool failed(const std::string& to, std::string& error) {
    const int cause = errno;
    error = to + ": " + std::strerror(cause);
    errno = cause;
    return false;
}

} // namespace

bool placeWithoutReplacing(const std::string& from, const std::string& to, std::string& error) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (!unsupported(errno)) {
        return failed(to, error);
    }
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    if (!unsupported(errno)) {
        return failed(to, error);
    }
    // The name is taken first, exclusively: a file that appears there now
    // makes this fail, and the rename replaces only the empty file made here.
    const int reserved =
        ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (reserved < 0) {
        return failed(to, error);
    }
    ::close(reserved);
    if (::rename(from.c_str(), to.c_str()) != 0) {
        const bool result = failed(to, error);
        ::unlink(to.c_str());
        return result;
    }
    return true;
}
