#pragma once

#include "media/CallAudio.h"

#include <string>

namespace media {

// Writes the call's audio as a WAV file (PCM, 16-bit, 8 kHz, stereo: the
// caller left, the callee right) to a new file at `path`: whole or not at
// all, never in place of an existing file. False, with `error` saying why.
bool writeWav(const std::string& path, const CallAudio& audio, std::string& error);

} // namespace media
