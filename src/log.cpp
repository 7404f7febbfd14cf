#include "log.hpp"

namespace zyk::log {

void emit(Level level, std::string_view target, std::string_view file, std::uint32_t line, std::string_view message) {
    const Listener& l = detail::current;
    if (l.sink) l.sink(l.context, Event{level, target, file, line, message});
}

}  // namespace zyk::log
