#include "app/FrameComments.h"

#include "common/NewFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
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

std::optional<std::string> FrameComments::load() {
    comments_.clear();
    std::ifstream in(sideFile_);
    if (!in) {
        return errno == ENOENT
                   ? std::nullopt
                   : std::optional<std::string>(sideFile_ + ": " + std::strerror(errno));
    }
    std::string line;
    // Another capture whose path has the same hash keeps its own comments.
    if (!std::getline(in, line) || line != "# " + escaped(capturePath_)) {
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
            comments_[static_cast<std::uint32_t>(packet)] = unescaped(line.substr(tab + 1));
        }
    }
    return std::nullopt;
}

std::string FrameComments::of(std::uint32_t packet) const {
    const auto found = comments_.find(packet);
    return found != comments_.end() ? found->second : std::string();
}

bool FrameComments::set(std::uint32_t packet, std::string text, std::string& error) {
    if (text.empty()) {
        comments_.erase(packet);
    } else {
        comments_[packet] = std::move(text);
    }
    std::error_code made;
    std::filesystem::create_directories(folder_, made); // a failure shows as the write's

    std::string body = "# " + escaped(capturePath_) + "\n";
    for (const auto& [number, comment] : comments_) {
        body += std::to_string(number) + "\t" + escaped(comment) + "\n";
    }
    // Written whole beside the old one, which is then replaced.
    const std::string fresh = sideFile_ + ".new";
    ::unlink(fresh.c_str());
    {
        NewFile file(fresh);
        if (!file.ok() ||
            !file.write({reinterpret_cast<const std::uint8_t*>(body.data()), body.size()}) ||
            !file.commit()) {
            error = file.error();
            return false;
        }
    }
    if (::rename(fresh.c_str(), sideFile_.c_str()) != 0) {
        error = sideFile_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}
