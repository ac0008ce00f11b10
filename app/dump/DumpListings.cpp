#include "app/dump/DumpListings.h"

#include "app/CallWriter.h"
#include "app/CaptureStatistics.h"
#include "app/KvIAXCapture.h"
#include "common/MemoryCharge.h"

bool printListing(OutputBuffer& output, const KvIAXCapture& capture, DumpArguments::Listing listing,
                  recordwriter::Format format, const std::vector<bool>& keptCalls,
                  const std::function<bool(std::uint32_t)>& keptFrame) {
    using Listing = DumpArguments::Listing;
    std::string& out = output.text();
    if (format == recordwriter::Format::Tsv) {
        out += listing == Listing::Calls           ? callwriter::callsHeader()
               : listing == Listing::Registrations ? callwriter::registrationsHeader()
               : listing == Listing::Problems      ? callwriter::problemsHeader()
               : listing == Listing::Dtmf          ? callwriter::dtmfHeader()
                                                   : callwriter::streamsHeader();
    }
    const calls::CallTracker& tracker = capture.callTracker();
    if (listing == Listing::Streams) {
        for (const auto& stream : capture.streamFigures()) {
            if (keptCalls.at(stream.call)) {
                callwriter::appendStream(out, stream, format);
                output.flushIfLarge();
            }
        }
    } else if (listing == Listing::Calls) {
        for (std::size_t call = 0; call < tracker.calls().size(); ++call) {
            if (keptCalls[call]) {
                callwriter::appendCall(out, tracker.calls()[call], capture.callVerdict(call),
                                       format);
                output.flushIfLarge();
            }
        }
    } else if (listing == Listing::Problems) {
        MemoryCharge charge(capture.memoryBudget());
        const auto problems = capture.problems(charge);
        if (!problems) {
            std::fputs("quorvex-dump: the problems cannot be listed within the memory limit "
                       "(--memory-limit)\n",
                       stderr);
            return false;
        }
        for (const auto& problem : *problems) {
            if (keptFrame(problem.frame)) {
                callwriter::appendProblem(out, problem, capture.frameOf(problem.frame), format);
                output.flushIfLarge();
            }
        }
    } else if (listing == Listing::Dtmf) {
        for (const auto& event : capture.dtmfEvents()) {
            if (keptCalls.at(event.call)) {
                callwriter::appendDtmf(out, event, format);
                output.flushIfLarge();
            }
        }
    } else {
        for (const auto& registration : tracker.registrations()) {
            callwriter::appendRegistration(out, registration, format);
            output.flushIfLarge();
        }
    }
    output.flush();
    return true;
}

void printStats(OutputBuffer& output, const KvIAXCapture& capture, recordwriter::Format format) {
    std::string& out = output.text();
    callwriter::appendProperties(out, capturestatistics::propertiesOf(capture), format);
    if (format == recordwriter::Format::Tsv) {
        out += "\n" + callwriter::countsHeader();
    }
    for (const auto& count : capturestatistics::countsOf(capture.iaxFrames())) {
        callwriter::appendCount(out, count, format);
    }
    output.flush();
}

void printConversations(OutputBuffer& output, const KvIAXCapture& capture,
                        recordwriter::Format format) {
    std::string& out = output.text();
    if (format == recordwriter::Format::Tsv) {
        out += callwriter::conversationsHeader();
    }
    for (const auto& conversation : capturestatistics::conversationsOf(capture.iaxFrames())) {
        callwriter::appendConversation(out, conversation, format);
        if (out.size() > (1u << 16)) {
            output.flush();
        }
    }
    output.flush();
}
