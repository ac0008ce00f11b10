// libFuzzer target: any bytes, 0 to 2048 of them, as one captured packet.
// Decodes them and renders every text a view or writer could ask for, so that
// a read past the captured bytes or a bad value anywhere shows up.
#include "common/Log.h"
#include "dissect/IaxDissector.h"
#include "dissect/KvIAXInformationElement.h"

#include <cstddef>
#include <cstdint>
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
    // A copy of exactly `size` bytes, so that AddressSanitizer sees its end.
    const std::vector<std::uint8_t> packet(data, data + size);
    const auto frame = dissector.decodePacket(packet);
    std::string text;
    for (const auto& entry : frame->properties()) {
        entry.value().appendText(text);
    }
    for (const auto& element : frame->iaxInformationElements()) {
        for (const auto& entry : element->properties()) {
            entry.value().appendText(text);
        }
    }
    return 0;
}
