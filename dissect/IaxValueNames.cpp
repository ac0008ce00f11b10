#include "dissect/IaxValueNames.h"

namespace iaxvalues {
namespace {

// clang-format off
constexpr ValueName packetTypeNames[] = {
    {0, "Mini voice packet"}, {1, "Full packet"}, {2, "Mini video packet"}, {3, "Trunk packet"},
};

// RFC 5456 section 8.2, with DTMF begin (12) as peers send it. Shown: the
// frame table's Type column.
constexpr ValueName frameTypeNames[] = {
    {0, "(0?)", "ZERO"}, {1, "DTMF End", "DTMF"}, {2, "Voice", "Voice Data"},
    {3, "Video", "Video"}, {4, "Control", "Control"}, {5, "NULL", "Null"},
    {6, "IAX", "IAX Control"}, {7, "Text", "Text"}, {8, "Image", "Image"}, {9, "HTML", "HTML"},
    {10, "Comfort Noise"}, {11, "Modem"}, {12, "DTMF Begin"},
};

// RFC 5456 section 8.4, and the later ones peers send. Shown: the Subclass
// column of IAX control frames, which keeps the older names of 3, 29 and 33
// and shows the number past 34.
constexpr ValueName iaxSubclassNames[] = {
    {0, "(0?)", "ZERO"}, {1, "NEW", "NEW"}, {2, "PING", "PING"}, {3, "PONG", "Reserved"},
    {4, "ACK", "ACK"}, {5, "HANGUP", "HANGUP"}, {6, "REJECT", "REJECT"},
    {7, "ACCEPT", "ACCEPT"}, {8, "AUTHREQ", "AUTHREQ"}, {9, "AUTHREP", "AUTHREP"},
    {10, "INVAL", "INVAL"}, {11, "LAGRQ", "LAGRQ"}, {12, "LAGRP", "LAGRP"},
    {13, "REGREQ", "REGREQ"}, {14, "REGAUTH", "REGAUTH"}, {15, "REGACK", "REGACK"},
    {16, "REGREJ", "REGREJ"}, {17, "REGREL", "REGREL"}, {18, "VNAK", "VNAK"},
    {19, "DPREQ", "DPREQ"}, {20, "DPREP", "DPREP"}, {21, "DIAL", "DIAL"},
    {22, "TXREQ", "TXREQ"}, {23, "TXCNT", "TXCNT"}, {24, "TXACC", "TXACC"},
    {25, "TXREADY", "TXREADY"}, {26, "TXREL", "TXREL"}, {27, "TXREJ", "TXREJ"},
    {28, "QUELCH", "QUELCH"}, {29, "UNQULCH", "UNQUELCH"}, {30, "POKE", "POKE"},
    {31, "PAGE", "PAGE"}, {32, "MWI", "MWI"}, {33, "UNSUPPORTED", "UNSUPPORT"},
    {34, "TRANSFER", "TRANSFER"}, {35, "PROVISION"}, {36, "FWDOWNL"}, {37, "FWDATA"},
    {38, "TXMEDIA"}, {39, "RTKEY"}, {40, "CALLTOKEN"},
};

// RFC 5456 section 8.3. Shown: the Subclass column of control frames, in the
// PBX's own words, which number 6 to 12 differently from the RFC.
constexpr ValueName controlSubclassNames[] = {
    {0, "(0?)", "ZERO"}, {1, "HANGUP", "Hangup"}, {2, "RING", "Ring"},
    {3, "RINGING", "Ringing"}, {4, "ANSWER", "Answer"}, {5, "BUSY", "Busy"},
    {6, "TKOFFHK", "Congestion"}, {7, "OFFHOOK", "Flash Hook"}, {8, nullptr, "Wink"},
    {9, nullptr, "Option"}, {10, nullptr, "Key Radio"}, {11, nullptr, "Unkey Radio"},
    {12, nullptr, "Call Progress"}, {255, "stop sounds"},
};

// By mask. Shown: the calls' and the voice frames' codec names, up to iLBC.
constexpr ValueName codecNames[] = {
    {0x1, "G.723.1 compression", "G.723.1"},
    {0x2, "GSM compression", "GSM Full Rate"},
    {0x4, "Raw mu-law data (G.711)", "G.711 uLaw"},
    {0x8, "Raw A-law data (G.711)", "G.711 aLaw"},
    {0x10, "ADPCM (G.726), 32kbps, AAL2 codeword packing)", "G.726"},
    {0x20, "ADPCM (IMA)", "IMA ADPCM"},
    {0x40, "Raw 16-bit Signed Linear (8000 Hz) PCM", "16Bit"},
    {0x80, "LPC10, 180 samples/frame", "LPC10"},
    {0x100, "G.729a Audio", "G.729"},
    {0x200, "SpeeX Free Compression", "Speex"},
    {0x400, "iLBC Free Compression", "iLBC"},
    {0x800, "ADPCM (G.726, 32kbps, RFC3551 codeword packing)"},
    {0x1000, "G.722"},
    {0x2000, "G.722.1 (also known as Siren7, 32kbps assumed)"},
    {0x4000, "G.722.1 Annex C (also known as Siren14, 48kbps assumed)"},
    {0x8000, "Raw 16-bit Signed Linear (16000 Hz) PCM"},
    {0x10000, "JPEG Images"},
    {0x20000, "PNG Images"},
    {0x40000, "H.261 Video"},
    {0x80000, "H.263 Video"},
    {0x100000, "H.263+ Video"},
    {0x200000, "H.264 Video"},
    {0x400000, "MPEG4 Video"},
    {0x800000, "VP8 Video"},
    {0x4000000, "T.140 RED Text format RFC 4103"},
    {0x8000000, "T.140 Text format - ITU T.140, RFC 4103"},
    {0x100000000, "G.719 (64 kbps assumed)"},
    {0x200000000, "SpeeX Wideband (16kHz) Free Compression"},
    {0x400000000, "Opus audio (8kHz, 16kHz, 24kHz, 48Khz)"},
    {0x800000000000, "Raw testing-law data (G.711)"},
};

constexpr CodecFlag codecFlagList[] = {
    {"g723_1", 0x1}, {"gsm", 0x2}, {"ulaw", 0x4}, {"alaw", 0x8}, {"g726_aal2", 0x10},
    {"adpcm", 0x20}, {"slinear", 0x40}, {"lpc10", 0x80}, {"g729a", 0x100}, {"speex", 0x200},
    {"ilbc", 0x400}, {"g726", 0x800}, {"g722", 0x1000}, {"siren7", 0x2000},
    {"siren14", 0x4000}, {"slinear16", 0x8000}, {"jpeg", 0x10000}, {"png", 0x20000},
    {"h261", 0x40000}, {"h263", 0x80000}, {"h263_plus", 0x100000}, {"h264", 0x200000},
    {"mpeg4", 0x400000}, {"vp8", 0x800000}, {"t140_red", 0x4000000}, {"t140", 0x8000000},
    {"g719", 0x100000000}, {"speex16", 0x200000000}, {"opus", 0x400000000},
    {"testlaw", 0x800000000000},
};

// RFC 5456 section 8.6.
constexpr ValueName elementNameList[] = {
    {1, "Number/extension being called"}, {2, "Calling number"},
    {3, "Calling number ANI for billing"}, {4, "Name of caller"}, {5, "Context for number"},
    {6, "Username (peer or user) for authentication"}, {7, "Password for authentication"},
    {8, "Actual codec capability"}, {9, "Desired codec format"}, {10, "Desired language"},
    {11, "Protocol version"}, {12, "CPE ADSI capability"}, {13, "Originally dialed DNID"},
    {14, "Authentication method(s)"}, {15, "Challenge data for MD5/RSA"},
    {16, "MD5 challenge result"}, {17, "RSA challenge result"},
    {18, "Apparent address of peer"}, {19, "When to refresh registration"},
    {20, "Dialplan status"}, {21, "Call number of peer"}, {22, "Cause"},
    {23, "Unknown IAX command"}, {24, "How many messages waiting"},
    {25, "Request auto-answering"}, {26, "Request musiconhold with QUELCH"},
    {27, "Transfer Request Identifier"}, {28, "Referring DNIS"}, {29, "Provisioning info"},
    {30, "AES Provisioning info"}, {31, "Date/Time"}, {32, "Device type"},
    {33, "Service Identifier"}, {34, "Firmware revision"}, {35, "Firmware block description"},
    {36, "Firmware block of data"}, {37, "Provisioning version"}, {38, "Calling presentation"},
    {39, "Calling type of number"}, {40, "Calling transit network select"},
    {41, "Supported sampling rates"}, {42, "Hangup cause"}, {43, "Encryption format"},
    {44, "Raw encryption key"}, {45, "Codec preferences"}, {46, "Received jitter"},
    {47, "Received loss"}, {48, "Received frames"},
    {49, "Max playout delay in ms for received frames"}, {50, "Dropped frames"},
    {51, "Frames received out of order"}, {52, "IAX2 variable"}, {53, "OSP Token"},
    {54, "Call Token"}, {55, "64-bit codec capability"}, {56, "64-bit codec format"},
    {255, "Data call format"},
};

// Q.931 cause values.
constexpr ValueName causeCodeNames[] = {
    {1, "Unallocated"}, {2, "No route transit net"}, {3, "No route to destination"},
    {5, "Misdialled trunk prefix"}, {6, "Channel unacceptable"}, {7, "Call awarded delivered"},
    {8, "Preempted"}, {14, "Number ported not here"}, {16, "Normal clearing"},
    {17, "User busy"}, {18, "No user response"}, {19, "No answer"}, {20, "Subscriber absent"},
    {21, "Call rejected"}, {22, "Number changed"}, {23, "Redirected to new destination"},
    {26, "Answered elsewhere"}, {27, "Destination out of order"}, {28, "Invalid number format"},
    {29, "Facility rejected"}, {30, "Response to status inquiry"}, {31, "Normal unspecified"},
    {34, "Normal circuit congestion"}, {38, "Network out of order"},
    {41, "Normal temporary failure"}, {42, "Switch congestion"}, {43, "Access info discarded"},
    {44, "Requested channel unavailable"}, {50, "Facility not subscribed"},
    {52, "Outgoing call barred"}, {54, "Incoming call barred"},
    {57, "Bearer capability not authorized"}, {58, "Bearer capability not available"},
    {65, "Bearer capability not implemented"}, {66, "Channel not implemented"},
    {69, "Facility not implemented"}, {81, "Invalid call reference"},
    {88, "Incompatible destination"}, {95, "Invalid message unspecified"},
    {96, "Mandatory IE missing"}, {97, "Message type nonexistent"}, {98, "Wrong message"},
    {99, "IE nonexistent"}, {100, "Invalid IE contents"}, {101, "Wrong call state"},
    {102, "Recovery on timer expire"}, {103, "Mandatory IE length error"},
    {111, "Protocol error"}, {127, "Interworking"},
};

constexpr ValueName dataFormatNames[] = {
    {0, "N/A (analogue call?)"}, {1, "ITU-T V.110 rate adaption"}, {2, "ITU-T H.223/H.245"},
};
constexpr ValueName modemNames[] = {{0, "(0?)"}, {1, "T.38"}, {2, "V.150"}};
constexpr ValueName htmlNames[] = {
    {1, "Sending a URL"}, {2, "Data frame"}, {4, "Beginning frame"}, {8, "End frame"},
    {16, "Load is complete"}, {17, "Peer does not support HTML"}, {18, "Link URL"},
    {19, "Unlink URL"}, {20, "Reject Link URL"},
};
constexpr ValueName textNames[] = {{0, "Text"}};
// clang-format on

} // namespace

std::span<const ValueName> packetTypes() { return packetTypeNames; }
std::span<const ValueName> frameTypes() { return frameTypeNames; }
std::span<const ValueName> iaxSubclasses() { return iaxSubclassNames; }
std::span<const ValueName> controlSubclasses() { return controlSubclassNames; }
std::span<const ValueName> codecs() { return codecNames; }
std::span<const ValueName> elementNames() { return elementNameList; }
std::span<const ValueName> causeCodes() { return causeCodeNames; }
std::span<const ValueName> dataFormats() { return dataFormatNames; }
std::span<const ValueName> modemSubclasses() { return modemNames; }
std::span<const ValueName> htmlSubclasses() { return htmlNames; }
std::span<const ValueName> textSubclasses() { return textNames; }
std::span<const CodecFlag> codecFlags() { return codecFlagList; }

const char* nameOf(std::span<const ValueName> names, std::uint64_t value) {
    for (const ValueName& name : names) {
        if (name.value == value && name.name != nullptr) {
            return name.name;
        }
    }
    return nullptr;
}

const char* shownName(std::span<const ValueName> names, std::uint64_t value) {
    for (const ValueName& name : names) {
        if (name.value == value) {
            return name.shown;
        }
    }
    return nullptr;
}

const char* shownCodecName(unsigned bit) {
    return bit < 64 ? shownName(codecNames, std::uint64_t{1} << bit) : nullptr;
}

} // namespace iaxvalues
