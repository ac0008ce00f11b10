// libFuzzer target: a link-layer type chosen by the first byte, then any
// bytes, 0 to 2048 of them, as one captured packet of that type. Decodes them
// and renders every text a view or writer could ask for, the packet details
// and every field as -T fields prints it and as a filter names it, so that a
// read past the captured bytes or a bad value in any link, network or IAX2
// decoder or field reader shows up.
#include "common/Log.h"
#include "dissect/IaxDissector.h"
#include "fuzz/Discarding.h"
#include "dissect/FrameSummary.h"
#include "dissect/KvIAXInformationElement.h"
#include "fields/FieldText.h"
#include "fields/PacketTree.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <ostream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::ostream& discard = discarding::stream();
    static const IaxDissector dissector(discard);
    discarding::silenceLog();
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
    text += framesummary::info(frame) + framesummary::label(frame);
    const fields::FieldContext context;
    const fields::TreeItem tree = fields::packetTree(frame, 1, context, packet);
    fields::appendTreeText(text, tree);
    // Every line's bytes lie within the packet.
    std::vector<const fields::TreeItem*> pending{&tree};
    while (!pending.empty()) {
        const fields::TreeItem* item = pending.back();
        pending.pop_back();
        if (item->offset >= 0 &&
            static_cast<std::size_t>(item->offset) + static_cast<std::size_t>(item->length) >
                packet.size()) {
            std::abort();
        }
        for (const fields::TreeItem& child : item->children) {
            pending.push_back(&child);
        }
    }
    return 0;
}
