#include "app/dump/DumpArguments.h"

#include "common/MemoryBudget.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

const char* const dumpUsage =
    "usage: quorvex-dump [--debug] [--memory-limit SIZE] [--format jsonl|tsv] [-Y EXPR]\n"
    "                    [--calls | --registrations | --streams | --call N --write OUT.pcap |\n"
    "                     --flow N | --audio N OUT.wav [--timing sent|arrived]] FILE\n"
    "       quorvex-dump --live [--debug] [--memory-limit SIZE] [--format jsonl|tsv] [-Y EXPR]\n"
    "                    [--interface NAME] [--filter EXPR] [--count N] [--duration SECONDS]\n"
    "  -Y, --display-filter EXPR  only the frames (or the calls with a frame, or their streams)\n"
    "                             that EXPR selects, in Wireshark's display filter syntax\n";

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

} // namespace

std::optional<DumpArguments> DumpArguments::parse(int argc, char** argv) {
    using Listing = DumpArguments::Listing;
    DumpArguments args;
    bool haveFile = false;
    bool timingGiven = false;
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
        if (option == "--live" && value == nullptr) {
            args.live = true;
        } else if (option == "--debug" && value == nullptr) {
            args.debug = true;
        } else if ((option == "--calls" || option == "--registrations" || option == "--streams") &&
                   value == nullptr && args.listing == Listing::Frames) {
            args.listing = option == "--calls"           ? Listing::Calls
                           : option == "--registrations" ? Listing::Registrations
                                                         : Listing::Streams;
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
    const bool liveOnly = args.captureFilter || args.count || args.durationSeconds;
    const bool writing = args.call || args.writeTo;
    const bool otherOutput = writing || args.flow || args.listing != Listing::Frames || args.live;
    // A display filter selects frames, and the calls and streams they are in.
    const bool filterable =
        !writing && !args.flow && !args.audio && args.listing != Listing::Registrations;
    if ((args.audio && otherOutput) || (timingGiven && !args.audio) ||
        (args.displayFilter && !filterable)) {
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
