#pragma once

#include "calls/CallTracker.h"

#include <string>

namespace calls {

// The key that ties every frame of a call, both ways and its trunk entries,
// to the reports and logs sent of it: the caller's address and port, its
// call number and the NEW's capture time to the microsecond
// ("192.0.2.10:4569/1/1765000000.000005"). It does not change as the call
// goes on, and two calls of one capture never share it.
[[nodiscard]] std::string correlationId(const Call& call);

} // namespace calls
