#pragma once

#include "fields/FieldRegistry.h"

#include <string_view>

// The frame table's columns as registry fields of the `quorvex` protocol:
// the display keys (source, type, subclass...), compared as the texts the
// table shows, `quorvex.info` (the Info column) and `quorvex.call` (iax2.call
// by its older name). They are for filters and `-T fields` only: the packet
// details show the wire fields they are made from.
namespace fields {

// The field "Apply as Filter" compares for the frame table cell of column
// `key` in `frame`: the wire field the column shows there (ip.src for source,
// iax2.iax.subclass for an IAX control frame's subclass), or nullptr where
// the column shows a text no wire field holds (captured, time, a DTMF
// frame's subclass): the column's own field then.
[[nodiscard]] const Field* wireFieldOfCell(std::string_view key, const KvIAXFrame& frame);

} // namespace fields
