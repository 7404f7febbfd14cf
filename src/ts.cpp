#include "ts.hpp"

#include <ctime>
#include <limits>

extern "C" std::int64_t now(void) {
    timespec ts{};
    if (clock_gettime(CLOCK_REALTIME, &ts) != 0) return 0;
    constexpr std::int64_t giga = 1'000'000'000;
    const std::int64_t seconds = ts.tv_sec;
    std::int64_t scaled;
    if (__builtin_mul_overflow(seconds, giga, &scaled)) {
        return seconds < 0 ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
    }
    std::int64_t total;
    if (__builtin_add_overflow(scaled, std::int64_t(ts.tv_nsec), &total)) return std::numeric_limits<std::int64_t>::max();
    return total;
}
