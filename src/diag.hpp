// Plain-text diagnostics of perception ("WARNING: ..." lines on standard error, one bare count
// on standard output). They go through a sink so that a host (the Python module) can route
// them to its own streams; without a sink they go to the C streams.
#pragma once

#include <string_view>

namespace zyk::diag {

class Sink {
public:
    virtual ~Sink() = default;
    virtual void write_stdout(std::string_view text) = 0;
    virtual void write_stderr(std::string_view text) = 0;
};

// Installs the process-wide sink (nullptr restores the C streams). The sink must outlive
// every later write.
void set_sink(Sink* sink);

// Write `text` as given (callers include the line end).
void out(std::string_view text);
void err(std::string_view text);

}  // namespace zyk::diag
