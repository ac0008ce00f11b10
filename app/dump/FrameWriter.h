#pragma once

#include "app/CaptureFieldSource.h"
#include "app/dump/DumpArguments.h"
#include "app/FieldOutput.h"

#include <memory>
#include <optional>
#include <string>

class KvIAXCapture;

// Writes the frames quorvex-dump prints, in the output chosen: its own
// records (JSON Lines or TSV), or as tshark does (-T fields, -V, -x, -T
// json). What the tshark forms read beside the frames (calls, the capture
// file) comes from the capture's field source.
class FrameWriter final {
public:
    // Nothing, with `error`, where a field is not one.
    static std::unique_ptr<FrameWriter> make(const DumpArguments& args, std::string& error);

    // What the output needs beside the frames (fields::Needs).
    [[nodiscard]] std::uint8_t needs() const { return needs_; }
    // Binds to the capture, reading what records do not keep from `file`:
    // false, with `error`, where there is none to read.
    bool attach(const KvIAXCapture& capture, const std::optional<std::string>& file,
                std::string& error);
    // How many frames, from the first, can be written now.
    [[nodiscard]] std::size_t readyFrames();

    // Appends frame `index` (0-based) of the capture; the header first, once.
    void write(std::string& out, std::size_t index);
    // What ends the output (the JSON array's end).
    void finish(std::string& out);

private:
    FrameWriter() = default;

    DumpArguments::Output output_ = DumpArguments::Output::Records;
    recordwriter::Format format_ = recordwriter::Format::Jsonl;
    bool details_ = false;
    bool hexDump_ = false;
    std::optional<fieldoutput::FieldColumns> columns_;
    std::uint8_t needs_ = 0;
    std::unique_ptr<CaptureFieldSource> source_;
    const KvIAXCapture* capture_ = nullptr;
    std::optional<FrameFacts> lastWritten_; // a copy: the records are let go as printed
    bool started_ = false;
    std::size_t jsonPackets_ = 0;
    std::vector<std::uint8_t> bytes_;
};
