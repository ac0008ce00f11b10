#include "dissect/LocalClock.h"

#include <ctime>

std::uint32_t localSecondsOfDay() {
    // Per thread: two workers may decode at once, and localtime_r has no
    // shared result buffer.
    thread_local std::time_t cachedSecond = -1;
    thread_local std::uint32_t cachedValue = 0;
    const std::time_t now = std::time(nullptr);
    if (now != cachedSecond) {
        std::tm local{};
        localtime_r(&now, &local);
        cachedValue =
            static_cast<std::uint32_t>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec);
        cachedSecond = now;
    }
    return cachedValue;
}
