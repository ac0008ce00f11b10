#include "calls/CorrelationId.h"

#include <cstdio>

namespace calls {

std::string correlationId(const Call& call) {
    char time[40];
    std::snprintf(time, sizeof time, "%lld.%06u", static_cast<long long>(call.start.seconds),
                  call.start.nanoseconds / 1000);
    return call.caller.text() + "/" + std::to_string(call.callerCall) + "/" + time;
}

} // namespace calls
