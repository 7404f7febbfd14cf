// Structured log events (level, target, source location, one message) for the readers.
//
// Nobody listens by default. A listener is installed for the current thread with a `Scope`
// that names the most verbose level it wants; `ZYK_LOG` compares against that level first and
// only then builds the message, so a disabled event costs one thread-local load and a branch.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zyk::log {

enum class Level : std::uint8_t { Off = 0, Error = 1, Warn = 2, Info = 3, Debug = 4, Trace = 5 };

inline constexpr std::string_view target_pdb = "libzyk::convert::pdb";
inline constexpr std::string_view target_mmcif = "libzyk::convert::mmcif";

struct Event {
    Level level;
    std::string_view target;
    std::string_view file;
    std::uint32_t line;
    std::string_view message;
};

using Sink = void (*)(void* context, const Event& event);

struct Listener {
    Level max_level = Level::Off;
    Sink sink = nullptr;
    void* context = nullptr;
};

namespace detail {
inline thread_local Listener current;
}

inline bool enabled(Level level) { return level <= detail::current.max_level && level != Level::Off; }

void emit(Level level, std::string_view target, std::string_view file, std::uint32_t line, std::string_view message);

// Installs a listener for the current thread for the lifetime of the scope.
class Scope {
public:
    explicit Scope(Listener listener) : saved_(detail::current) { detail::current = listener; }
    ~Scope() { detail::current = saved_; }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    Listener saved_;
};

}  // namespace zyk::log

// The message expression is evaluated only when the level is enabled.
#define ZYK_LOG(level, target, message_expr)                                                         \
    do {                                                                                             \
        if (::zyk::log::enabled(level)) {                                                            \
            ::zyk::log::emit(level, target, __FILE__, static_cast<std::uint32_t>(__LINE__), message_expr); \
        }                                                                                            \
    } while (0)

#define ZYK_WARN(target, message_expr) ZYK_LOG(::zyk::log::Level::Warn, target, message_expr)
#define ZYK_DEBUG(target, message_expr) ZYK_LOG(::zyk::log::Level::Debug, target, message_expr)
