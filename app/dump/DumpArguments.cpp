#include "app/dump/DumpArguments.h"

#include "app/Secrets.h"
#include "common/MemoryBudget.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

bool parseFormat(std::string_view name, recordwriter::Format& format) {
    if (name == "jsonl") {
        format = recordwriter::Format::Jsonl;
    } else if (name == "tsv") {
        format = recordwriter::Format::Tsv;
    } else {
        return false;
    }
    return true;
}

bool parseCount(const char* text, unsigned long& count) {
    char* end = nullptr;
    errno = 0;
    count = std::strtoul(text, &end, 10);
    return end != text && *end == '\0' && errno == 0 && count > 0 && text[0] != '-';
}

bool parseSeconds(const char* text, double& seconds) {
    char* end = nullptr;
    seconds = std::strtod(text, &end);
    return end != text && *end == '\0' && seconds > 0 && seconds < 1e9;
}

// One -E option; false where it makes no sense.
bool parseFieldOption(std::string_view text, DumpArguments::FieldOptions& options) {
    const auto equals = text.find('=');
    if (equals == std::string_view::npos) {
        return false;
    }
    const std::string_view name = text.substr(0, equals);
    const std::string_view value = text.substr(equals + 1);
    // /t and /s stand for a tab and a space, as tshark reads them.
    const auto character = [](std::string_view v) -> std::string {
        return v == "/t" ? "\t" : v == "/s" ? " " : std::string(v);
    };
    if (name == "header" && (value == "y" || value == "n")) {
        options.header = value == "y";
    } else if (name == "separator" && !value.empty()) {
        options.separator = character(value);
    } else if (name == "occurrence" && (value == "f" || value == "l" || value == "a")) {
        options.occurrence = value.front();
    } else if (name == "aggregator" && !value.empty()) {
        options.aggregator = character(value);
    } else if (name == "quote" && (value == "d" || value == "s" || value == "n")) {
        options.quote = value.front();
    } else {
        return false;
    }
    return true;
}

// -b filesize:KB, files:N or duration:S, as packet tools take them.
bool parseRingOption(std::string_view text, RingSettings& ring) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    const std::string_view key = text.substr(0, colon);
    const std::string value(text.substr(colon + 1));
    unsigned long number = 0;
    if (key == "duration") {
        return parseSeconds(value.c_str(), ring.seconds) && ring.seconds >= 1;
    }
    if (!parseCount(value.c_str(), number) || number == 0) {
        return false;
    }
    if (key == "filesize" && number <= (1ul << 40)) {
        ring.maxBytes = number * 1000;
    } else if (key == "files" && number <= 100000) {
        ring.files = static_cast<unsigned>(number);
    } else {
        return false;
    }
    return true;
}

} // namespace

std::optional<DumpArguments> DumpArguments::parse(int argc, char** argv) {
    using Listing = DumpArguments::Listing;
    using Output = DumpArguments::Output;
    DumpArguments args;
    bool haveFile = false;
    bool timingGiven = false;
    bool jitterBufferGiven = false;
    bool hepDetail = false; // a --hep-* option, which needs --hep
    bool ringGiven = false; // a -b option, which needs --live and -w
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        // Options take their value as the next argument or after "=".
        std::string_view option = arg;
        const char* value = nullptr;
        if (arg.starts_with("--") && arg.find('=') != std::string_view::npos) {
            option = arg.substr(0, arg.find('='));
            value = argv[i] + option.size() + 1;
        }
        auto takeValue = [&]() -> const char* {
            if (value == nullptr && i + 1 < argc) {
                value = argv[++i];
            }
            return value;
        };
        if (option == "-T") {
            const char* v = takeValue();
            if (v == nullptr || (std::strcmp(v, "fields") != 0 && std::strcmp(v, "json") != 0)) {
                return std::nullopt;
            }
            args.output = std::strcmp(v, "fields") == 0 ? Output::Fields : Output::Json;
        } else if (option == "-e" || option == "-E") {
            const char* v = takeValue();
            if (v == nullptr || *v == '\0') {
                return std::nullopt;
            }
            if (option == "-e") {
                args.fieldNames.emplace_back(v);
            } else if (!parseFieldOption(v, args.fieldOptions)) {
                return std::nullopt;
            }
        } else if (option == "-V" || option == "-x") {
            (option == "-V" ? args.details : args.hexDump) = true;
        } else if (option == "-G") {
            const char* v = takeValue();
            if (v == nullptr || std::strcmp(v, "fields") != 0) {
                return std::nullopt;
            }
            args.glossary = true;
        } else if (option == "--live" && value == nullptr) {
            args.live = true;
        } else if (option == "--debug" && value == nullptr) {
            args.debug = true;
        } else if (option == "--verbose" && value == nullptr) {
            args.verbose = true;
        } else if ((option == "--calls" || option == "--registrations" || option == "--streams" ||
                    option == "--problems" || option == "--dtmf" || option == "--stats" ||
                    option == "--conversations") &&
                   value == nullptr && args.listing == Listing::Frames) {
            args.listing = option == "--calls"           ? Listing::Calls
                           : option == "--registrations" ? Listing::Registrations
                           : option == "--streams"       ? Listing::Streams
                           : option == "--problems"      ? Listing::Problems
                           : option == "--dtmf"          ? Listing::Dtmf
                           : option == "--stats"         ? Listing::Stats
                                                         : Listing::Conversations;
        } else if (option == "-r" || option == "-w") {
            const char* v = takeValue();
            if (v == nullptr || *v == '\0' || (option == "-r" && haveFile)) {
                return std::nullopt;
            }
            if (option == "-r") {
                args.file = std::string(v);
                haveFile = true;
            } else {
                args.writeFrames = std::string(v);
            }
        } else if (option == "-b") {
            const char* v = takeValue();
            if (v == nullptr || !parseRingOption(v, args.ring)) {
                return std::nullopt;
            }
            ringGiven = true;
        } else if (option == "-c") {
            const char* v = takeValue();
            unsigned long count = 0;
            if (v == nullptr || !parseCount(v, count)) {
                return std::nullopt;
            }
            args.packetLimit = count;
        } else if (option == "--jitter-buffer") {
            const char* v = takeValue();
            // A buffer beyond ten seconds is no receiver's.
            if (v == nullptr || !parseSeconds(v, args.jitterBufferMs) ||
                args.jitterBufferMs > 10000) {
                return std::nullopt;
            }
            jitterBufferGiven = true;
        } else if (option == "-Y" || option == "--display-filter") {
            const char* v = takeValue();
            if (v == nullptr) {
                return std::nullopt;
            }
            args.displayFilter = std::string(v);
        } else if (option == "--format") {
            const char* v = takeValue();
            if (v == nullptr || !parseFormat(v, args.format)) {
                return std::nullopt;
            }
        } else if (option == "--interface" || option == "--filter") {
            const char* v = takeValue();
            if (v == nullptr || *v == '\0') {
                return std::nullopt;
            }
            (option == "--interface" ? args.interface : args.captureFilter) = std::string(v);
        } else if (option == "--call" || option == "--flow") {
            const char* v = takeValue();
            unsigned long number = 0;
            if (v == nullptr || !parseCount(v, number)) {
                return std::nullopt;
            }
            (option == "--call" ? args.call : args.flow) = number;
        } else if (option == "--audio") {
            const char* v = takeValue();
            unsigned long number = 0;
            if (v == nullptr || !parseCount(v, number) || i + 1 >= argc || argv[i + 1][0] == '\0') {
                return std::nullopt;
            }
            args.audio = number;
            args.audioTo = std::string(argv[++i]);
        } else if (option == "--timing") {
            const char* v = takeValue();
            if (v == nullptr || (std::strcmp(v, "sent") != 0 && std::strcmp(v, "arrived") != 0)) {
                return std::nullopt;
            }
            args.timing =
                std::strcmp(v, "sent") == 0 ? media::Timing::Sent : media::Timing::Arrived;
            timingGiven = true;
        } else if (option == "--write") {
            const char* v = takeValue();
            if (v == nullptr || *v == '\0') {
                return std::nullopt;
            }
            args.writeTo = std::string(v);
        } else if (option == "--secret" || option == "--secrets-file") {
            const char* v = takeValue();
            if (v == nullptr || *v == '\0') {
                return std::nullopt;
            }
            if (option == "--secret") {
                secrets::addSecrets(v, args.secrets);
                args.secretOnCommandLine = true;
                // Out of /proc/PID/cmdline from here on; other users may
                // still have read it as the program started.
                std::memset(const_cast<char*>(v), 'x', std::strlen(v));
            } else {
                args.secretsFiles.emplace_back(v);
            }
        } else if (option == "--hep" || option == "--hep-node" || option == "--hep-password" ||
                   option == "--hep-password-file") {
            const char* v = takeValue();
            if (v == nullptr || *v == '\0') {
                return std::nullopt;
            }
            if (option == "--hep") {
                args.hepTarget = std::string(v);
            } else if (option == "--hep-node") {
                args.hepNode = v;
            } else if (option == "--hep-password-file") {
                args.hepPasswordFile = std::string(v);
            } else {
                args.hepPassword = v;
                std::memset(const_cast<char*>(v), 'x', std::strlen(v));
            }
            hepDetail = hepDetail || option != "--hep";
        } else if (option == "--store" || option == "--store-password-file") {
            const char* v = takeValue();
            if (v == nullptr || *v == '\0') {
                return std::nullopt;
            }
            (option == "--store" ? args.storeTarget : args.storePasswordFile) = std::string(v);
        } else if (option == "--hep-report-interval") {
            const char* v = takeValue();
            if (v == nullptr || !parseSeconds(v, args.hepReportIntervalSeconds) ||
                args.hepReportIntervalSeconds < 1) {
                return std::nullopt;
            }
            hepDetail = true;
        } else if (option == "--hep-id") {
            const char* v = takeValue();
            unsigned long id = 0;
            if (v == nullptr || !parseCount(v, id) || id > 0xFFFFFFFFul) {
                return std::nullopt;
            }
            args.hepId = static_cast<std::uint32_t>(id);
            hepDetail = true;
        } else if (option == "--memory-limit") {
            const char* v = takeValue();
            args.memoryLimit = v != nullptr ? MemoryBudget::parseSize(v) : std::nullopt;
            if (!args.memoryLimit) {
                return std::nullopt;
            }
        } else if (option == "--count") {
            const char* v = takeValue();
            unsigned long count = 0;
            if (v == nullptr || !parseCount(v, count)) {
                return std::nullopt;
            }
            args.count = count;
        } else if (option == "--duration") {
            const char* v = takeValue();
            double seconds = 0;
            if (v == nullptr || !parseSeconds(v, seconds)) {
                return std::nullopt;
            }
            args.durationSeconds = seconds;
        } else if ((arg.size() > 1 && arg[0] == '-') || haveFile) {
            return std::nullopt; // "-" alone is standard input
        } else {
            args.file = std::string(arg);
            haveFile = true;
        }
    }
    if (args.glossary) {
        return argc == 3 ? std::optional(args) : std::nullopt;
    }
    // On a live run -w names the ring -b describes, and records are printed
    // (nothing the run prints reads a ring's files back).
    if (ringGiven || (args.live && args.writeFrames)) {
        if (!ringGiven || !args.live || !args.writeFrames || args.output != Output::Records ||
            (args.ring.maxBytes == 0 && args.ring.seconds == 0)) {
            return std::nullopt;
        }
        args.ring.base = *args.writeFrames;
        args.writeFrames.reset();
    }
    // The HEP feed sends the frames a run prints; the store takes a run's
    // calls, whatever it prints.
    const bool writesOther = args.call || args.flow || args.audio || args.writeFrames;
    if ((hepDetail && !args.hepTarget) || (!args.hepPassword.empty() && args.hepPasswordFile) ||
        (args.hepTarget &&
         (args.listing != Listing::Frames || writesOther || (!args.live && args.file == "-"))) ||
        (args.storePasswordFile && !args.storeTarget) || (args.storeTarget && writesOther)) {
        return std::nullopt;
    }
    // -T fields takes -e fields, and only it does; -V and -x are the details.
    if ((args.output == Output::Fields) != !args.fieldNames.empty()) {
        return std::nullopt;
    }
    if (args.output == Output::Records && (args.details || args.hexDump)) {
        args.output = Output::Details;
    }
    if (args.output != Output::Records &&
        (args.listing != Listing::Frames || args.call || args.flow || args.audio)) {
        return std::nullopt;
    }
    // -c counts the packets a file load reads, and the frames a live run prints.
    if (args.packetLimit && args.live) {
        if (args.count) {
            return std::nullopt;
        }
        args.count = args.packetLimit;
        args.packetLimit.reset();
    }
    // -w writes the frames -Y selects, and prints nothing.
    if (args.writeFrames && (args.live || args.listing != Listing::Frames || args.call ||
                             args.flow || args.audio || args.output != Output::Records)) {
        return std::nullopt;
    }
    if ((args.listing == Listing::Stats || args.listing == Listing::Conversations) &&
        args.displayFilter) {
        return std::nullopt;
    }
    const bool liveOnly = args.captureFilter || args.count || args.durationSeconds;
    const bool writing = args.call || args.writeTo;
    const bool otherOutput = writing || args.flow || args.listing != Listing::Frames || args.live;
    // A display filter selects frames, and the calls and streams they are in.
    const bool filterable =
        !writing && !args.flow && !args.audio && args.listing != Listing::Registrations;
    // The jitter buffer judges what the streams, the calls and the problems say.
    const bool judged = args.listing == Listing::Streams || args.listing == Listing::Calls ||
                        args.listing == Listing::Problems;
    if ((args.audio && otherOutput) || (timingGiven && !args.audio) ||
        (args.displayFilter && !filterable) || (jitterBufferGiven && !judged)) {
        return std::nullopt;
    }
    if (args.live == haveFile || (!args.live && liveOnly) ||
        (args.live && (args.listing != Listing::Frames || writing || args.flow)) ||
        (args.flow && (writing || args.listing != Listing::Frames)) ||
        (writing && (!args.call || !args.writeTo || args.listing != Listing::Frames))) {
        return std::nullopt;
    }
    return args;
}
