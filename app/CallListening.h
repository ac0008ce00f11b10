#pragma once

#include "media/VoiceListener.h"

#include <optional>

// What listening to a call's decoded voice found, the caller's side first;
// nothing for a side that sent no voice, or whose voice could not be read.
struct CallListening {
    std::optional<media::StreamListening> sides[2];
};
