#pragma once

#include "common/Log.h"

#include <ostream>
#include <streambuf>
#include <string_view>

// Where a fuzzer sends the log and the unrecognised-element dump: nowhere,
// so that millions of runs neither fill a disk nor slow down on output.
namespace discarding {

class Log final : public kvlog::LogSink {
public:
    void write(std::string_view) override {}
};

class Buffer final : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// A stream that writes nowhere.
inline std::ostream& stream() {
    static Buffer buffer;
    static std::ostream discard(&buffer);
    return discard;
}

// Sends the log nowhere.
inline void silenceLog() {
    static Log log;
    kvlog::setSink(&log);
}

} // namespace discarding
