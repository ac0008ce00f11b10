#pragma once

#include "app/CallListening.h"
#include "app/ChargedStreams.h"
#include "decrypt/FrameDecryption.h"

#include <atomic>
#include <optional>
#include <string>
#include <vector>

class KvIAXCapture;

// Listens to some of a capture's calls away from it: their streams and the
// file their payloads are read back from. Made on the thread that owns the
// capture; run on any thread, as it shares nothing with it.
struct ListeningJob {
    std::string capturePath;
    std::shared_ptr<const OpenedPackets> opened; // read back in clear
    std::vector<std::size_t> calls;              // indexes into the capture's call list
    ChargedStreams voice;

    // The calls from `firstCall` on, as many as hold about `mostPackets`
    // voice packets (one at least); `next` is the call after the last.
    // Calls without voice, and calls whose packets an earlier live run wrote to a file since
    // replaced are passed over. Nothing, with `error` saying why, where the
    // capture cannot be read again (it came from standard input) or the
    // memory budget cannot hold the streams.
    static std::optional<ListeningJob> of(const KvIAXCapture& capture, std::size_t firstCall,
                                          std::size_t mostPackets, std::size_t& next,
                                          std::string& error);
    // The same calls without their streams, for `voice` to be made apart
    // (StreamsInSlices); nothing where the capture cannot be read again.
    static std::optional<ListeningJob> choose(const KvIAXCapture& capture, std::size_t firstCall,
                                              std::size_t mostPackets, std::size_t& next,
                                              std::string& error);

    // The calls' findings, in `calls` order. False, with `error` saying why,
    // where the file cannot give the payloads back; false without an error
    // where `cancelled` was set.
    bool run(std::vector<CallListening>& into, std::string& error,
             const std::atomic<bool>* cancelled = nullptr) const;
};
