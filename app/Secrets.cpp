#include "app/Secrets.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace secrets {

void addSecrets(std::string_view text, std::vector<std::string>& into) {
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find_first_of(";\n", start), text.size());
        std::string_view secret = text.substr(start, end - start);
        if (secret.ends_with('\r')) {
            secret.remove_suffix(1);
        }
        if (!secret.empty() && std::find(into.begin(), into.end(), secret) == into.end()) {
            into.emplace_back(secret);
        }
        start = end + 1;
    }
}

bool readSecretsFile(const std::string& path, std::vector<std::string>& into, std::string& error) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        error = path + ": not a regular file";
        return false;
    }
    if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        ::close(descriptor);
        error =
            path + ": others may read these secrets; make it yours alone (chmod 600 " + path + ")";
        return false;
    }
    std::string text;
    char block[4096];
    for (;;) {
        const ssize_t got = ::read(descriptor, block, sizeof block);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = path + ": " + std::strerror(errno);
            ::close(descriptor);
            return false;
        }
        if (got == 0) {
            break;
        }
        text.append(block, static_cast<std::size_t>(got));
    }
    ::close(descriptor);
    addSecrets(text, into);
    return true;
}

} // namespace secrets
