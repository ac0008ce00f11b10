#pragma once

#include "analysis/CallTracker.h"
#include "analysis/StreamAnalysis.h"
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
Columns callColumns(const analysis::Call& call);
Columns registrationColumns(const analysis::Registration& registration);

std::string callsHeader();
void appendCall(std::string& out, const analysis::Call& call, recordwriter::Format format);

Columns streamColumns(const analysis::StreamFigures& stream);
std::string streamsHeader();
void appendStream(std::string& out, const analysis::StreamFigures& stream,
                  recordwriter::Format format);

std::string registrationsHeader();
void appendRegistration(std::string& out, const analysis::Registration& registration,
                        recordwriter::Format format);

} // namespace callwriter
