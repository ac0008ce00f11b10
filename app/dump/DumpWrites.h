#pragma once

#include "app/dump/DumpArguments.h"

class DumpFilter;
class KvIAXCapture;
namespace calls {
class CallTracker;
}

// What quorvex-dump writes to files: each returns 0 when written, 1 with the
// reason on standard error.

// --call N --write OUT: the call's packets.
int writeCall(const calls::CallTracker& tracker, const DumpArguments& args);
// --audio N OUT.wav. What became of each direction's payloads is said on
// standard error either way.
int writeAudio(const KvIAXCapture& capture, const DumpArguments& args);
// -w OUT: the frames -Y selects (all without it) to a new file.
int writeSelectedFrames(const KvIAXCapture& capture, DumpFilter& selection,
                        const DumpArguments& args);
