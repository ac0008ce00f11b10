#include "app/dump/HepReports.h"

#include "app/CallWriter.h"
#include "app/RecordWriter.h"

#include <cmath>
#include <cstdio>

namespace hepreports {
namespace {

std::string number(double value) {
    if (!std::isfinite(value)) {
        return "null";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

std::string optional(const std::optional<double>& value) {
    return value ? number(*value) : "null";
}

// An endpoint's address alone: Endpoint::text() ends with ":port", and an
// IPv6 address is in brackets.
std::string addressOf(const calls::Endpoint& endpoint) {
    std::string text = endpoint.text();
    text.erase(text.rfind(':'));
    if (text.size() > 1 && text.front() == '[') {
        text = text.substr(1, text.size() - 2);
    }
    return text;
}

} // namespace

std::string qosReport(const quality::StreamFigures& stream, const std::string& correlationId,
                      const char* type, double reportSeconds) {
    std::string out = "{";
    const auto text = [&](const char* key, std::string_view value) {
        out += out.size() > 1 ? ",\"" : "\"";
        out += key;
        out += "\":";
        recordwriter::appendJsonString(out, value);
    };
    const auto bare = [&](const char* key, const std::string& value) {
        out += out.size() > 1 ? ",\"" : "\"";
        out += key;
        out += "\":";
        out += value;
    };
    const double meanDelta = stream.packets > 1 ? stream.durationSeconds * 1000.0 /
                                                      static_cast<double>(stream.packets - 1)
                                                : 0.0;
    text("CORRELATION_ID", correlationId);
    text("TYPE", type);
    bare("REPORT_TS", number(reportSeconds));
    text("SRC_IP", addressOf(stream.source));
    bare("SRC_PORT", std::to_string(stream.source.port));
    text("DST_IP", addressOf(stream.destination));
    bare("DST_PORT", std::to_string(stream.destination.port));
    text("CODEC_NAME", stream.codec);
    bare("TOTAL_PK", std::to_string(stream.packets));
    // Where the frame duration cannot be known, neither can what was lost.
    const bool known = stream.frameMs.has_value();
    bare("EXPECTED_PK", known ? std::to_string(stream.expected) : "null");
    bare("PACKET_LOSS", known ? std::to_string(stream.lost) : "null");
    bare("OUT_ORDER", std::to_string(stream.outOfOrder));
    bare("JITTER", number(stream.meanJitterMs));
    bare("MAX_JITTER", number(stream.maxJitterMs));
    bare("MEAN_JITTER", number(stream.meanJitterMs));
    bare("DELTA", number(meanDelta));
    bare("MAX_DELTA", number(stream.maxDeltaMs));
    bare("MOS", optional(stream.mos));
    bare("RFACTOR", optional(stream.rFactor));
    bare("DIR", stream.fromCaller ? "0" : "1");
    out += "}";
    return out;
}

std::string callLog(const calls::Call& call, const quality::CallVerdict& verdict,
                    const std::string& correlationId) {
    std::string out;
    callwriter::appendCall(out, call, verdict, recordwriter::Format::Jsonl);
    // One JSON object and its line end: the key goes before its last brace.
    while (!out.empty() && out.back() == '\n') {
        out.pop_back();
    }
    if (!out.empty() && out.back() == '}') {
        out.pop_back();
    }
    out += out.size() > 1 ? ",\"CORRELATION_ID\":" : "\"CORRELATION_ID\":";
    recordwriter::appendJsonString(out, correlationId);
    out += "}";
    return out;
}

} // namespace hepreports
