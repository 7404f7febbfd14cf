#include "args.hpp"

namespace zp {

void fail_conversion(PyObject* type, std::string message) { throw ConversionFailure{type, std::move(message)}; }

void fail_from_python_error() {
    PyObject* exc = PyErr_GetRaisedException();
    if (!exc) fail_conversion(PyExc_SystemError, "conversion failed without an exception");
    nb::object held = nb::steal(exc);
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(exc));
    std::string text;
    if (nb::object s = nb::steal(PyObject_Str(exc))) {
        Py_ssize_t len = 0;
        if (const char* p = PyUnicode_AsUTF8AndSize(s.ptr(), &len)) text.assign(p, std::size_t(len));
    }
    PyErr_Clear();
    // Keep the class alive beyond `held`: exception classes of the builtins are immortal, a
    // user-defined one is kept by its module; map anything exotic onto its builtin base.
    if (PyErr_GivenExceptionMatches(type, PyExc_TypeError)) type = PyExc_TypeError;
    else if (PyErr_GivenExceptionMatches(type, PyExc_OverflowError)) type = PyExc_OverflowError;
    else if (PyErr_GivenExceptionMatches(type, PyExc_UnicodeError)) type = PyExc_UnicodeError;
    else if (PyErr_GivenExceptionMatches(type, PyExc_ValueError)) type = PyExc_ValueError;
    else if (PyErr_GivenExceptionMatches(type, PyExc_MemoryError)) type = PyExc_MemoryError;
    else type = PyExc_RuntimeError;
    fail_conversion(type, std::move(text));
}

std::string py_type_name(nb::handle h) { return Py_TYPE(h.ptr())->tp_name; }

void fail_type(nb::handle h, std::string_view target) {
    fail_conversion(PyExc_TypeError, "'" + py_type_name(h) + "' object cannot be converted to '" + std::string(target) + "'");
}

std::string_view to_str(nb::handle h) {
    if (!PyUnicode_Check(h.ptr())) fail_type(h, "PyString");
    Py_ssize_t len = 0;
    const char* p = PyUnicode_AsUTF8AndSize(h.ptr(), &len);
    if (!p) fail_from_python_error();
    return {p, std::size_t(len)};
}

double to_f64(nb::handle h) {
    if (PyFloat_CheckExact(h.ptr())) return PyFloat_AS_DOUBLE(h.ptr());
    const double v = PyFloat_AsDouble(h.ptr());
    if (v == -1.0 && PyErr_Occurred()) fail_from_python_error();
    return v;
}

long long to_i64(nb::handle h) {
    nb::object index = nb::steal(PyNumber_Index(h.ptr()));
    if (!index) fail_from_python_error();
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (overflow != 0) fail_conversion(PyExc_OverflowError, "out of range integral type conversion attempted");
    if (v == -1 && PyErr_Occurred()) fail_from_python_error();
    return v;
}

unsigned long long to_u64(nb::handle h) {
    nb::object index = nb::steal(PyNumber_Index(h.ptr()));
    if (!index) fail_from_python_error();
    const unsigned long long v = PyLong_AsUnsignedLongLong(index.ptr());
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        PyErr_Clear();
        fail_conversion(PyExc_OverflowError, "out of range integral type conversion attempted");
    }
    return v;
}

void raise(PyObject* type, const std::string& message) {
    PyErr_SetString(type, message.c_str());
    throw nb::python_error();
}

void parse_call(const char* function, nb::args args, nb::kwargs kwargs, const char* const* names, std::size_t count,
                std::size_t max_positional, std::size_t required, nb::handle* values) {
    const std::string fn = std::string(function) + "()";
    const std::size_t given = args.size();
    if (given > max_positional) {
        raise(PyExc_TypeError, fn + " takes " + std::to_string(max_positional) + " positional argument" +
                                   (max_positional == 1 ? "" : "s") + " but " + std::to_string(given) +
                                   (given == 1 ? " was" : " were") + " given");
    }
    for (std::size_t i = 0; i < count; ++i) values[i] = nb::handle();
    for (std::size_t i = 0; i < given; ++i) values[i] = args[i];
    for (auto [key, value] : kwargs) {
        if (!PyUnicode_Check(key.ptr())) raise(PyExc_TypeError, fn + " keywords must be strings");
        std::size_t i = 0;
        while (i < count && PyUnicode_CompareWithASCIIString(key.ptr(), names[i]) != 0) ++i;
        if (i == count) {
            // %U formats any str, lone surrogates included.
            PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'", fn.c_str(), key.ptr());
            throw nb::python_error();
        }
        if (values[i].ptr()) raise(PyExc_TypeError, fn + " got multiple values for argument '" + names[i] + "'");
        values[i] = value;
    }
    std::vector<std::string> missing;
    for (std::size_t i = 0; i < required; ++i) {
        if (!values[i].ptr()) missing.push_back("'" + std::string(names[i]) + "'");
    }
    if (!missing.empty()) {
        std::string list;
        for (std::size_t i = 0; i < missing.size(); ++i) {
            if (i > 0) list += missing.size() == 2 ? " and " : (i + 1 == missing.size() ? ", and " : ", ");
            list += missing[i];
        }
        raise(PyExc_TypeError, fn + " missing " + std::to_string(missing.size()) + " required positional argument" +
                                   (missing.size() == 1 ? "" : "s") + ": " + list);
    }
}

}  // namespace zp
