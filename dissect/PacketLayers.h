#pragma once

#include "dissect/ByteCursor.h"
#include "record/FrameFacts.h"

// The link and network layers of a packet: where its addresses, ports and
// IAX2 payload are.
//
// Packets are read at fixed offsets, whatever they hold: Ethernet (14 bytes),
// IPv4 without options (20 bytes), UDP (8 bytes), then the IAX2 payload.
//
//    offset 26: IPv4 source        offset 30: IPv4 destination
//    offset 34: UDP source port    offset 36: UDP destination port
//    offset 38: UDP length (header included)    offset 42: IAX2 payload
//
// Fills the network facts (addresses, ports, UDP length and whether each was
// captured) and returns the captured payload bytes, empty where the capture
// ends before them.
ByteCursor locateIaxPayload(const ByteCursor& packet, FrameFacts& facts);
