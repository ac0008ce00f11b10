#pragma once

#include "analysis/CallTracker.h"
#include "app/RecordWriter.h"

#include <string>

// Writes calls and registrations as text lines, for quorvex-dump: JSON Lines
// (numbers as numbers, flags as true/false) or TSV with a header line.
namespace callwriter {

std::string callsHeader();
void appendCall(std::string& out, const analysis::Call& call, recordwriter::Format format);

std::string registrationsHeader();
void appendRegistration(std::string& out, const analysis::Registration& registration,
                        recordwriter::Format format);

} // namespace callwriter
