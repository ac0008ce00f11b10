#include "media/Dtmf.h"
#include "media/VoiceListener.h"
#include "media/VoiceCodecs.h"
#include "media/WavFile.h"
#include "record/IaxNumbers.h"
#include "tests/support/ToneCapture.h"
#include "tests/support/ToneMeasure.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

const ToneCapture& tones() {
    static const ToneCapture capture;
    return capture;
}

TEST(Voice, EveryCodecGivesItsTonesBackOnTheirOwnChannels) {
    // Floors a little under what each codec gives here, so that a decoder
    // fed the wrong bytes, the wrong packing or the wrong channel fails.
    const std::pair<std::uint32_t, double> floorDb[] = {
        {0x4, 10},  {0x8, 35},   {0x40, 80},  {0x2, 25},  {0x10, 30},
        {0x20, 18}, {0x100, 20}, {0x200, 18}, {0x80, -6},
    };
    const auto plan = scenarios::toneCallPlan();
    for (std::size_t call = 0; call < plan.size(); ++call) {
        const auto& tone = plan[call];
        SCOPED_TRACE(media::codecName(tone.codecMask) + (tone.trunked ? " trunked" : ""));
        media::CallAudio audio;
        std::string error;
        if (!media::makeDecoder(tone.codecMask)) {
            // No decoder: the call says so, and keeps its figures.
            ASSERT_TRUE(tones().render(call, media::Timing::Sent, audio, error)) << error;
            EXPECT_EQ(audio.channels[0].problem, "no decoder for G.723.1");
            EXPECT_FALSE(audio.hasSound());
            EXPECT_EQ(tones().streams(call).at(0).figures.packets, 33u);
            continue;
        }
        ASSERT_TRUE(tones().render(call, media::Timing::Sent, audio, error)) << error;
        EXPECT_NEAR(audio.seconds(), 1.0, 0.05);
        double floor = 0;
        for (const auto& [mask, db] : floorDb) {
            floor = mask == tone.codecMask ? db : floor;
        }
        for (const auto& [channel, hz] :
             {std::pair{0, tone.callerHz}, std::pair{1, tone.calleeHz}}) {
            const ToneMeasure measured = measureTone(audio.samples, channel, hz);
            EXPECT_EQ(measured.strongestHz, hz) << "channel " << channel;
            EXPECT_GT(measured.snrDb, floor) << "channel " << channel;
        }
    }
}

TEST(Voice, LossDuplicatesReorderingAndRefusedPayloadsAreCountedAndMarked) {
    const auto streams = tones().streams(0); // G.711 u-law: 10th lost, 20th twice, 30/31 swapped
    ASSERT_EQ(streams.size(), 2u);
    const auto& caller = streams[0].figures;
    EXPECT_EQ(caller.packets, 50u);
    EXPECT_EQ(caller.expected, 50u);
    EXPECT_EQ(caller.lost, 1);
    EXPECT_EQ(caller.duplicates, 1u);
    EXPECT_EQ(caller.outOfOrder, 1u);
    EXPECT_EQ(
        streams[1].figures.lost + streams[1].figures.duplicates + streams[1].figures.outOfOrder, 0);

    const auto& packets = streams[0].packets;
    const auto statusOf = [&](std::uint32_t timestamp, std::size_t nth = 0) {
        for (const auto& packet : packets) {
            if (packet.timestamp == timestamp && nth-- == 0) {
                return packet;
            }
        }
        return quality::StreamPacket{};
    };
    EXPECT_EQ(statusOf(100 + 10 * 20).status, quality::PacketStatus::LostBefore); // the 11th
    EXPECT_EQ(statusOf(100 + 10 * 20).lostBefore, 1u);
    EXPECT_EQ(statusOf(100 + 19 * 20, 1).status, quality::PacketStatus::Duplicate);
    EXPECT_EQ(statusOf(100 + 29 * 20).status, quality::PacketStatus::OutOfOrder);

    media::CallAudio audio;
    std::string error;
    ASSERT_TRUE(tones().render(0, media::Timing::Sent, audio, error)) << error;
    ASSERT_EQ(audio.marks.size(), 1u);
    EXPECT_EQ(audio.marks[0].kind, media::AudioMark::Kind::Lost);
    EXPECT_EQ(audio.marks[0].channel, 0);
    EXPECT_EQ(audio.marks[0].sample, 9u * 160); // where the 10th frame would have played
    EXPECT_EQ(audio.channels[0].decoded, 49u);  // the duplicate is played once
    // The lost frame is silence on its own channel only.
    EXPECT_EQ(audio.samples[(9 * 160 + 80) * 2], 0);
    EXPECT_NE(audio.samples[(9 * 160 + 80) * 2 + 1], 0);

    ASSERT_TRUE(tones().render(3, media::Timing::Arrived, audio, error)) << error; // GSM
    EXPECT_EQ(audio.channels[0].rejected, 1u);
    EXPECT_EQ(audio.channels[0].decoded, 49u);
    ASSERT_EQ(audio.marks.size(), 1u);
    EXPECT_EQ(audio.marks[0].kind, media::AudioMark::Kind::Rejected);
    EXPECT_EQ(audio.marks[0].sample, 4u * 160);
}

TEST(Voice, ArrivalTimingPlacesFramesWhereTheyWereCaptured) {
    // Three frames sent 20 ms apart; the second is captured 15 ms late.
    media::CallAudio audio;
    std::string error;
    quality::VoiceStream stream;
    stream.figures.frameMs = 20;
    const std::pair<std::uint32_t, double> frames[] = {{0, 0}, {20, 35}, {40, 40}};
    for (const auto& [timestamp, arrival] : frames) {
        quality::StreamPacket packet;
        packet.timestamp = timestamp;
        packet.arrivalMs = arrival;
        packet.codecMask = 0x4;
        packet.payload.fileOffset = 24;
        packet.payload.capturedLength = 42 + 4 + 160;
        packet.payload.offset = 46;
        packet.payload.length = 160;
        stream.packets.push_back(packet);
    }
    // A file holding one packet whose payload is 160 u-law bytes of silence (0xFF).
    const std::string path =
        testing::TempDir() + "one-packet-" + std::to_string(::getpid()) + ".pcap";
    {
        CaptureFileWriter writer(path);
        iaxgen::Bytes packet(42 + 4, 0);
        packet.resize(42 + 4 + 160, 0xFF);
        writer.write(packet, 0);
    }
    auto packets = CapturePackets::open(path, error);
    ASSERT_TRUE(packets) << error;
    ASSERT_TRUE(media::renderCallAudio({stream}, *packets, media::Timing::Arrived, audio, error));
    // The late frame covers 35..55 ms and the next one starts at 40: the later in the
    // sender's order wins, and the audio ends with it at 60 ms.
    EXPECT_EQ(audio.frames(), 60u * 8);
    ASSERT_TRUE(media::renderCallAudio({stream}, *packets, media::Timing::Sent, audio, error));
    EXPECT_EQ(audio.frames(), 60u * 8);

    // A file that changed since it was loaded is said to have changed.
    stream.packets[1].payload.capturedLength = 300;
    EXPECT_FALSE(media::renderCallAudio({stream}, *packets, media::Timing::Sent, audio, error));
    EXPECT_NE(error.find("changed since it was loaded"), std::string::npos) << error;
    std::filesystem::remove(path);
}

// A payload the decoder calls corrupt is refused quietly: libspeex would print
// a line on standard error for each one.
TEST(Voice, CorruptSpeexPayloadsAreRefusedWithoutALineOnStandardError) {
    const std::vector<std::vector<std::uint8_t>> payloads = {
        {0x48, 0, 0, 0, 0, 0},             // mode 9
        {0x60, 0, 0, 0, 0, 0},             // mode 12
        {0x70, 0x12, 0x48, 0, 0, 0, 0, 0}, // an in-band request, then mode 9
        {0x80, 0, 0, 0, 0, 0},             // a wideband layer
        {0xB0, 0, 0, 0, 0, 0},             // a wideband layer of an invalid mode
    };
    const auto decoder = media::makeDecoder(0x200);
    ASSERT_TRUE(decoder);
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    std::FILE* capture = std::tmpfile();
    dup2(fileno(capture), STDERR_FILENO);
    std::vector<bool> decoded;
    for (const auto& payload : payloads) {
        std::vector<std::int16_t> samples;
        decoded.push_back(decoder->decode(payload, samples));
    }
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    EXPECT_EQ(std::ftell(capture), 0L) << "libspeex wrote on standard error";
    std::fclose(capture);
    EXPECT_EQ(decoded, std::vector<bool>(payloads.size(), false));
}

TEST(Voice, WavFilesAreWholeAndNeverReplaceAFile) {
    media::CallAudio audio;
    std::string error;
    ASSERT_TRUE(tones().render(1, media::Timing::Sent, audio, error)) << error;
    const std::string path = testing::TempDir() + "call-" + std::to_string(::getpid()) + ".wav";
    std::filesystem::remove(path);
    ASSERT_TRUE(media::writeWav(path, audio, error)) << error;
    std::ifstream file(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), {});
    ASSERT_EQ(bytes.size(), 44 + audio.samples.size() * 2);
    auto le = [&](std::size_t at, int width) {
        std::uint32_t value = 0;
        for (int i = width - 1; i >= 0; --i) {
            value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
        }
        return value;
    };
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(le(4, 4), bytes.size() - 8); // what follows the RIFF size
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le(16, 4), 16u);       // the fmt chunk's size
    EXPECT_EQ(le(20, 2), 1u);        // PCM
    EXPECT_EQ(le(22, 2), 2u);        // stereo
    EXPECT_EQ(le(24, 4), 8000u);     // 8 kHz
    EXPECT_EQ(le(28, 4), 8000u * 4); // bytes a second: rate x channels x 2 bytes
    EXPECT_EQ(le(32, 2), 4u);        // block align: a stereo frame of 16-bit samples
    EXPECT_EQ(le(34, 2), 16u);       // 16-bit
    EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
    EXPECT_EQ(le(40, 4), bytes.size() - 44);
    EXPECT_EQ(static_cast<std::int16_t>(bytes[44 + 200] | bytes[45 + 200] << 8),
              audio.samples[100]);

    EXPECT_FALSE(media::writeWav(path, audio, error));
    EXPECT_NE(error.find("File exists"), std::string::npos) << error;
    EXPECT_FALSE(media::writeWav("/nonexistent-folder/x.wav", audio, error));
    std::filesystem::remove(path);
    // No hidden file is left behind.
    for (const auto& entry : std::filesystem::directory_iterator(testing::TempDir())) {
        EXPECT_EQ(entry.path().filename().string().rfind(".quorvex-new-", 0), std::string::npos);
    }
}

} // namespace

namespace {

// Digits dialled in band as each call's voice starts: tones of 100 ms every
// 200 ms. Each codec with a decoder carries them but LPC10, a vocoder that
// models speech, not tones.
TEST(Voice, DigitsDialledInBandAreHeardInEveryCodecThatCarriesThem) {
    const ToneCapture dialled(
        [](const scenarios::PacketSink& sink) { scenarios::inBandDtmfCalls(sink, "159#", 1.2); });
    std::vector<std::uint32_t> codecs;
    for (const auto& plan : scenarios::toneCallPlan()) {
        if (media::makeDecoder(plan.codecMask)) {
            codecs.push_back(plan.codecMask);
        }
    }
    ASSERT_EQ(dialled.tracker.calls().size(), codecs.size());
    auto packets = [&] {
        std::string error;
        return CapturePackets::open(dialled.path, error);
    }();
    ASSERT_TRUE(packets);
    for (std::size_t call = 0; call < codecs.size(); ++call) {
        SCOPED_TRACE(media::codecName(codecs[call]));
        const auto streams = dialled.streams(call);
        ASSERT_EQ(streams.size(), 2u);
        media::StreamListening heard[2];
        std::string error;
        for (int side = 0; side < 2; ++side) {
            ASSERT_TRUE(media::listenToStream(streams[side], *packets, heard[side], error))
                << error;
        }
        // The callee's tone is no digit, and is active throughout (but for
        // the vocoder's first frames).
        EXPECT_TRUE(heard[1].tones.empty());
        EXPECT_GT(*heard[1].activity(), 0.9);
        std::string digits;
        for (const auto& tone : heard[0].tones) {
            digits.push_back(tone.digit);
            const auto k = static_cast<double>(digits.size() - 1);
            // Placed within a frame of where it began, and as long as it was.
            const double sinceVoice =
                (static_cast<double>(tone.captured.seconds - streams[0].figures.start.seconds) +
                 (static_cast<double>(tone.captured.nanoseconds) -
                  streams[0].figures.start.nanoseconds) /
                     1e9) *
                1000;
            EXPECT_NEAR(sinceVoice, 200 * k, 25) << tone.digit;
            EXPECT_NEAR(*tone.durationMs, 100, 30) << tone.digit;
            EXPECT_EQ(tone.source, calls::DtmfEvent::Source::InBand);
            EXPECT_EQ(tone.call, call);
        }
        EXPECT_EQ(digits, codecs[call] == iax::Lpc10 ? "" : "159#");
        // Four tones of 100 ms in 1.2 s of silence: a third active, and up
        // to half where the codec's state rings on past -50 dBov.
        EXPECT_GE(*heard[0].activity(), 4 * 100.0 / 1200 - 0.02);
        EXPECT_LE(*heard[0].activity(), 0.5);
    }
}

} // namespace

// Silence fed for lost frames is mostly passed over unheard: the digits, where
// they were heard and the position after must be those of silence fed as
// samples, at every length (a piece, a piece and one, a whole second).
TEST(Voice, SilenceForLostFramesIsHeardAsSilenceFedAsSamples) {
    for (const std::size_t gap : {std::size_t{0}, std::size_t{100}, std::size_t{160},
                                  std::size_t{161}, std::size_t{8000}}) {
        SCOPED_TRACE(gap);
        media::DtmfReceiver fed, skipped;
        for (const char digit : std::string("7*")) {
            const auto tone = media::DtmfGenerator(std::string(1, digit), 80, 40).next(960);
            for (std::size_t at = 0; at < tone.size(); at += 160) {
                const std::span<const std::int16_t> piece(tone.data() + at, 160);
                fed.feed(piece);
                skipped.feed(piece);
            }
            for (std::size_t left = gap; left > 0;) {
                const std::vector<std::int16_t> zeros(std::min<std::size_t>(left, 160), 0);
                fed.feed(zeros);
                left -= zeros.size();
            }
            skipped.feedSilence(gap);
        }
        EXPECT_EQ(fed.position(), skipped.position());
        ASSERT_EQ(fed.tones().size(), 2u);
        ASSERT_EQ(skipped.tones().size(), 2u);
        for (std::size_t t = 0; t < 2; ++t) {
            EXPECT_EQ(fed.tones()[t].digit, skipped.tones()[t].digit);
            EXPECT_EQ(fed.tones()[t].startSample, skipped.tones()[t].startSample);
            EXPECT_EQ(fed.tones()[t].endSample, skipped.tones()[t].endSample);
        }
    }
}
