#include "readback/CapturePackets.h"

#include <algorithm>

std::unique_ptr<CapturePackets> CapturePackets::open(const std::string& path, std::string& error,
                                                     std::shared_ptr<const OpenedPackets> opened) {
    auto file = PacketFileAccess::open(path, error);
    if (!file) {
        return nullptr;
    }
    return std::unique_ptr<CapturePackets>(new CapturePackets(std::move(file), std::move(opened)));
}

CapturePackets::CapturePackets(std::unique_ptr<PacketFileAccess> file,
                               std::shared_ptr<const OpenedPackets> opened)
    : file_(std::move(file)), opened_(std::move(opened)) {}

bool CapturePackets::readPayload(const PayloadLocation& location,
                                 std::vector<std::uint8_t>& payload, std::string& error) {
    if (opened_) {
        if (const auto found = opened_->find(location.packetIndex)) {
            return readOpened(location, *found, payload, error);
        }
    }
    return readStored(location, payload, error);
}

bool CapturePackets::readStored(const PayloadLocation& location,
                                std::vector<std::uint8_t>& payload, std::string& error) {
    payload.clear();
    if (location.fileOffset == FrameFacts::unknownFileOffset) {
        error = "packet " + std::to_string(location.packetIndex + 1) +
                " cannot be read again: its capture came from standard input";
        return false;
    }
    const auto record = file_->recordAt(location.fileOffset);
    if (!record || record->capturedLength != location.capturedLength ||
        std::size_t{location.offset} + location.length > record->capturedLength) {
        error = file_->path() + ": packet " + std::to_string(location.packetIndex + 1) +
                " is no longer where it was; the file changed since it was loaded";
        return false;
    }
    payload.resize(location.length);
    if (!file_->read(*record, location.offset, payload)) {
        error = file_->path() + ": packet " + std::to_string(location.packetIndex + 1) +
                " could not be read again; the file changed since it was loaded";
        payload.clear();
        return false;
    }
    return true;
}

bool CapturePackets::readOpened(const PayloadLocation& location,
                                const OpenedPackets::Found& found,
                                std::vector<std::uint8_t>& payload, std::string& error) {
    PayloadLocation whole = location;
    whole.capturedLength = found.capturedLength;
    whole.offset = 0;
    whole.length =
        static_cast<std::uint16_t>(std::min<std::uint32_t>(found.capturedLength, 0xFFFF));
    if (!readStored(whole, sealed_, error)) {
        return false;
    }
    if (ciphers_.size() > 4096) {
        ciphers_.clear(); // a bound, for captures of very many calls
    }
    auto cipher =
        ciphers_.try_emplace(found.keyIndex, found.key, iaxcrypto::AesCbc::Direction::Decrypt)
            .first;
    std::vector<std::uint8_t>& clear = clear_;
    if (!FrameDecryption::reopen(sealed_, found.linkType, cipher->second, clear) ||
        std::size_t{location.offset} + location.length > clear.size()) {
        error = file_->path() + ": packet " + std::to_string(location.packetIndex + 1) +
                " no longer opens with the key that opened it; the file changed since it was "
                "loaded";
        return false;
    }
    payload.assign(clear.begin() + location.offset,
                   clear.begin() + location.offset + location.length);
    return true;
}

bool CapturePackets::readHead(const FrameFacts& facts, std::size_t length,
                              std::vector<std::uint8_t>& bytes, std::string& error) {
    PayloadLocation location;
    location.fileOffset = facts.fileOffset;
    location.packetIndex = facts.packetIndex;
    location.capturedLength = facts.capturedLength;
    location.offset = 0;
    location.length =
        static_cast<std::uint16_t>(std::min<std::size_t>({length, facts.capturedLength, 0xFFFF}));
    return readPayload(location, bytes, error);
}
