#include "media/player/CallPlayer.h"
#include "tests/support/SoundServer.h"
#include "tests/support/ToneCapture.h"
#include "tests/support/ToneMeasure.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

std::shared_ptr<media::CallAudio> toneCallAudio() {
    static const ToneCapture capture;
    auto audio = std::make_shared<media::CallAudio>();
    std::string error;
    EXPECT_TRUE(capture.render(1, media::Timing::Sent, *audio, error)) << error; // G.711 a-law
    return audio;
}

// Runs the event loop until `done` or `ms` have passed; false on time-out.
template <class Done> bool runUntil(Done done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

TEST(Player, PlaysTheWholeCallOnItsChannelsAndStops) {
    SoundServer server;
    if (!server.start()) {
        GTEST_SKIP() << "no sound server could be started: " << server.why();
    }
    // What reaches the null sink is recorded, as a listener would hear it.
    QTemporaryDir folder;
    const QString recording = folder.filePath("heard.raw");
    QProcess recorder;
    const QString parec = QStandardPaths::findExecutable("parec");
    if (!parec.isEmpty()) {
        recorder.start(parec,
                       {"--server", server.server(), "-d", SoundServer::monitor(), "--rate=8000",
                        "--channels=2", "--format=s16le", "--raw", "--latency-msec=20", recording});
        recorder.waitForStarted();
        QThread::msleep(300); // the recorder connects before playback starts
    }
    const auto audio = toneCallAudio();
    CallPlayer player;
    player.setAudio(audio);
    bool finished = false;
    QObject::connect(&player, &CallPlayer::finished, [&] { finished = true; });
    ASSERT_TRUE(player.play()) << player.error().toStdString();
    EXPECT_TRUE(player.isPlaying());
    ASSERT_TRUE(runUntil([&] { return finished; }, 10000)) << "the player never finished";
    EXPECT_FALSE(player.isPlaying());
    EXPECT_EQ(player.bytesDelivered(), static_cast<qint64>(audio->frames() * 4));
    EXPECT_EQ(player.position(), audio->frames());
    if (parec.isEmpty()) {
        return;
    }
    QThread::msleep(200);
    recorder.terminate();
    recorder.waitForFinished(3000);
    QFile file(recording);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    std::vector<std::int16_t> heard(static_cast<std::size_t>(bytes.size()) / 2);
    std::memcpy(heard.data(), bytes.data(), heard.size() * 2);
    // Only what was played, without the silence around it.
    auto loud = [&](std::size_t frame) {
        return std::abs(heard[frame * 2]) > 1000 || std::abs(heard[frame * 2 + 1]) > 1000;
    };
    std::size_t first = 0, last = heard.size() / 2;
    while (first < last && !loud(first)) {
        ++first;
    }
    while (last > first && !loud(last - 1)) {
        --last;
    }
    const std::vector<std::int16_t> played(heard.begin() + static_cast<long>(first * 2),
                                           heard.begin() + static_cast<long>(last * 2));
    EXPECT_NEAR(static_cast<double>(played.size() / 2), static_cast<double>(audio->frames()), 800);
    EXPECT_EQ(measureTone(played, 0, 1000).strongestHz, 1000);
    EXPECT_EQ(measureTone(played, 1, 440).strongestHz, 440);
    EXPECT_GT(measureTone(played, 0, 1000).snrDb, 20);
}

TEST(Player, PauseSeekAndMuteTakeEffect) {
    SoundServer server;
    if (!server.start()) {
        GTEST_SKIP() << "no sound server could be started: " << server.why();
    }
    const auto audio = toneCallAudio();
    CallPlayer player;
    player.setAudio(audio);
    player.setMuted(1, true);
    EXPECT_TRUE(player.isMuted(1));
    ASSERT_TRUE(player.play()) << player.error().toStdString();
    ASSERT_TRUE(runUntil([&] { return player.position() > 800; }, 5000));
    player.pause();
    EXPECT_FALSE(player.isPlaying());
    const std::uint64_t paused = player.position();
    runUntil([] { return false; }, 200);
    EXPECT_EQ(player.position(), paused);
    player.seek(audio->frames() - 1600); // the last 200 ms
    EXPECT_EQ(player.position(), audio->frames() - 1600);
    bool finished = false;
    QObject::connect(&player, &CallPlayer::finished, [&] { finished = true; });
    ASSERT_TRUE(player.play());
    ASSERT_TRUE(runUntil([&] { return finished; }, 5000));
    EXPECT_EQ(player.bytesDelivered(), 1600 * 4);
}

TEST(Player, WithoutASoundOutputSaysSoAndNeverWaits) {
    // No server at this socket, and none may be started for the test.
    QTemporaryDir folder;
    qputenv("PULSE_SERVER", ("unix:" + folder.filePath("none")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", folder.path().toLocal8Bit());
    QFile config(folder.filePath("client.conf"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("autospawn = no\n");
    config.close();
    qputenv("PULSE_CLIENTCONFIG", config.fileName().toLocal8Bit());
    CallPlayer player;
    player.setAudio(toneCallAudio());
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(player.play());
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(player.error(), CallPlayer::noDeviceText());
    EXPECT_FALSE(player.isPlaying());
}

} // namespace
