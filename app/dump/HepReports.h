#pragma once

#include "calls/CallTracker.h"
#include "quality/Problems.h"
#include "quality/StreamTypes.h"

#include <string>

// The JSON that HEP collectors read of a call: a voice stream's QoS report
// (HEP type 34) and the call's log (HEP type 100).
namespace hepreports {

// The stream's report with the keys collectors read (CORRELATION_ID, TYPE,
// REPORT_TS, SRC_IP... DIR), its figures those of --streams: TOTAL_PK the
// packets, EXPECTED_PK, PACKET_LOSS the lost (both null where the frame
// duration is not known, as in --streams), OUT_ORDER, JITTER the mean
// jitter (as is MEAN_JITTER), MAX_JITTER, DELTA the mean and MAX_DELTA the
// largest gap between arrivals (ms), MOS and RFACTOR (null where unknown),
// DIR 0 from the caller and 1 from the callee. `type` is "FINAL" or
// "PERIODIC"; `reportSeconds` the time it speaks of.
[[nodiscard]] std::string qosReport(const quality::StreamFigures& stream,
                                    const std::string& correlationId, const char* type,
                                    double reportSeconds);

// The call's --calls record (JSON) with CORRELATION_ID added.
[[nodiscard]] std::string callLog(const calls::Call& call, const quality::CallVerdict& verdict,
                                  const std::string& correlationId);

} // namespace hepreports
