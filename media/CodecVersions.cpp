#include "media/VoiceCodecs.h"

namespace media {

std::vector<std::string> codecLibraries() {
    return {std::string("spandsp ") + SPANDSP_VERSION, std::string("libspeex ") + SPEEX_VERSION,
            std::string("bcg729 ") + BCG729_VERSION};
}

} // namespace media
