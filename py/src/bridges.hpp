// Routes the core's log events to Python's `logging` and its diagnostics to sys.stdout /
// sys.stderr.
#pragma once

#include "log.hpp"

namespace zp {

// For the lifetime of the object, log events of the current thread go to the Python loggers
// named after their target ("libzyk::convert::pdb" -> "libzyk.convert.pdb"), and only
// levels some logger is enabled for are produced at all.
class LogBridge {
public:
    LogBridge();

private:
    zyk::log::Scope scope_;
};

// Installs the diagnostics sink and the NullHandler of the "libzyk" logger (module init).
void install_bridges();

}  // namespace zp
