#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

// A running quorvex-capture, the program that opens the interface with the
// capture rights and streams its packets as pcap on a pipe: the one process
// of a live run that may hold capabilities. Owned by the live worker; it is
// stopped and reaped on every way out.
class CaptureHelperProcess final {
public:
    struct Request {
        std::string helperPath; // empty: quorvex-capture beside the running program
        std::string interfaceName;
        std::string captureFilter;
        int snapshotLength = 0;
        bool promiscuous = true;
        int readTimeoutMs = 100;
    };
    // Nothing, with `error` set, where the helper cannot be started.
    static std::unique_ptr<CaptureHelperProcess> start(const Request& request, std::string& error);
    ~CaptureHelperProcess();
    CaptureHelperProcess(const CaptureHelperProcess&) = delete;
    CaptureHelperProcess& operator=(const CaptureHelperProcess&) = delete;

    // The pcap stream; read it with the capture library. Once a reader owns
    // it (pcap_fopen_offline), say so with streamTakenOver(): that reader
    // closes it then, and must be closed before this object goes.
    [[nodiscard]] std::FILE* stream() const { return stream_; }
    void streamTakenOver() { streamOwned_ = false; }
    [[nodiscard]] int streamDescriptor() const;
    // True where bytes of the stream are already read into its buffer, so
    // that waiting on the descriptor would wait for nothing.
    [[nodiscard]] bool streamHasBufferedBytes() const;

    // Asks the helper to end: it sees its standard input close within one
    // read time-out, writes out what it has and ends.
    void stop();

    struct Ending {
        bool cleanly = false;  // exit status 0
        int exitStatus = -1;   // -1: ended by a signal
        std::string errorText; // what it said on standard error, the statistics aside
        bool haveStatistics = false;
        std::uint64_t received = 0, dropped = 0, droppedByInterface = 0;
    };
    // Waits for the helper to end (stopping it first) and says how it ended.
    Ending wait();

private:
    CaptureHelperProcess(pid_t pid, int input, std::FILE* stream, int errors);

    pid_t pid_;
    int input_;         // the helper's standard input; closing it stops the helper
    std::FILE* stream_; // its standard output
    bool streamOwned_ = true;
    int errors_; // its standard error
    std::optional<Ending> ending_;
};
