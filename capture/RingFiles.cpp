#include "capture/RingFiles.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

std::string ringFileName(const std::string& base, unsigned number, std::time_t when) {
    // The extension stays last: OUT.pcap -> OUT_00001_DATE.pcap.
    const auto slash = base.rfind('/');
    const auto dot = base.rfind('.');
    const bool extension = dot != std::string::npos &&
                           (slash == std::string::npos || dot > slash) && dot + 1 < base.size();
    const std::string stem = extension ? base.substr(0, dot) : base;
    const std::string suffix = extension ? base.substr(dot) : "";
    std::tm local{};
    localtime_r(&when, &local);
    char text[64];
    std::snprintf(text, sizeof text, "_%05u_%04d%02d%02d%02d%02d%02d", number % 100000,
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec);
    return stem + text + suffix;
}

std::FILE* RingFiles::openNext(std::string& path, std::string& error) {
    ++number_;
    path = ringFileName(settings_.base, number_, std::time(nullptr));
    const int descriptor =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    std::FILE* file = ::fdopen(descriptor, "wb");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        ::close(descriptor);
        return nullptr;
    }
    begun_ = Clock::now();
    kept_.push_back(path);
    while (settings_.files > 0 && kept_.size() > settings_.files) {
        ::unlink(kept_.front().c_str());
        kept_.pop_front();
    }
    return file;
}

bool RingFiles::due(std::int64_t bytes, Clock::time_point now) const {
    const bool big = settings_.maxBytes > 0 && bytes >= 0 &&
                     static_cast<std::uint64_t>(bytes) >= settings_.maxBytes;
    const bool old =
        settings_.seconds > 0 && now - begun_ >= std::chrono::duration<double>(settings_.seconds);
    return big || old;
}
