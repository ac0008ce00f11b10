#pragma once

#include "capturefile/PayloadLocation.h"
#include "capturefile/PacketFileAccess.h"
#include "decrypt/FrameDecryption.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// The payloads and heads of packets read back from the capture file they
// were loaded from, as their frame records saw them: those of encrypted
// calls in clear.
class CapturePackets final {
public:
    // Nothing, with `error` saying why, where the file cannot be opened or
    // is not a capture file. The packets `opened` lists (those of encrypted
    // calls that were read in clear) are read back in clear, as their
    // records were made: positions and lengths are the clear frame's.
    static std::unique_ptr<CapturePackets> open(const std::string& path, std::string& error,
                                                std::shared_ptr<const OpenedPackets> opened = {});

    // The payload bytes at `location`. False, with `error` saying why, where
    // the packet has no known position or the file no longer holds it as it
    // was loaded (it was replaced or changed since).
    bool readPayload(const PayloadLocation& location, std::vector<std::uint8_t>& payload,
                     std::string& error);
    // Up to `length` of the packet's first captured bytes: its link-layer
    // header, say. False as readPayload is.
    bool readHead(const FrameFacts& facts, std::size_t length, std::vector<std::uint8_t>& bytes,
                  std::string& error);

private:
    CapturePackets(std::unique_ptr<PacketFileAccess> file,
                   std::shared_ptr<const OpenedPackets> opened);
    // The bytes at `location` as the file holds them.
    bool readStored(const PayloadLocation& location, std::vector<std::uint8_t>& payload,
                    std::string& error);
    // The clear form of an opened packet, for readPayload.
    bool readOpened(const PayloadLocation& location, const OpenedPackets::Found& found,
                    std::vector<std::uint8_t>& payload, std::string& error);

    std::unique_ptr<PacketFileAccess> file_;
    std::shared_ptr<const OpenedPackets> opened_;
    std::vector<std::uint8_t> sealed_, clear_;
    // A cipher for each key met, by its number in opened_: a key schedule
    // costs more than the packet it opens.
    std::unordered_map<std::uint32_t, iaxcrypto::AesCbc> ciphers_;
};
