// Time from Play to sound: a PulseAudio server of the bench's own with a
// null sink (as the playback test starts it), two seconds of tone, and the
// time from play() until the device has taken the first samples and until
// it says it has played some, over several runs.
//   build/bench/player_bench [RUNS]
#include "media/player/CallPlayer.h"
#include "tests/support/SoundServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

namespace {

void waitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 10;
    SoundServer server;
    if (!server.start()) {
        std::fprintf(stderr, "player_bench: %s\n", server.why().c_str());
        return 1;
    }
    auto audio = std::make_shared<media::CallAudio>();
    for (int i = 0; i < 16000; ++i) {
        const auto sample =
            static_cast<std::int16_t>(8000 * std::sin(2 * std::numbers::pi * 1000 * i / 8000.0));
        audio->samples.push_back(sample);
        audio->samples.push_back(sample);
    }
    std::vector<double> taken, played;
    for (int run = 0; run < runs; ++run) {
        CallPlayer player;
        player.setAudio(audio);
        QElapsedTimer clock;
        clock.start();
        if (!player.play()) {
            std::fprintf(stderr, "player_bench: %s\n", player.error().toStdString().c_str());
            return 1;
        }
        waitUntil([&] { return player.bytesDelivered() > 0; }, 2000);
        taken.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        waitUntil([&] { return player.position() > 0; }, 2000);
        played.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        player.stop();
    }
    std::sort(taken.begin(), taken.end());
    std::sort(played.begin(), played.end());
    std::printf("Play to the first samples taken by the device: median %.1f ms, worst %.1f ms\n",
                taken[taken.size() / 2], taken.back());
    std::printf("Play to the device reporting them played:      median %.1f ms, worst %.1f ms\n",
                played[played.size() / 2], played.back());
    return 0;
}
