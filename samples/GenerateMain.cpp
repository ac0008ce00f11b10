// quorvex-gen: writes the generated capture files.
//   quorvex-gen sample FILE        the bundled sample (a registration and a call)
//   quorvex-gen mix COUNT FILE     COUNT packets of the benchmark mix
//   quorvex-gen all-kinds FILE     every frame type, subclass and element kind
//   quorvex-gen calls COUNT FILE   COUNT packets of 1,000 calls between two PBXes
//   quorvex-gen tones FILE         a call in every codec, carrying known tones
//   quorvex-gen tone-call SECONDS FILE
//                                  one G.711 u-law call of SECONDS, carrying tones
//   quorvex-gen news COUNT FILE    COUNT calls that are only a NEW each
//   quorvex-gen time-jump FILE     a call whose voice timestamps jump by 3.5 hours
//   quorvex-gen hostile-texts FILE a registration and a call whose texts hold terminal
//                                  controls
//   quorvex-gen malformed FILE     frames wrong on the wire, one of each kind
//   quorvex-gen encrypted FILE     a 2-second tone call encrypted with AES-128 (secret
//                                  "quorvex-secret"), each end rotating its key once
//   quorvex-gen encrypted-clear FILE
//                                  the same call's frames, in clear
//   quorvex-gen calls-encrypted COUNT FILE
//   quorvex-gen calls-authenticated COUNT FILE
//                                  the calls of `calls`, encrypted as above, or in clear
//                                  with the same authentication and RTKEY frames
//   quorvex-gen sample-as VARIANT FILE
//                                  the sample's datagrams in another link or network
//                                  layer: cooked, cooked2, vlan, qinq, raw, loopback,
//                                  ipv4-options, ipv6, ipv6-cooked (or ethernet)
#include "capturefile/CaptureFileWriter.h"
#include "samples/EncryptedCalls.h"
#include "samples/LinkVariants.h"
#include "samples/Scenarios.h"
#include "samples/QualityCalls.h"
#include "samples/ToneCalls.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    const char* usage =
        "usage: quorvex-gen sample FILE | mix COUNT FILE | calls COUNT FILE |\n"
        "                  all-kinds FILE | tones FILE | tone-call SECONDS FILE |\n"
        "                  news COUNT FILE | time-jump FILE | quality FILE |\n"
        "                  hostile-texts FILE | malformed FILE |\n"
        "                  in-band-dtmf DIGITS FILE | sample-as VARIANT FILE |\n"
        "                  encrypted FILE | encrypted-clear FILE |\n"
        "                  calls-encrypted COUNT FILE | calls-authenticated COUNT FILE\n";
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("quorvex-gen %s\n", QUORVEX_VERSION);
        return 0;
    }
    if (argc < 3) {
        std::fputs(usage, stderr);
        return 2;
    }
    const bool encryptedCalls = std::strcmp(argv[1], "calls-encrypted") == 0 ||
                                std::strcmp(argv[1], "calls-authenticated") == 0;
    const bool isMix = std::strcmp(argv[1], "mix") == 0 || std::strcmp(argv[1], "calls") == 0 ||
                       std::strcmp(argv[1], "tone-call") == 0 ||
                       std::strcmp(argv[1], "news") == 0 || encryptedCalls;
    // Takes an argument before the file, as the counts do.
    const bool isVariant =
        std::strcmp(argv[1], "sample-as") == 0 || std::strcmp(argv[1], "in-band-dtmf") == 0;
    if (((isMix || isVariant) && argc != 4) || (!isMix && !isVariant && argc != 3)) {
        std::fputs(usage, stderr);
        return 2;
    }
    const iaxgen::VariantInfo* variant = nullptr;
    const bool dialling = std::strcmp(argv[1], "in-band-dtmf") == 0;
    for (const auto& info : iaxgen::variants()) {
        if (isVariant && !dialling && info.name == argv[2]) {
            variant = &info;
        }
    }
    if (isVariant && !dialling && variant == nullptr) {
        std::fputs(usage, stderr);
        return 2;
    }
    CaptureFileWriter writer(argv[argc - 1], variant != nullptr ? variant->linkType : 1);
    if (!writer.ok()) {
        std::fprintf(stderr, "quorvex-gen: %s\n", writer.error().c_str());
        return 1;
    }
    const scenarios::PacketSink sink = [&writer](const iaxgen::Bytes& packet, std::int64_t us) {
        writer.write(packet, us);
    };
    if (std::strcmp(argv[1], "sample") == 0) {
        scenarios::sampleCall(sink);
    } else if (dialling) {
        scenarios::inBandDtmfCalls(sink, argv[2]);
    } else if (isVariant) {
        scenarios::sampleCall([&](const iaxgen::Bytes& packet, std::int64_t us) {
            writer.write(iaxgen::reframe(variant->variant, packet), us);
        });
    } else if (std::strcmp(argv[1], "all-kinds") == 0) {
        scenarios::allKinds(sink);
    } else if (std::strcmp(argv[1], "tones") == 0) {
        scenarios::toneCalls(sink);
    } else if (std::strcmp(argv[1], "malformed") == 0) {
        scenarios::malformedFrames(sink);
    } else if (std::strcmp(argv[1], "hostile-texts") == 0) {
        scenarios::hostileTexts(sink);
    } else if (std::strcmp(argv[1], "time-jump") == 0) {
        scenarios::timeJumpCall(sink);
    } else if (std::strcmp(argv[1], "quality") == 0) {
        scenarios::qualityCalls(sink);
    } else if (std::strcmp(argv[1], "encrypted") == 0 ||
               std::strcmp(argv[1], "encrypted-clear") == 0) {
        scenarios::encryptedToneCall(sink, {.encrypt = std::strcmp(argv[1], "encrypted") == 0},
                                     2.0);
    } else if (isMix) {
        char* end = nullptr;
        const unsigned long long count = std::strtoull(argv[2], &end, 10);
        if (end == argv[2] || *end != '\0') {
            std::fputs(usage, stderr);
            return 2;
        }
        if (std::strcmp(argv[1], "calls") == 0) {
            scenarios::manyCalls(count, 1000, sink);
        } else if (encryptedCalls) {
            scenarios::manyCalls(
                count, 1000,
                scenarios::encryptingSink(
                    sink, {.encrypt = std::strcmp(argv[1], "calls-encrypted") == 0}));
        } else if (std::strcmp(argv[1], "news") == 0) {
            scenarios::newsOnly(count, sink);
        } else if (std::strcmp(argv[1], "tone-call") == 0) {
            scenarios::longToneCall(sink, static_cast<double>(count));
        } else {
            scenarios::benchmarkMix(count, sink);
        }
    } else {
        std::fputs(usage, stderr);
        return 2;
    }
    writer.close();
    return 0;
}
