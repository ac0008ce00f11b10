#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Names shown for IAX2 frame types, subclasses and codecs, indexed by the
// protocol's own numbers. nullptr marks an empty slot.
namespace iaxnames {

// clang-format off
inline constexpr std::array<const char*, 10> IaxFrameTypes = {
    /* 0 */ "ZERO",        /* 1 */ "DTMF",  /* 2 */ "Voice Data", /* 3 */ "Video",
    /* 4 */ "Control",     /* 5 */ "Null",  /* 6 */ "IAX Control", /* 7 */ "Text",
    /* 8 */ "Image",       /* 9 */ "HTML",
};

// Subclasses of frame type 4 (control). Slots 13 to 15 are empty.
inline constexpr std::array<const char*, 16> IaxControlSubclass = {
    /*  0 */ "ZERO",       /*  1 */ "Hangup",      /*  2 */ "Ring",        /*  3 */ "Ringing",
    /*  4 */ "Answer",     /*  5 */ "Busy",        /*  6 */ "Congestion",  /*  7 */ "Flash Hook",
    /*  8 */ "Wink",       /*  9 */ "Option",      /* 10 */ "Key Radio",   /* 11 */ "Unkey Radio",
    /* 12 */ "Call Progress", nullptr,             nullptr,                nullptr,
};

// Subclasses of frame type 6 (IAX control). Slots 35 to 39 are empty.
inline constexpr std::array<const char*, 40> IaxControlFrames = {
    /*  0 */ "ZERO",     /*  1 */ "NEW",     /*  2 */ "PING",      /*  3 */ "Reserved",
    /*  4 */ "ACK",      /*  5 */ "HANGUP",  /*  6 */ "REJECT",    /*  7 */ "ACCEPT",
    /*  8 */ "AUTHREQ",  /*  9 */ "AUTHREP", /* 10 */ "INVAL",     /* 11 */ "LAGRQ",
    /* 12 */ "LAGRP",    /* 13 */ "REGREQ",  /* 14 */ "REGAUTH",   /* 15 */ "REGACK",
    /* 16 */ "REGREJ",   /* 17 */ "REGREL",  /* 18 */ "VNAK",      /* 19 */ "DPREQ",
    /* 20 */ "DPREP",    /* 21 */ "DIAL",    /* 22 */ "TXREQ",     /* 23 */ "TXCNT",
    /* 24 */ "TXACC",    /* 25 */ "TXREADY", /* 26 */ "TXREL",     /* 27 */ "TXREJ",
    /* 28 */ "QUELCH",   /* 29 */ "UNQUELCH", /* 30 */ "POKE",     /* 31 */ "PAGE",
    /* 32 */ "MWI",      /* 33 */ "UNSUPPORT", /* 34 */ "TRANSFER", nullptr,
    nullptr,             nullptr,            nullptr,              nullptr,
};

// Voice codecs by bit number (bit 0 is mask 1). Slots 11 to 15 are empty.
inline constexpr std::array<const char*, 16> IaxAudioFormats = {
    /*  0 */ "G.723.1",  /*  1 */ "GSM Full Rate", /*  2 */ "G.711 uLaw", /*  3 */ "G.711 aLaw",
    /*  4 */ "G.726",    /*  5 */ "IMA ADPCM",     /*  6 */ "16Bit",      /*  7 */ "LPC10",
    /*  8 */ "G.729",    /*  9 */ "Speex",         /* 10 */ "iLBC",       nullptr,
    nullptr,             nullptr,                  nullptr,               nullptr,
};

// clang-format on

// The entry at `index`, or nullptr for an empty slot or an index past the end.
template <std::size_t N>
constexpr const char* lookup(const std::array<const char*, N>& table, std::size_t index) {
    return index < N ? table[index] : nullptr;
}

} // namespace iaxnames
