#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

// The comments a user wrote on a capture file's packets, kept beside the
// user's other data (not in the capture, which may be read-only): one side
// file per capture path (named by its hash, the path on its first line), a
// "packet<TAB>comment" line each, in a folder of the user's alone. A change
// is made to the side file as it is then, under a lock, and the file
// rewritten whole: windows commenting on one capture lose none of each
// other's comments. Written into pcapng exports as the packets' comments.
class FrameComments final {
public:
    // The comments of `capturePath` kept in `folder` (made when needed).
    FrameComments(std::string folder, std::string capturePath);

    // Nothing where none is written; the file's error where it cannot be read.
    [[nodiscard]] std::optional<std::string> load();
    [[nodiscard]] const std::map<std::uint32_t, std::string>& all() const { return comments_; }
    [[nodiscard]] std::string of(std::uint32_t packet) const;
    // An empty text removes the comment. False, with `error`, where the side
    // file cannot be written (the comment is kept for this run).
    bool set(std::uint32_t packet, std::string text, std::string& error);
    [[nodiscard]] const std::string& sideFile() const { return sideFile_; }
    [[nodiscard]] const std::string& capturePath() const { return capturePath_; }

private:
    std::string folder_;
    std::string capturePath_;
    std::string sideFile_;
    std::map<std::uint32_t, std::string> comments_;
};
