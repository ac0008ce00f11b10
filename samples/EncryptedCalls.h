#pragma once

#include "samples/Scenarios.h"

#include <cstdint>
#include <memory>
#include <random>
#include <string>

// Turns the calls a scenario writes into encrypted ones, as IAX2 peers
// encrypt with AES-128: each NEW offers encryption; the callee answers with
// an AUTHREQ in clear (MD5, a challenge, encryption); from the caller's
// AUTHREP on every frame is encrypted with MD5(challenge ‖ secret). Each end
// rotates its key once, with an RTKEY, after its `rotateAfter`th voice frame.
//
// With `encrypt` false the very same frames are written in clear, AUTHREQ,
// AUTHREP and RTKEY included: what the encrypted calls must read as.
namespace scenarios {

struct Encryption {
    std::string secret = "quorvex-secret";
    std::string challenge = "314159265";
    bool encrypt = true;
    int rotateAfter = 20;      // voice frames of each end before its RTKEY; 0: never
    std::uint32_t seed = 4569; // of the random padding
};

// A sink that writes what `sink` is given, encrypted as above. Packets must
// be Ethernet + IPv4 + UDP, as the packet builder makes them.
PacketSink encryptingSink(const PacketSink& sink, const Encryption& encryption);

// One G.711 u-law tone call of `seconds`, encrypted as `encryption` says.
void encryptedToneCall(const PacketSink& sink, const Encryption& encryption, double seconds = 1.0);

} // namespace scenarios
