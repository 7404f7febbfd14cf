#include "diag.hpp"

#include <atomic>
#include <cstdio>

namespace zyk::diag {
namespace {
std::atomic<Sink*> installed{nullptr};
}

void set_sink(Sink* sink) { installed.store(sink, std::memory_order_release); }

void out(std::string_view text) {
    if (Sink* s = installed.load(std::memory_order_acquire)) return s->write_stdout(text);
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void err(std::string_view text) {
    if (Sink* s = installed.load(std::memory_order_acquire)) return s->write_stderr(text);
    std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace zyk::diag
