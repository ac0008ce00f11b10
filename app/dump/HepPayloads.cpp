#include "app/dump/HepPayloads.h"

#include <algorithm>

void HepPayloads::tap(const CapturedPacket& packet, const KvIAXFrame& frame) {
    const FrameFacts& facts = frame.facts();
    std::vector<std::uint8_t> payload;
    if (facts.kind() != FrameKind::NotIax && facts.kind() != FrameKind::Fresh &&
        facts.portsCaptured != 0 && packet.bytes.size() >= facts.payloadOffset) {
        // The datagram as UDP declares it, as far as the capture holds it.
        const std::size_t datagram = facts.udpLength > 8 ? facts.udpLength - 8u : 0u;
        const std::size_t end =
            std::min(packet.bytes.size(), std::size_t{facts.payloadOffset} + datagram);
        payload.assign(packet.bytes.begin() + facts.payloadOffset,
                       packet.bytes.begin() + static_cast<std::ptrdiff_t>(end));
    }
    const std::lock_guard lock(mutex_);
    payloads_.push_back(std::move(payload));
}

bool HepPayloads::take(std::size_t index, std::vector<std::uint8_t>& payload) {
    const std::lock_guard lock(mutex_);
    if (index < first_ || index - first_ >= payloads_.size()) {
        return false;
    }
    while (first_ < index) {
        payloads_.pop_front();
        ++first_;
    }
    payload = std::move(payloads_.front());
    return !payload.empty();
}

void HepPayloads::forgetBefore(std::size_t index) {
    const std::lock_guard lock(mutex_);
    while (first_ < index && !payloads_.empty()) {
        payloads_.pop_front();
        ++first_;
    }
}
