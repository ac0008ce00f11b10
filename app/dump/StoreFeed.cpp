#include "app/dump/StoreFeed.h"

#include "app/CallWriter.h"
#include "app/KvIAXCapture.h"
#include "app/Secrets.h"
#include "calls/CorrelationId.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string hostName() {
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? name : "";
}

} // namespace

std::unique_ptr<StoreFeed> StoreFeed::start(const DumpArguments& args,
                                            const std::string& captureName, std::string& error) {
    error.clear();
    if (!args.storeTarget) {
        return nullptr;
    }
    auto target = store::parseClickHouseTarget(*args.storeTarget, error);
    if (!target) {
        return nullptr;
    }
    store::CallStore::Options options{.target = *target,
                                      .user = environment("QUORVEX_STORE_USER"),
                                      .password = environment("QUORVEX_STORE_PASSWORD"),
                                      .capture = captureName,
                                      .node = args.hepNode.empty() ? hostName() : args.hepNode,
                                      .spoolFolder = std::nullopt};
    if (args.storePasswordFile) {
        std::vector<std::string> lines;
        if (!secrets::readSecretsFile(*args.storePasswordFile, lines, error)) {
            error = "store password: " + error;
            return nullptr;
        }
        options.password = lines.empty() ? "" : lines.front();
    }
    if (args.live) {
        options.spoolFolder = store::defaultSpoolFolder(target->database);
    }
    auto callStore = store::CallStore::open(std::move(options), error);
    if (!callStore) {
        error = "store: " + error;
        return nullptr;
    }
    return std::unique_ptr<StoreFeed>(new StoreFeed(std::move(callStore)));
}

void StoreFeed::addCall(const KvIAXCapture& capture, std::size_t index,
                        const std::vector<quality::StreamFigures>& streams,
                        const std::vector<quality::Problem>& problems) {
    const calls::Call& call = capture.callTracker().calls()[index];
    const std::string key = calls::correlationId(call);
    std::string record;
    callwriter::appendCall(record, call, capture.callVerdict(index), recordwriter::Format::Jsonl);
    store_->add("calls", key, record);
    for (const quality::StreamFigures& stream : streams) {
        if (stream.call == index) {
            record.clear();
            callwriter::appendStream(record, stream, recordwriter::Format::Jsonl);
            store_->add("streams", key, record);
        }
    }
    for (const quality::Problem& problem : problems) {
        if (problem.call == index) {
            record.clear();
            callwriter::appendProblem(record, problem, capture.frameOf(problem.frame),
                                      recordwriter::Format::Jsonl);
            store_->add("problems", key, record);
        }
    }
}

void StoreFeed::addCallless(const KvIAXCapture& capture,
                            const std::vector<quality::Problem>& problems) {
    std::string record;
    for (const quality::Problem& problem : problems) {
        if (problem.call == quality::Problem::noCall) {
            record.clear();
            callwriter::appendProblem(record, problem, capture.frameOf(problem.frame),
                                      recordwriter::Format::Jsonl);
            store_->add("problems", "", record);
        }
    }
}

bool StoreFeed::flush() {
    std::string error;
    if (!store_->flush(error)) {
        // A live run says so once, not at every call while the server is away.
        if (!failed_) {
            std::fprintf(stderr, "quorvex-dump: store: %s\n", error.c_str());
        }
        failed_ = true;
        return false;
    }
    failed_ = false;
    return true;
}

bool StoreFeed::finish(bool live) {
    bool stored = flush();
    std::string error;
    if (stored && !live && !store_->settle(error)) {
        std::fprintf(stderr, "quorvex-dump: store: %s\n", error.c_str());
        stored = false;
    }
    std::fprintf(stderr, "Store: %llu rows into %s, %llu dropped\n",
                 static_cast<unsigned long long>(store_->rowsInserted()),
                 store_->target().text().c_str(),
                 static_cast<unsigned long long>(store_->rowsDropped()));
    if (live && store_->spooledBytes() > 0) {
        std::fprintf(stderr, "Store: %llu bytes of rows wait in %s for the next run\n",
                     static_cast<unsigned long long>(store_->spooledBytes()),
                     store_->spoolFolder().c_str());
    }
    // A live run's spool keeps what the server missed; a file's rows are lost.
    return (live || stored) && store_->rowsDropped() == 0;
}
