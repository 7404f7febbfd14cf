#include "bridges.hpp"

#include <nanobind/nanobind.h>

#include <string>

#include "diag.hpp"

namespace zp {
namespace {

namespace nb = nanobind;

int python_level(zyk::log::Level level) {
    switch (level) {
        case zyk::log::Level::Error: return 40;
        case zyk::log::Level::Warn: return 30;
        case zyk::log::Level::Info: return 20;
        case zyk::log::Level::Debug: return 10;
        case zyk::log::Level::Trace: return 5;
        case zyk::log::Level::Off: break;
    }
    return 0;
}

std::string logger_name(std::string_view target) {
    std::string name;
    name.reserve(target.size());
    for (std::size_t i = 0; i < target.size(); ++i) {
        if (target.compare(i, 2, "::") == 0) {
            name.push_back('.');
            ++i;
        } else {
            name.push_back(target[i]);
        }
    }
    return name;
}

nb::object get_logger(std::string_view target) {
    nb::module_ logging = nb::module_::import_("logging");
    const std::string name = logger_name(target);
    return logging.attr("getLogger")(nb::str(name.data(), name.size()));
}

// The most verbose level any of our loggers passes on.
zyk::log::Level enabled_level() {
    try {
        using L = zyk::log::Level;
        L best = L::Off;
        for (std::string_view target : {zyk::log::target_pdb, zyk::log::target_mmcif}) {
            nb::object logger = get_logger(target);
            for (L level : {L::Trace, L::Debug, L::Info, L::Warn, L::Error}) {
                if (level <= best) break;
                if (nb::cast<bool>(logger.attr("isEnabledFor")(python_level(level)))) {
                    best = level;
                    break;
                }
            }
        }
        return best;
    } catch (nb::python_error&) {
        return zyk::log::Level::Off;  // logging unusable: nobody listens
    }
}

void forward(void*, const zyk::log::Event& e) {
    try {
        nb::object logger = get_logger(e.target);
        const int level = python_level(e.level);
        if (!nb::cast<bool>(logger.attr("isEnabledFor")(level))) return;
        nb::object record = logger.attr("makeRecord")(logger.attr("name"), level, nb::str(e.file.data(), e.file.size()),
                                                     e.line, nb::str(e.message.data(), e.message.size()), nb::tuple(),
                                                     nb::none());
        logger.attr("handle")(record);
    } catch (nb::python_error& err) {
        err.discard_as_unraisable("libzyk log bridge");
    }
}

class PythonStreams final : public zyk::diag::Sink {
public:
    void write_stdout(std::string_view text) override { write("stdout", stdout, text); }
    void write_stderr(std::string_view text) override { write("stderr", stderr, text); }

private:
    static void write(const char* stream, FILE* fallback, std::string_view text) {
        PyObject* file = PySys_GetObject(stream);  // borrowed
        if (!file || file == Py_None) {
            std::fwrite(text.data(), 1, text.size(), fallback);
            return;
        }
        PyObject* s = PyUnicode_DecodeUTF8(text.data(), Py_ssize_t(text.size()), "replace");
        if (!s || PyFile_WriteObject(s, file, Py_PRINT_RAW) != 0) PyErr_Clear();
        Py_XDECREF(s);
    }
};

PythonStreams python_streams;

}  // namespace

LogBridge::LogBridge() : scope_(zyk::log::Listener{enabled_level(), &forward, nullptr}) {}

void install_bridges() {
    zyk::diag::set_sink(&python_streams);
    nb::module_ logging = nb::module_::import_("logging");
    logging.attr("getLogger")("libzyk").attr("addHandler")(logging.attr("NullHandler")());
}

}  // namespace zp
