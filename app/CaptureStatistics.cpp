#include "app/CaptureStatistics.h"

#include "app/KvIAXCapture.h"

#include <pcap/pcap.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <map>

namespace capturestatistics {
namespace {

std::string formatOf(const std::string& path) {
    std::uint8_t magic[4] = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool read = fd >= 0 && ::read(fd, magic, sizeof magic) == 4;
    if (fd >= 0) {
        ::close(fd);
    }
    const std::uint32_t value = std::uint32_t{magic[0]} << 24 | std::uint32_t{magic[1]} << 16 |
                                std::uint32_t{magic[2]} << 8 | magic[3];
    if (!read) {
        return {};
    }
    if (value == 0x0A0D0D0A) {
        return "pcapng";
    }
    if (value == 0xA1B2C34D || value == 0x4DC3B2A1 || value == 0xA1B23C4D || value == 0x4D3CB2A1) {
        return "pcap (nanoseconds)";
    }
    return "pcap (microseconds)";
}

double secondsBetween(const analysis::CaptureTime& from, const analysis::CaptureTime& to) {
    return static_cast<double>(to.seconds - from.seconds) +
           (static_cast<double>(to.nanoseconds) - static_cast<double>(from.nanoseconds)) / 1e9;
}

analysis::CaptureTime timeOf(const FrameFacts& facts) {
    return {facts.captureSeconds, facts.captureNanoseconds};
}

} // namespace

Properties propertiesOf(const KvIAXCapture& capture) {
    Properties properties;
    properties.file = capture.lastRunFile();
    if (!properties.file.empty() && properties.file != "-") {
        properties.format = formatOf(properties.file);
        struct stat status {};
        if (::stat(properties.file.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
            properties.fileSize = static_cast<std::uint64_t>(status.st_size);
        }
    }
    const FrameList& frames = capture.iaxFrames();
    for (const auto& frame : frames) {
        const FrameFacts& facts = frame->facts();
        if (facts.kind() == FrameKind::Fresh) {
            continue;
        }
        ++properties.frames;
        properties.bytes += facts.wireLength;
        const analysis::CaptureTime time = timeOf(facts);
        if (!properties.first || secondsBetween(time, *properties.first) > 0) {
            properties.first = time;
        }
        if (!properties.last || secondsBetween(*properties.last, time) > 0) {
            properties.last = time;
        }
        properties.linkType = facts.linkType;
    }
    if (const char* name = pcap_datalink_val_to_description(properties.linkType)) {
        properties.linkName = name;
    }
    if (properties.first && properties.last) {
        properties.durationSeconds = secondsBetween(*properties.first, *properties.last);
    }
    if (properties.durationSeconds > 0) {
        properties.framesPerSecond =
            static_cast<double>(properties.frames) / properties.durationSeconds;
        properties.bytesPerSecond =
            static_cast<double>(properties.bytes) / properties.durationSeconds;
    }
    return properties;
}

std::vector<Count> countsOf(const FrameList& frames, const std::vector<std::uint32_t>* only) {
    std::vector<Count> counts;
    std::map<std::pair<std::string, std::string>, std::size_t> at;
    const auto add = [&](const KvIAXFrame& frame) {
        if (frame.facts().kind() == FrameKind::Fresh) {
            return;
        }
        auto key = std::pair(frame.text(PropertyKey::type), frame.text(PropertyKey::subclass));
        auto found = at.find(key);
        if (found == at.end()) {
            found = at.emplace(key, counts.size()).first;
            counts.push_back({key.first, key.second, 0, 0});
        }
        ++counts[found->second].frames;
        counts[found->second].bytes += frame.facts().wireLength;
    };
    if (only != nullptr) {
        for (const std::uint32_t number : *only) {
            if (number >= 1 && number <= frames.size()) {
                add(*frames[number - 1]);
            }
        }
    } else {
        for (const auto& frame : frames) {
            add(*frame);
        }
    }
    // By type, each type's subclasses in the order they first came.
    std::stable_sort(counts.begin(), counts.end(),
                     [](const Count& a, const Count& b) { return a.type < b.type; });
    return counts;
}

std::vector<Conversation> conversationsOf(const FrameList& frames) {
    std::vector<Conversation> conversations;
    std::map<std::pair<std::string, std::string>, std::size_t> at;
    for (const auto& frame : frames) {
        const FrameFacts& facts = frame->facts();
        if (facts.kind() == FrameKind::Fresh || facts.kind() == FrameKind::NotIax) {
            continue;
        }
        const analysis::Endpoint source = analysis::endpointOf(*frame, true);
        const analysis::Endpoint destination = analysis::endpointOf(*frame, false);
        std::string from = source.text(), to = destination.text();
        const bool forward = from <= to;
        auto key = forward ? std::pair(from, to) : std::pair(to, from);
        auto found = at.find(key);
        if (found == at.end()) {
            found = at.emplace(std::move(key), conversations.size()).first;
            conversations.push_back({source, destination, 0, 0, 0, timeOf(facts), timeOf(facts)});
        }
        Conversation& conversation = conversations[found->second];
        (conversation.a == source ? conversation.framesAtoB : conversation.framesBtoA) += 1;
        conversation.bytes += facts.wireLength;
        conversation.last = timeOf(facts);
    }
    return conversations;
}

std::vector<std::uint64_t> framesPerInterval(const FrameList& frames, double seconds,
                                             const std::function<bool(std::size_t)>& counts) {
    std::vector<std::uint64_t> intervals;
    if (frames.empty() || seconds <= 0) {
        return intervals;
    }
    const analysis::CaptureTime first = timeOf(frames.front()->facts());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const double since = secondsBetween(first, timeOf(frames[i]->facts()));
        if (since < 0) {
            continue; // a time before the first frame's: clocks that stepped back
        }
        const auto slot = static_cast<std::size_t>(since / seconds);
        // A gap of days would ask for millions of empty intervals.
        if (slot >= 10'000'000) {
            break;
        }
        if (intervals.size() <= slot) {
            intervals.resize(slot + 1, 0);
        }
        if (!counts || counts(i)) {
            ++intervals[slot];
        }
    }
    return intervals;
}

} // namespace capturestatistics
