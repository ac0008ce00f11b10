#pragma once

#include "dissect/KvIAXFrame.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

// A loaded capture file's frames decoded again, as its load decoded them,
// for a reader that let go of their records: frame N is the file's packet N.
class FrameReplay final {
public:
    // `secrets` are the load's. Where the load met encrypted calls
    // (`encrypted`), every packet is decoded again in order, so that they
    // open as they did; otherwise only the frames wanted are.
    FrameReplay(std::string path, std::vector<std::string> secrets, bool encrypted);

    // `captured`: the packet's bytes as the file holds them, until the next call.
    using Visit = std::function<void(const KvIAXFrame& frame, std::uint32_t number,
                                     std::span<const std::uint8_t> captured)>;
    // Calls `visit` with each frame `wanted` numbers (ascending), in order.
    // False, with `error` saying why, where the file cannot be read or no
    // longer holds them.
    bool run(std::span<const std::uint32_t> wanted, const Visit& visit, std::string& error) const;

private:
    std::string path_;
    std::vector<std::string> secrets_;
    bool encrypted_;
};
