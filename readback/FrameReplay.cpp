#include "readback/FrameReplay.h"

#include "capturefile/PacketFileReader.h"
#include "decrypt/FrameDecryption.h"
#include "dissect/IaxDissector.h"

#include <optional>
#include <ostream>

FrameReplay::FrameReplay(std::string path, std::vector<std::string> secrets, bool encrypted)
    : path_(std::move(path)), secrets_(std::move(secrets)), encrypted_(encrypted) {}

bool FrameReplay::run(std::span<const std::uint32_t> wanted, const Visit& visit,
                      std::string& error) const {
    if (wanted.empty()) {
        return true;
    }
    const auto file = PacketFileReader::open(path_, error);
    if (!file) {
        return false;
    }
    // The load said what it had to about unknown elements already.
    std::ostream nowhere(nullptr);
    const IaxDissector dissector(nowhere);
    FrameDecryption decryption(secrets_);
    std::optional<KvIAXFrame> frame;
    std::size_t next = 0;
    const auto decode = [&](const CapturedPacket& packet, std::uint32_t number) {
        const bool isWanted = wanted[next] == number;
        dissector.decodeInto(packet, frame.emplace(), encrypted_ ? &decryption : nullptr);
        if (isWanted) {
            visit(*frame, number, packet.bytes);
            ++next;
        }
        return next < wanted.size();
    };
    std::string why;
    // Decryption needs every packet before the wanted ones: their keys and
    // the calls they open.
    bool read = encrypted_ ? file->visitAll(decode, why) : file->visit(wanted, decode, why);
    if (read && next < wanted.size()) {
        why = "it ended early";
        read = false;
    }
    if (!read) {
        error = path_ + ": " + why + "; the file changed since it was loaded";
    }
    return read;
}
