// Wall-clock time for callers outside Python (exported with C linkage).
#pragma once

#include <cstdint>

extern "C" {
// Nanoseconds since 1970-01-01T00:00:00 UTC: whole seconds * 1e9 plus the nanoseconds of the
// current second. Saturates instead of wrapping far from the epoch; negative before it.
__attribute__((visibility("default"))) std::int64_t now(void);
}
