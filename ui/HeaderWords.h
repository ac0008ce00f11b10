#pragma once

#include <QString>

// A column's key as words for its header: "callerCall" is "Caller call",
// "maxDeltaFrame" "Max delta frame", "rttMean" "RTT mean". The keys stay
// what quorvex-dump prints.
[[nodiscard]] QString headerWords(const QString& key);
