#include "app/CaptureStatistics.h"

#include "app/KvIAXCapture.h"
#include "capturefile/CaptureFormat.h"
#include "capturefile/PacketFileReader.h"
#include "linklayer/LinkTypes.h"

#include <pcap/pcap.h>
#include <sys/stat.h>

#include <algorithm>
#include <tuple>

namespace capturestatistics {
namespace {

double secondsBetween(const calls::CaptureTime& from, const calls::CaptureTime& to) {
    return static_cast<double>(to.seconds - from.seconds) +
           (static_cast<double>(to.nanoseconds) - static_cast<double>(from.nanoseconds)) / 1e9;
}

calls::CaptureTime timeOf(const FrameFacts& facts) {
    return {facts.captureSeconds, facts.captureNanoseconds};
}

} // namespace

Properties propertiesOf(const KvIAXCapture& capture) {
    PropertiesSum sum;
    for (const auto& frame : capture.iaxFrames()) {
        sum.add(*frame);
    }
    return sum.finish(capture);
}

void PropertiesSum::add(const KvIAXFrame& frame) {
    const FrameFacts& facts = frame.facts();
    if (facts.kind() == FrameKind::Fresh) {
        return;
    }
    ++sums_.frames;
    sums_.bytes += facts.wireLength;
    const calls::CaptureTime time = timeOf(facts);
    if (!sums_.first || secondsBetween(time, *sums_.first) > 0) {
        sums_.first = time;
    }
    if (!sums_.last || secondsBetween(*sums_.last, time) > 0) {
        sums_.last = time;
    }
    sums_.linkType = facts.linkType;
}

Properties PropertiesSum::finish(const KvIAXCapture& capture) const {
    Properties properties = sums_;
    properties.file = capture.lastRunFile();
    // A pipe is not opened again to look at its format: that would wait for a writer.
    if (whyNotReadAgain(properties.file).empty()) {
        properties.format = formatText(captureFormat(properties.file).format);
        struct stat status {};
        if (::stat(properties.file.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
            properties.fileSize = static_cast<std::uint64_t>(status.st_size);
        }
    }
    // Link types Quorvex decodes are named as everywhere else; others as
    // the capture library knows them.
    if (const LinkType* known = linkTypeOf(properties.linkType)) {
        properties.linkName = known->name;
    } else if (const char* name = pcap_datalink_val_to_description(properties.linkType)) {
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
    CountsSum sum;
    if (only != nullptr) {
        for (const std::uint32_t number : *only) {
            if (number >= 1 && number <= frames.size()) {
                sum.add(*frames[number - 1]);
            }
        }
    } else {
        for (const auto& frame : frames) {
            sum.add(*frame);
        }
    }
    return sum.finish();
}

void CountsSum::add(const KvIAXFrame& frame) {
    if (frame.facts().kind() == FrameKind::Fresh) {
        return;
    }
    key_.clear();
    frame.appendText(key_, PropertyKey::type);
    const std::size_t typeLength = key_.size();
    key_ += '\0';
    frame.appendText(key_, PropertyKey::subclass);
    auto found = at_.find(key_);
    if (found == at_.end()) {
        found = at_.emplace(key_, counts_.size()).first;
        counts_.push_back({key_.substr(0, typeLength), key_.substr(typeLength + 1), 0, 0});
    }
    ++counts_[found->second].frames;
    counts_[found->second].bytes += frame.facts().wireLength;
}

std::vector<Count> CountsSum::finish() const {
    // By type, each type's subclasses in the order they first came.
    std::vector<Count> counts = counts_;
    std::stable_sort(counts.begin(), counts.end(),
                     [](const Count& a, const Count& b) { return a.type < b.type; });
    return counts;
}

std::vector<Conversation> conversationsOf(const FrameList& frames) {
    ConversationsSum sum;
    for (const auto& frame : frames) {
        sum.add(*frame);
    }
    return sum.conversations();
}

bool ConversationsSum::EndsOrder::operator()(const Ends& x, const Ends& y) const {
    const auto tied = [](const Ends& ends) {
        return std::tie(ends.first.address, ends.first.ipv6, ends.first.port, ends.second.address,
                        ends.second.ipv6, ends.second.port);
    };
    return tied(x) < tied(y);
}

void ConversationsSum::add(const KvIAXFrame& frame) {
    const FrameFacts& facts = frame.facts();
    if (facts.kind() == FrameKind::Fresh || facts.kind() == FrameKind::NotIax) {
        return;
    }
    const calls::Endpoint source = calls::endpointOf(frame, true);
    const calls::Endpoint destination = calls::endpointOf(frame, false);
    Ends ends{source, destination};
    if (EndsOrder{}(Ends{destination, source}, ends)) {
        std::swap(ends.first, ends.second);
    }
    auto found = at_.find(ends);
    if (found == at_.end()) {
        found = at_.emplace(ends, conversations_.size()).first;
        conversations_.push_back({source, destination, 0, 0, 0, timeOf(facts), timeOf(facts)});
    }
    Conversation& conversation = conversations_[found->second];
    (conversation.a == source ? conversation.framesAtoB : conversation.framesBtoA) += 1;
    conversation.bytes += facts.wireLength;
    conversation.last = timeOf(facts);
}

std::vector<std::uint64_t> framesPerInterval(const FrameList& frames, double seconds,
                                             const std::function<bool(std::size_t)>& counts) {
    std::vector<std::uint64_t> intervals;
    if (frames.empty() || seconds <= 0) {
        return intervals;
    }
    const calls::CaptureTime first = timeOf(frames.front()->facts());
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
