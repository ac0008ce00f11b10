#include "app/DissectionExport.h"

#include "app/CaptureFieldSource.h"
#include "app/FieldOutput.h"
#include "app/KvIAXCapture.h"
#include "common/NewFile.h"

bool exportDissections(const KvIAXCapture& capture, const std::vector<std::uint32_t>& frames,
                       DissectionFormat format, const std::string& destination,
                       std::string& error) {
    CaptureFieldSource source(capture, fields::NeedsCalls | fields::NeedsCaptureFile);
    std::string unreadable;
    (void)source.open(unreadable); // without the file, the records' own fields
    source.refresh();
    NewFile file(destination);
    if (!file.ok()) {
        error = file.error();
        return false;
    }
    std::string out;
    std::vector<std::uint8_t> bytes;
    const FrameFacts* previous = nullptr;
    std::size_t written = 0;
    const auto flush = [&] {
        const bool ok = file.write({reinterpret_cast<const std::uint8_t*>(out.data()), out.size()});
        out.clear();
        return ok;
    };
    for (const std::uint32_t number : frames) {
        if (number == 0 || number > capture.iaxFrames().size()) {
            continue;
        }
        const KvIAXFrame& frame = *capture.iaxFrames()[number - 1];
        const fields::FieldContext context = source.contextOf(number, previous);
        previous = &frame.facts();
        std::string why;
        bytes.clear();
        if (source.packets() == nullptr ||
            !source.packets()->readHead(frame.facts(), frame.facts().capturedLength, bytes, why)) {
            bytes.clear();
        }
        const fields::TreeItem tree = fields::packetTree(frame, number, context, bytes);
        if (format == DissectionFormat::Json) {
            fieldoutput::appendJsonPacket(out, tree, written == 0);
        } else {
            fieldoutput::appendDetails(out, tree, bytes, true, false);
        }
        ++written;
        // A megabyte at a time: a million frames are never held as text.
        if (out.size() > (1 << 20) && !flush()) {
            error = file.error();
            return false;
        }
    }
    if (format == DissectionFormat::Json) {
        fieldoutput::closeJson(out, written > 0);
    }
    if (!flush() || !file.commit()) {
        error = file.error();
        return false;
    }
    return true;
}
