#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct dtmf_rx_state_s;
struct dtmf_tx_state_s;

// DTMF tones in 8 kHz audio, through spandsp: a receiver that finds the
// digits a stream carries in band, and a generator for the test calls.
namespace media {

// spandsp's detector costs a few nanoseconds a sample; most audio holds no
// DTMF, so each piece fed is first looked at cheaply (is it loud enough, and
// do one low-group and one high-group tone, which every digit has, carry
// much of its power?) and handed to the detector only where it might be a
// digit, with the piece before it and two after it. Silence fed for lost
// frames is handed over only while it may end a tone.
class DtmfReceiver final {
public:
    // A digit heard, from its first sample to the one after its last (0
    // while it still sounds).
    struct Tone {
        char digit;
        std::uint64_t startSample;
        std::uint64_t endSample;
    };

    DtmfReceiver();
    ~DtmfReceiver();
    DtmfReceiver(const DtmfReceiver&) = delete;
    DtmfReceiver& operator=(const DtmfReceiver&) = delete;

    // The next piece of audio (a payload's samples, say).
    void feed(std::span<const std::int16_t> samples);
    // Where nothing was heard (a lost frame): silence, which ends a tone.
    void feedSilence(std::size_t samples);
    // The samples taken so far.
    [[nodiscard]] std::uint64_t position() const { return position_; }
    // The digits heard so far, in order; a tone still sounding at the end
    // has an endSample of 0.
    [[nodiscard]] const std::vector<Tone>& tones() const { return tones_; }

private:
    static void report(void* self, int code, int level, int delay);
    // Hands samples that start at `start` to the detector.
    void detect(std::span<const std::int16_t> samples, std::uint64_t start);

    dtmf_rx_state_s* state_;
    std::uint64_t position_ = 0;         // samples taken
    std::uint64_t blockEnd_ = 0;         // one past the last sample handed to the detector
    int hangover_ = 0;                   // pieces still to hand over after a likely one
    bool detecting_ = false;             // the last piece was handed over
    std::vector<std::int16_t> previous_; // the last piece passed over
    std::vector<Tone> tones_;
};

// The digits as tones of `onMs` with `offMs` of silence after each, then
// silence for as long as asked.
class DtmfGenerator final {
public:
    explicit DtmfGenerator(const std::string& digits, int onMs = 100, int offMs = 100);
    ~DtmfGenerator();
    DtmfGenerator(const DtmfGenerator&) = delete;
    DtmfGenerator& operator=(const DtmfGenerator&) = delete;
    [[nodiscard]] std::vector<std::int16_t> next(std::size_t count);

private:
    dtmf_tx_state_s* state_;
};

} // namespace media
