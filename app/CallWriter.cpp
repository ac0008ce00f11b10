#include "app/CallWriter.h"

#include "dissect/FrameDisplay.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace callwriter {
namespace {

// One field: its key, its text, and whether JSON writes it bare (a number,
// true, false, null) or as a string.
struct Field {
    const char* key;
    std::string text;
    bool bare = false;
};

std::string timeText(const calls::CaptureTime& time) {
    FrameFacts facts;
    facts.captureSeconds = time.seconds;
    facts.captureNanoseconds = time.nanoseconds;
    std::string text;
    framedisplay::appendCapturedText(text, facts);
    return text;
}

std::string seconds(const calls::CaptureTime& from, const calls::CaptureTime& to) {
    const long long micro = (to.seconds - from.seconds) * 1'000'000LL +
                            (static_cast<long long>(to.nanoseconds) - from.nanoseconds) / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%06lld", micro / 1'000'000, micro % 1'000'000);
    return text;
}

template <class T> Field optionalNumber(const char* key, const std::optional<T>& value) {
    return {key, value ? std::to_string(*value) : std::string("null"), true};
}

void appendFields(std::string& out, const std::vector<Field>& fields, recordwriter::Format format) {
    if (format == recordwriter::Format::Tsv) {
        bool first = true;
        for (const Field& field : fields) {
            if (!first) {
                out.push_back('\t');
            }
            first = false;
            recordwriter::appendTsvField(out, field.text == "null" && field.bare ? "" : field.text);
        }
        out.push_back('\n');
        return;
    }
    out.push_back('{');
    bool first = true;
    for (const Field& field : fields) {
        if (!first) {
            out.push_back(',');
        }
        first = false;
        recordwriter::appendJsonString(out, field.key);
        out.push_back(':');
        if (field.bare) {
            out += field.text;
        } else {
            recordwriter::appendJsonString(out, field.text);
        }
    }
    out += "}\n";
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

Field optionalDecimal(const char* key, const std::optional<double>& value) {
    return {key, value ? number(*value) : std::string("null"), true};
}

std::vector<Field> callFields(const calls::Call& call, const quality::CallVerdict& verdict) {
    using Side = calls::Call::Side;
    const calls::CallQuality& quality = verdict.quality;
    return {
        {"caller", call.caller.text()},
        {"callee", call.callee.text()},
        {"callerCall", std::to_string(call.callerCall), true},
        optionalNumber("calleeCall", call.calleeCall),
        {"from", call.from},
        {"fromName", call.fromName},
        {"to", call.to},
        {"codec", call.codecName()},
        {"state", calls::stateText(call.state)},
        {"cause", call.cause},
        {"hungUpBy", call.hungUpBy == Side::Caller   ? "caller"
                     : call.hungUpBy == Side::Callee ? "callee"
                                                     : ""},
        {"start", timeText(call.start)},
        {"end", timeText(call.end)},
        {"duration", seconds(call.start, call.end), true},
        {"frames", std::to_string(call.frames), true},
        {"retransmissions", std::to_string(call.retransmissions), true},
        {"startedBeforeCapture", call.startedBeforeCapture ? "true" : "false", true},
        optionalDecimal("mos", verdict.mos),
        {"rttSamples", std::to_string(quality.rttSamples), true},
        optionalDecimal("rttMin", quality.rttMin),
        optionalDecimal("rttMean", quality.rttMean),
        optionalDecimal("rttMax", quality.rttMax),
        {"lagSamples", std::to_string(quality.lagSamples), true},
        optionalDecimal("lagMean", quality.lagMean),
        {"dtmf", quality.dtmf},
        {"encrypted", !call.encrypted ? "no"
                      : call.locked   ? "locked"
                                      : "decrypted"},
    };
}

std::vector<Field> registrationFields(const calls::Registration& registration) {
    return {
        {"peer", registration.peer.text()},
        {"registrar", registration.registrar.text()},
        {"username", registration.username},
        {"result", registration.result},
        {"cause", registration.cause},
        optionalNumber("refresh", registration.refresh),
        {"attempts", std::to_string(registration.attempts), true},
        {"start", timeText(registration.start)},
        {"request", registration.request},
    };
}

std::vector<Field> streamFields(const quality::StreamFigures& stream) {
    const bool known = stream.frameMs.has_value();
    const calls::ReceiverReport reported =
        stream.reported.value_or(calls::ReceiverReport{});
    return {
        {"call", std::to_string(stream.call + 1), true},
        {"direction", stream.fromCaller ? "caller" : "callee"},
        {"source", stream.source.text()},
        {"destination", stream.destination.text()},
        {"codec", stream.codec},
        {"packets", std::to_string(stream.packets), true},
        // Where the frame duration cannot be known, neither can what was lost.
        {"expected", known ? std::to_string(stream.expected) : "null", true},
        {"lost", known ? std::to_string(stream.lost) : "null", true},
        {"duplicates", std::to_string(stream.duplicates), true},
        {"outOfOrder", std::to_string(stream.outOfOrder), true},
        {"maxDelta", number(stream.maxDeltaMs), true},
        {"maxDeltaFrame", std::to_string(stream.maxDeltaFrame), true},
        {"maxJitter", number(stream.maxJitterMs), true},
        {"meanJitter", number(stream.meanJitterMs), true},
        {"start", timeText(stream.start)},
        {"duration", number(stream.durationSeconds), true},
        {"jitterBuffer", number(stream.jitterBufferMs), true},
        {"late", std::to_string(stream.late), true},
        {"effectiveLost", known ? std::to_string(stream.effectiveLost) : "null", true},
        optionalDecimal("burstRatio", stream.burstRatio),
        optionalDecimal("rFactor", stream.rFactor),
        optionalDecimal("mos", stream.mos),
        optionalDecimal("activity", stream.activity),
        optionalNumber("reportedJitter", reported.jitter),
        optionalNumber("reportedLossPercent", reported.lossPercent),
        optionalNumber("reportedLost", reported.lost),
        optionalNumber("reportedPackets", reported.packets),
        optionalNumber("reportedDelay", reported.delay),
        optionalNumber("reportedDropped", reported.dropped),
        optionalNumber("reportedOutOfOrder", reported.outOfOrder),
    };
}

std::vector<Field> problemFields(const quality::Problem& problem, const KvIAXFrame* frame) {
    return {
        {"severity", quality::severityName(problem.severity())},
        {"kind", quality::kindName(problem.kind)},
        {"frame", std::to_string(problem.frame), true},
        {"call",
         problem.call == quality::Problem::noCall ? "null" : std::to_string(problem.call + 1),
         true},
        {"text", quality::problemText(problem, frame)},
    };
}

std::vector<Field> dtmfFields(const calls::DtmfEvent& event) {
    using Event = calls::DtmfEvent;
    return {
        {"call", std::to_string(event.call + 1), true},
        {"direction", event.fromCaller ? "caller" : "callee"},
        {"digit", std::string(1, event.digit)},
        {"source", event.source == Event::Source::Signalled ? "signalled" : "in-band"},
        {"kind", event.kind == Event::Kind::Begin ? "begin"
                 : event.kind == Event::Kind::End ? "end"
                                                  : "tone"},
        {"frame", std::to_string(event.frame), true},
        {"captured", timeText(event.captured)},
        optionalDecimal("duration", event.durationMs),
    };
}

std::string header(const std::vector<Field>& fields) {
    std::string text;
    for (const Field& field : fields) {
        text += (text.empty() ? "" : "\t") + std::string(field.key);
    }
    return text + "\n";
}

Columns columnsOf(const std::vector<Field>& fields) {
    Columns columns;
    for (const Field& field : fields) {
        columns.emplace_back(field.key, field.bare && field.text == "null" ? "" : field.text);
    }
    return columns;
}

} // namespace

Columns callColumns(const calls::Call& call, const quality::CallVerdict& verdict) {
    return columnsOf(callFields(call, verdict));
}

Columns registrationColumns(const calls::Registration& registration) {
    return columnsOf(registrationFields(registration));
}

std::string callsHeader() {
    return header(callFields(calls::Call{}, quality::CallVerdict{}));
}

void appendCall(std::string& out, const calls::Call& call, const quality::CallVerdict& verdict,
                recordwriter::Format format) {
    appendFields(out, callFields(call, verdict), format);
}

Columns problemColumns(const quality::Problem& problem, const KvIAXFrame* frame) {
    return columnsOf(problemFields(problem, frame));
}

std::string problemsHeader() {
    return header(problemFields(quality::Problem{}, nullptr));
}

void appendProblem(std::string& out, const quality::Problem& problem, const KvIAXFrame* frame,
                   recordwriter::Format format) {
    appendFields(out, problemFields(problem, frame), format);
}

std::string dtmfHeader() {
    return header(dtmfFields(calls::DtmfEvent{}));
}

void appendDtmf(std::string& out, const calls::DtmfEvent& event, recordwriter::Format format) {
    appendFields(out, dtmfFields(event), format);
}

Columns streamColumns(const quality::StreamFigures& stream) {
    return columnsOf(streamFields(stream));
}

std::string streamsHeader() {
    return header(streamFields(quality::StreamFigures{}));
}

void appendStream(std::string& out, const quality::StreamFigures& stream,
                  recordwriter::Format format) {
    appendFields(out, streamFields(stream), format);
}

void appendProperties(std::string& out, const capturestatistics::Properties& properties,
                      recordwriter::Format format) {
    const std::vector<Field> fields = {
        {"file", properties.file},
        {"format", properties.format},
        optionalNumber("fileSize", properties.fileSize),
        {"linkType", std::to_string(properties.linkType), true},
        {"link", properties.linkName},
        {"frames", std::to_string(properties.frames), true},
        {"bytes", std::to_string(properties.bytes), true},
        {"first", properties.first ? timeText(*properties.first) : ""},
        {"last", properties.last ? timeText(*properties.last) : ""},
        {"duration", number(properties.durationSeconds), true},
        {"framesPerSecond", number(properties.framesPerSecond), true},
        {"bytesPerSecond", number(properties.bytesPerSecond), true},
    };
    if (format == recordwriter::Format::Jsonl) {
        appendFields(out, fields, format);
        return;
    }
    for (const Field& field : fields) {
        out += field.key;
        out.push_back('\t');
        recordwriter::appendTsvField(out, field.text == "null" && field.bare ? "" : field.text);
        out.push_back('\n');
    }
}

namespace {

std::vector<Field> countFields(const capturestatistics::Count& count) {
    return {{"type", count.type},
            {"subclass", count.subclass},
            {"frames", std::to_string(count.frames), true},
            {"bytes", std::to_string(count.bytes), true}};
}

std::vector<Field> conversationFields(const capturestatistics::Conversation& c) {
    return {{"a", c.a.text()},
            {"b", c.b.text()},
            {"framesAtoB", std::to_string(c.framesAtoB), true},
            {"framesBtoA", std::to_string(c.framesBtoA), true},
            {"bytes", std::to_string(c.bytes), true},
            {"start", timeText(c.first)},
            {"duration", seconds(c.first, c.last), true}};
}

} // namespace

std::string conversationsHeader() {
    return header(conversationFields({}));
}

void appendConversation(std::string& out, const capturestatistics::Conversation& conversation,
                        recordwriter::Format format) {
    appendFields(out, conversationFields(conversation), format);
}

std::string countsHeader() {
    return header(countFields({}));
}

void appendCount(std::string& out, const capturestatistics::Count& count,
                 recordwriter::Format format) {
    appendFields(out, countFields(count), format);
}

std::string registrationsHeader() {
    return header(registrationFields(calls::Registration{}));
}

void appendRegistration(std::string& out, const calls::Registration& registration,
                        recordwriter::Format format) {
    appendFields(out, registrationFields(registration), format);
}

} // namespace callwriter
