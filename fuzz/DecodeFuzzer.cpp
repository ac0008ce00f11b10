// libFuzzer target: a link-layer type chosen by the first byte, then any
// bytes, 0 to 2048 of them, as one captured packet of that type. Decodes them
// and renders every text a view or writer could ask for, so that a read past
// the captured bytes or a bad value in any link, network or IAX2 decoder
// shows up.
#include "common/Log.h"
#include "dissect/IaxDissector.h"
#include "dissect/KvIAXInformationElement.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <ostream>
#include <streambuf>
#include <string>

namespace {

class DiscardingLog final : public kvlog::LogSink {
public:
    void write(std::string_view) override {}
};

class DiscardingBuffer final : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static DiscardingLog log;
    static DiscardingBuffer buffer;
    static std::ostream discard(&buffer);
    static const IaxDissector dissector(discard);
    kvlog::setSink(&log);
    if (size > 2048) {
        return -1;
    }
    if (size == 0) {
        return 0;
    }
    // The link types the decoder reads, and one it does not.
    static constexpr std::uint16_t linkTypes[] = {1, 113, 276, 12, 101, 228, 229, 0, 108, 147};
    const std::uint16_t linkType = linkTypes[data[0] % std::size(linkTypes)];
    // A copy of exactly the packet's bytes, so that AddressSanitizer sees its end.
    const std::vector<std::uint8_t> packet(data + 1, data + size);
    KvIAXFrame frame;
    dissector.decodeInto({.bytes = packet, .linkType = linkType}, frame);
    std::string text;
    for (const auto& entry : frame.properties()) {
        entry.value().appendText(text);
    }
    for (const auto& element : frame.iaxInformationElements()) {
        for (const auto& entry : element->properties()) {
            entry.value().appendText(text);
        }
    }
    return 0;
}
