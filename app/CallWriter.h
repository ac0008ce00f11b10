#pragma once

#include "calls/CallTracker.h"
#include "quality/Problems.h"
#include "quality/StreamTypes.h"
#include "app/CaptureStatistics.h"
#include "app/RecordWriter.h"

#include <string>
#include <utility>
#include <vector>

// Writes calls and registrations as text lines, for quorvex-dump: JSON Lines
// (numbers as numbers, flags as true/false) or TSV with a header line.
namespace callwriter {

// The keys and display texts of a call or registration, in column order, as
// the window's tables and the TSV show them.
using Columns = std::vector<std::pair<const char*, std::string>>;
// A call's columns end with its verdict: the worse direction's MOS, its
// round trips and its DTMF digits.
Columns callColumns(const calls::Call& call, const quality::CallVerdict& verdict);
Columns registrationColumns(const calls::Registration& registration);

std::string callsHeader();
void appendCall(std::string& out, const calls::Call& call, const quality::CallVerdict& verdict,
                recordwriter::Format format);

Columns streamColumns(const quality::StreamFigures& stream);
std::string streamsHeader();
void appendStream(std::string& out, const quality::StreamFigures& stream,
                  recordwriter::Format format);

// A problem's severity, kind, frame, call (1-based) and text.
// `frame`: the problem's frame, where it is known.
Columns problemColumns(const quality::Problem& problem, const KvIAXFrame* frame);
std::string problemsHeader();
void appendProblem(std::string& out, const quality::Problem& problem, const KvIAXFrame* frame,
                   recordwriter::Format format);

// A DTMF digit's call (1-based), direction, digit, source, kind, frame,
// capture time and duration.
std::string dtmfHeader();
void appendDtmf(std::string& out, const calls::DtmfEvent& event, recordwriter::Format format);

// The capture's properties, a line (JSON) or a "key<TAB>value" line each
// (TSV); then its frames by type and subclass, a line each.
void appendProperties(std::string& out, const capturestatistics::Properties& properties,
                      recordwriter::Format format);
std::string countsHeader();
void appendCount(std::string& out, const capturestatistics::Count& count,
                 recordwriter::Format format);

// The frames between two ends: the first sender, the other end, frames
// each way, bytes, start and duration (s).
std::string conversationsHeader();
void appendConversation(std::string& out, const capturestatistics::Conversation& conversation,
                        recordwriter::Format format);

std::string registrationsHeader();
void appendRegistration(std::string& out, const calls::Registration& registration,
                        recordwriter::Format format);

} // namespace callwriter
