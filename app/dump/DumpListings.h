#pragma once

#include "app/RecordWriter.h"
#include "app/dump/DumpArguments.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

class KvIAXCapture;

// Collects what goes to standard output and writes it a megabyte at a time.
class OutputBuffer {
public:
    std::string& text() { return out_; }
    // What is printed goes out a megabyte at a time, never held whole.
    void flushIfLarge() {
        if (out_.size() > (1 << 20)) {
            flush();
        }
    }
    void flush() {
        if (writeError_ == 0 && (std::fwrite(out_.data(), 1, out_.size(), stdout) != out_.size() ||
                                 std::fflush(stdout) != 0)) {
            writeError_ = errno != 0 ? errno : EIO;
        }
        out_.clear();
    }
    // The error of the first write to standard output that failed (EPIPE when
    // the reader went away, as `| head` does); 0 while all went out.
    [[nodiscard]] int writeError() const { return writeError_; }

private:
    std::string out_;
    int writeError_ = 0;
};

// The calls, registrations, streams, problems or DTMF digits, a line each.
// `keptCalls`: by call, whether it is printed (with its streams and
// digits); `keptFrames` tells whether a problem's frame is. False, with the
// reason on standard error, where the listing does not fit the memory limit.
bool printListing(OutputBuffer& output, const KvIAXCapture& capture, DumpArguments::Listing listing,
                  recordwriter::Format format, const std::vector<bool>& keptCalls,
                  const std::function<bool(std::uint32_t)>& keptFrame);
// --stats: the properties, then the frames by type and subclass.
void printStats(OutputBuffer& output, const KvIAXCapture& capture, recordwriter::Format format);
// --conversations: the address:port pairs, in the order they first sent.
void printConversations(OutputBuffer& output, const KvIAXCapture& capture,
                        recordwriter::Format format);
