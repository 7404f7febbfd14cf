// Converting Python values into core values, with the library's argument-error rules: a
// TypeError becomes "argument 'name': reason"; other failures pass through unchanged.
#pragma once

#include <nanobind/nanobind.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace zp {

namespace nb = nanobind;

// A conversion failure: the Python exception class and its message. Thrown by the item
// converters below and turned into a Python exception by `argument` (or by the dict reader,
// which adds its own context).
struct ConversionFailure {
    PyObject* type;
    std::string message;
};

[[noreturn]] void fail_conversion(PyObject* type, std::string message);
// Moves the pending Python exception into a ConversionFailure.
[[noreturn]] void fail_from_python_error();

std::string py_type_name(nb::handle h);
// "'int' object cannot be converted to 'Sequence'"
[[noreturn]] void fail_type(nb::handle h, std::string_view target);

std::string_view to_str(nb::handle h);
double to_f64(nb::handle h);
inline float to_f32(nb::handle h) { return static_cast<float>(to_f64(h)); }
long long to_i64(nb::handle h);
unsigned long long to_u64(nb::handle h);

template <class T>
T to_int(nb::handle h) {
    if constexpr (std::is_signed_v<T>) {
        const long long v = to_i64(h);
        if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max()) {
            fail_conversion(PyExc_OverflowError, "out of range integral type conversion attempted");
        }
        return static_cast<T>(v);
    } else {
        const unsigned long long v = to_u64(h);
        if (v > std::numeric_limits<T>::max()) {
            fail_conversion(PyExc_OverflowError, "out of range integral type conversion attempted");
        }
        return static_cast<T>(v);
    }
}

// Positions: a sequence of sequences of exactly three numbers, or an (n, 3) float32/float64
// array read directly from its buffer.
std::vector<std::array<float, 3>> to_positions(nb::handle h);

// Calls `each(item)` for every item of a sequence (a str is refused) or, when `allow_set`,
// of a set or frozenset, in iteration order.
template <class F>
void for_each_item(nb::handle seq, F&& each, bool allow_set = false);

template <class T, class F>
std::vector<T> to_vector(nb::handle seq, F&& convert, bool allow_set = false) {
    std::vector<T> out;
    Py_ssize_t n = PyObject_Length(seq.ptr());
    if (n < 0) {
        PyErr_Clear();
        n = 0;
    }
    for_each_item(seq, [&](nb::handle item) { out.push_back(convert(item)); }, allow_set);
    return out;
}

// Runs a conversion of the argument `name`, raising its failure as the Python exception.
template <class F>
auto argument(const char* name, F&& convert) -> decltype(convert()) {
    try {
        return convert();
    } catch (const ConversionFailure& f) {
        if (PyErr_GivenExceptionMatches(f.type, PyExc_TypeError)) {
            PyErr_SetString(PyExc_TypeError, ("argument '" + std::string(name) + "': " + f.message).c_str());
        } else {
            PyErr_SetString(f.type, f.message.c_str());
        }
        throw nb::python_error();
    }
}

// Sets a Python exception and throws the matching C++ wrapper.
[[noreturn]] void raise(PyObject* type, const std::string& message);
[[noreturn]] inline void raise_value_error(const std::string& message) { raise(PyExc_ValueError, message); }

// Argument parsing with CPython's wording for call errors ("TRC() missing 1 required
// positional argument: 'geometry'"). `values` receives one borrowed handle per name, or a
// null handle when the argument was not given.
void parse_call(const char* function, nb::args args, nb::kwargs kwargs, const char* const* names, std::size_t count,
                std::size_t max_positional, std::size_t required, nb::handle* values);

// ---- implementation of the template above ----

template <class F>
void for_each_item(nb::handle seq, F&& each, bool allow_set) {
    PyObject* o = seq.ptr();
    if (PyUnicode_Check(o)) fail_conversion(PyExc_TypeError, "Can't extract `str` to `Vec`");
    if (PyList_Check(o) || PyTuple_Check(o)) {
        // Index each time: a converter may run Python code that changes a list.
        for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(o); ++i) {
            nb::object item = nb::borrow(PySequence_Fast_GET_ITEM(o, i));
            each(nb::handle(item));
        }
        return;
    }
    if (allow_set && PyAnySet_Check(o)) {
        nb::object it = nb::steal(PyObject_GetIter(o));
        if (!it) fail_from_python_error();
        while (PyObject* raw = PyIter_Next(it.ptr())) {
            nb::object item = nb::steal(raw);
            each(nb::handle(item));
        }
        if (PyErr_Occurred()) fail_from_python_error();
        return;
    }
    if (!PySequence_Check(o)) fail_type(seq, "Sequence");
    const Py_ssize_t n = PySequence_Size(o);
    if (n < 0) fail_from_python_error();
    for (Py_ssize_t i = 0; i < n; ++i) {
        nb::object item = nb::steal(PySequence_GetItem(o, i));
        if (!item) fail_from_python_error();
        each(nb::handle(item));
    }
}

}  // namespace zp
