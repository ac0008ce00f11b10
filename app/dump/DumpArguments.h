#pragma once

#include "app/FieldOutput.h"
#include "app/RecordWriter.h"
#include "capture/RingFiles.h"
#include "media/CallAudio.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The command line of quorvex-dump.
struct DumpArguments {
    recordwriter::Format format = recordwriter::Format::Jsonl;
    bool live = false;
    // What a file load prints: its frames, calls, registrations, voice
    // streams, problems, DTMF digits, statistics or conversations.
    enum class Listing {
        Frames,
        Calls,
        Registrations,
        Streams,
        Problems,
        Dtmf,
        Stats,
        Conversations
    } listing = Listing::Frames;
    double jitterBufferMs = 50; // --jitter-buffer MS: the receiver's, for late frames and MOS
    // --call N --write OUT: write call N's packets (1-based, in --calls order).
    std::optional<unsigned long> call;
    std::optional<std::string> writeTo;
    std::optional<unsigned long> flow;  // --flow N: call N's ladder as text
    std::optional<unsigned long> audio; // --audio N OUT.wav: call N's voice as WAV
    std::optional<std::string> audioTo;
    media::Timing timing = media::Timing::Sent; // --timing sent|arrived
    std::optional<std::string> displayFilter;   // -Y EXPR, --display-filter EXPR
    bool debug = false;                         // write the per-packet log lines too
    bool verbose = false; // list the elements not decoded on standard error
    std::optional<std::uint64_t> memoryLimit;   // --memory-limit SIZE
    std::string file;                           // a capture file, "-" for standard input
    std::optional<std::string> interface; // live: the interface (default: QUORVEX_INTERFACE, then en0 or the first up)
    std::optional<std::string> captureFilter; // live: --filter (default "port 4569")
    std::optional<unsigned long> count;       // live: stop after this many frames
    std::optional<unsigned long> packetLimit; // -c N: a file load reads N packets at most
    std::optional<std::string> writeFrames;   // -w OUT: the frames -Y selects, to a new file
    std::optional<double> durationSeconds;    // live: stop after this long
    // --secret S (repeatable) and --secrets-file FILE: what encrypted calls
    // are opened with, in the order given.
    std::vector<std::string> secrets;
    std::vector<std::string> secretsFiles;
    bool secretOnCommandLine = false; // other users may read it: said on standard error
    // --hep udp:HOST:PORT or tcp:HOST:PORT: each frame printed is also sent
    // to that HEP collector, with --hep-id N, --hep-node NAME and the auth
    // key of --hep-password-file FILE (or --hep-password P, which other users
    // can read).
    std::optional<std::string> hepTarget;
    std::uint32_t hepId = 0;
    std::string hepNode;
    std::string hepPassword;
    std::optional<std::string> hepPasswordFile;
    double hepReportIntervalSeconds = 30; // live: a PERIODIC QoS report of each stream this often
    // --store clickhouse://HOST:PORT/DATABASE: the calls, streams and problems
    // go into that ClickHouse database too; the password comes from
    // --store-password-file FILE or QUORVEX_STORE_PASSWORD, the user from
    // QUORVEX_STORE_USER, never from the command line.
    std::optional<std::string> storeTarget;
    // live: -w OUT with -b filesize:KB, -b duration:S (either or both) and
    // -b files:N: the packets go to a ring of files named after OUT instead
    // of the temporary file.
    RingSettings ring;
    std::optional<std::string> storePasswordFile;

    // As tshark writes frames: -T fields with -e FIELD... (and -E options),
    // -T json, -V (the packet details as text), -x (the bytes as a hex dump).
    enum class Output { Records, Fields, Json, Details } output = Output::Records;
    std::vector<std::string> fieldNames;            // -e
    bool details = false;                           // -V
    bool hexDump = false;                           // -x
    using FieldOptions = fieldoutput::FieldOptions; // -E
    FieldOptions fieldOptions;
    bool glossary = false; // -G fields: list the fields and stop

    // Nothing when the arguments make no sense.
    static std::optional<DumpArguments> parse(int argc, char** argv);
};

extern const char* const dumpUsage;
