#include "app/dump/FrameWriter.h"

#include "app/KvIAXCapture.h"
#include "app/RecordWriter.h"

#include <utility>

std::unique_ptr<FrameWriter> FrameWriter::make(const DumpArguments& args, std::string& error) {
    std::unique_ptr<FrameWriter> writer(new FrameWriter);
    writer->output_ = args.output;
    writer->format_ = args.format;
    writer->details_ = args.details;
    writer->hexDump_ = args.hexDump;
    if (args.output == DumpArguments::Output::Fields) {
        writer->columns_ =
            fieldoutput::FieldColumns::make(args.fieldNames, args.fieldOptions, error);
        if (!writer->columns_) {
            return nullptr;
        }
        writer->needs_ = writer->columns_->needs();
    } else if (args.output != DumpArguments::Output::Records) {
        // The details read every field: the calls, and the packet from its file.
        writer->needs_ = fields::NeedsCalls | fields::NeedsCaptureFile;
    }
    return writer;
}

bool FrameWriter::attach(const KvIAXCapture& capture, const std::optional<std::string>& file,
                         std::string& error) {
    capture_ = &capture;
    if (output_ == DumpArguments::Output::Records) {
        return true;
    }
    source_ = std::make_unique<CaptureFieldSource>(capture, needs_);
    if ((needs_ & fields::NeedsCaptureFile) != 0 && !file) {
        error = "these fields are read back from the capture file, and a live run's file is "
                "still being written";
        return false;
    }
    return !file || source_->open(*file, error);
}

std::size_t FrameWriter::readyFrames() {
    if (source_) {
        source_->refresh();
        return source_->readyFrames();
    }
    return capture_ != nullptr ? capture_->iaxFrames().size() : 0;
}

void FrameWriter::write(std::string& out, std::size_t index) {
    const KvIAXFrame& frame = *capture_->iaxFrames()[index];
    if (!started_) {
        started_ = true;
        if (output_ == DumpArguments::Output::Records && format_ == recordwriter::Format::Tsv) {
            out += recordwriter::tsvHeader();
        } else if (columns_) {
            columns_->appendHeader(out);
        }
    }
    if (output_ == DumpArguments::Output::Records) {
        format_ == recordwriter::Format::Tsv ? recordwriter::appendTsv(out, frame)
                                             : recordwriter::appendJson(out, frame);
        return;
    }
    const auto number = static_cast<std::uint32_t>(index + 1);
    const std::optional<FrameFacts> previous = std::exchange(lastWritten_, frame.facts());
    const fields::FieldContext context =
        source_->contextOf(number, previous ? &*previous : nullptr);
    if (columns_) {
        columns_->appendRow(out, fields::FieldFrame(frame, number, context));
        return;
    }
    std::string error;
    bytes_.clear();
    if (source_->packets() == nullptr ||
        !source_->packets()->readHead(frame.facts(), frame.facts().capturedLength, bytes_, error)) {
        bytes_.clear();
    }
    const fields::TreeItem tree = fields::packetTree(frame, number, context, bytes_);
    if (output_ == DumpArguments::Output::Json) {
        fieldoutput::appendJsonPacket(out, tree, jsonPackets_++ == 0);
    } else {
        fieldoutput::appendDetails(out, tree, bytes_, details_, hexDump_);
    }
}

void FrameWriter::finish(std::string& out) {
    if (output_ == DumpArguments::Output::Json) {
        fieldoutput::closeJson(out, jsonPackets_ > 0);
    } else if (!started_ && output_ == DumpArguments::Output::Records &&
               format_ == recordwriter::Format::Tsv) {
        out += recordwriter::tsvHeader();
        started_ = true;
    } else if (!started_ && columns_) {
        columns_->appendHeader(out);
        started_ = true;
    }
}
