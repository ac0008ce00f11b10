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
    CapturedPacket packet;
    std::size_t next = 0;
    for (std::uint32_t number = 1; next < wanted.size(); ++number) {
        const auto read = file->next(packet);
        if (read != PacketFileReader::Read::Packet) {
            error = path_ + ": " +
                    (read == PacketFileReader::Read::Failed ? file->errorText()
                                                            : std::string("it ended early")) +
                    "; the file changed since it was loaded";
            return false;
        }
        const bool isWanted = wanted[next] == number;
        if (!isWanted && !encrypted_) {
            continue;
        }
        dissector.decodeInto(packet, frame.emplace(), encrypted_ ? &decryption : nullptr);
        if (isWanted) {
            visit(*frame, number, packet.bytes);
            ++next;
        }
    }
    return true;
}
