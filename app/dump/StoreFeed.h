#pragma once

#include "app/dump/DumpArguments.h"
#include "store/CallStore.h"

#include <memory>
#include <string>
#include <vector>

class KvIAXCapture;
namespace quality {
struct Problem;
struct StreamFigures;
} // namespace quality

// quorvex-dump's side of --store: each call ended goes into the ClickHouse
// database with its streams and problems, as --calls, --streams and
// --problems print them. A file's rows go at the end, and a server that is
// away fails the run; a live run's go as its calls end, and wait in a spool
// while the server is away.
class StoreFeed final {
public:
    // Nothing, with `error` empty, where there is no --store; nothing, with
    // `error`, where the store cannot be reached (a file) or the options are
    // wrong. `captureName`: the file's name, or live:INTERFACE.
    static std::unique_ptr<StoreFeed> start(const DumpArguments& args,
                                            const std::string& captureName, std::string& error);

    // Rows of call `index` of the capture, its streams among `streams`, and
    // its problems among `problems`.
    void addCall(const KvIAXCapture& capture, std::size_t index,
                 const std::vector<quality::StreamFigures>& streams,
                 const std::vector<quality::Problem>& problems);
    // The problems that belong to no call: once, at the end of a run.
    void addCallless(const KvIAXCapture& capture, const std::vector<quality::Problem>& problems);
    // Inserts what was added; false, with the reason on standard error.
    bool flush();
    // At the end: a file's rows merged, and on standard error "Store: N rows
    // into TARGET, M dropped". False where rows were lost.
    bool finish(bool live);

private:
    explicit StoreFeed(std::unique_ptr<store::CallStore> store) : store_(std::move(store)) {}
    std::unique_ptr<store::CallStore> store_;
    bool failed_ = false;
};
