#include "app/DissectionExport.h"

#include "app/FieldOutput.h"
#include "app/KvIAXCapture.h"

DissectionWriter::DissectionWriter(const KvIAXCapture& capture, std::vector<std::uint32_t> frames,
                                   DissectionFormat format, const std::string& destination)
    : capture_(capture), frames_(std::move(frames)), format_(format),
      source_(capture, fields::NeedsCalls | fields::NeedsCaptureFile), file_(destination) {
    std::string unreadable;
    (void)source_.open(unreadable); // without the file, the records' own fields
    source_.refresh();
}

bool DissectionWriter::step(std::chrono::steady_clock::time_point deadline, std::string& error) {
    if (!file_.ok()) {
        error = file_.error();
        return false;
    }
    const FrameList& list = capture_.iaxFrames();
    for (; next_ < frames_.size(); ++next_) {
        if ((next_ & 63) == 0 && std::chrono::steady_clock::now() > deadline) {
            return true;
        }
        const std::uint32_t number = frames_[next_];
        if (number == 0 || number > list.size()) {
            continue;
        }
        const KvIAXFrame& frame = *list[number - 1];
        const fields::FieldContext context = source_.contextOf(number, previous_);
        previous_ = &frame.facts();
        std::string why;
        bytes_.clear();
        if (source_.packets() == nullptr ||
            !source_.packets()->readHead(frame.facts(), frame.facts().capturedLength, bytes_,
                                         why)) {
            bytes_.clear();
        }
        const fields::TreeItem tree = fields::packetTree(frame, number, context, bytes_);
        if (format_ == DissectionFormat::Json) {
            fieldoutput::appendJsonPacket(out_, tree, shown_ == 0);
        } else {
            fieldoutput::appendDetails(out_, tree, bytes_, true, false);
        }
        ++shown_;
        // A megabyte at a time: a million frames are never held as text.
        if (out_.size() > (1 << 20) && !flush(error)) {
            return false;
        }
    }
    return true;
}

bool DissectionWriter::flush(std::string& error) {
    const bool ok = file_.write({reinterpret_cast<const std::uint8_t*>(out_.data()), out_.size()});
    out_.clear();
    if (!ok) {
        error = file_.error();
    }
    return ok;
}

bool DissectionWriter::finish(std::string& error) {
    if (format_ == DissectionFormat::Json) {
        fieldoutput::closeJson(out_, shown_ > 0);
    }
    if (!flush(error)) {
        return false;
    }
    if (!file_.commit()) {
        error = file_.error();
        return false;
    }
    return true;
}

bool exportDissections(const KvIAXCapture& capture, const std::vector<std::uint32_t>& frames,
                       DissectionFormat format, const std::string& destination,
                       std::string& error) {
    DissectionWriter writer(capture, frames, format, destination);
    return writer.step(std::chrono::steady_clock::time_point::max(), error) && writer.finish(error);
}
