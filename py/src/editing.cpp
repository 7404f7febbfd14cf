#include <array>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "args.hpp"
#include "ops.hpp"
#include "trc_object.hpp"
#include "views.hpp"

namespace zp {
namespace {

using U32List = std::vector<std::uint32_t>;

U32List to_u32_list(nb::handle h) { return to_vector<std::uint32_t>(h, to_int<std::uint32_t>); }

// A float32 or float64 array of shape (n, 3), read without creating a Python object per value.
// Returns false (leaving `out` alone) for anything else, which then takes the generic path.
bool positions_from_buffer(nb::handle h, std::vector<std::array<float, 3>>& out) {
    if (PyUnicode_Check(h.ptr()) || PyBytes_Check(h.ptr()) || PyByteArray_Check(h.ptr()) ||
        !PyObject_CheckBuffer(h.ptr())) {
        return false;
    }
    Py_buffer view;
    if (PyObject_GetBuffer(h.ptr(), &view, PyBUF_RECORDS_RO) != 0) {
        PyErr_Clear();
        return false;
    }
    struct Release {
        Py_buffer* v;
        ~Release() { PyBuffer_Release(v); }
    } release{&view};
    const std::string_view format = view.format ? view.format : "B";
    const bool f32 = format == "f" || format == "=f" || format == "<f";
    const bool f64 = format == "d" || format == "=d" || format == "<d";
    if (view.ndim != 2 || (!f32 && !f64)) return false;
    if (view.shape[1] != 3) {
        fail_conversion(PyExc_ValueError, "expected a sequence of length 3 (got " + std::to_string(view.shape[1]) + ")");
    }
    const auto* base = static_cast<const char*>(view.buf);
    out.resize(std::size_t(view.shape[0]));
    for (Py_ssize_t i = 0; i < view.shape[0]; ++i) {
        for (Py_ssize_t k = 0; k < 3; ++k) {
            const char* p = base + i * view.strides[0] + k * view.strides[1];
            double v;
            if (f32) {
                float f;
                std::memcpy(&f, p, sizeof f);
                v = f;
            } else {
                std::memcpy(&v, p, sizeof v);
            }
            out[std::size_t(i)][std::size_t(k)] = static_cast<float>(v);
        }
    }
    return true;
}

std::vector<std::array<float, 3>> to_positions(nb::handle h) {
    std::vector<std::array<float, 3>> positions;
    if (positions_from_buffer(h, positions)) return positions;
    for_each_item(h, [&](nb::handle position) {
        if (PyUnicode_Check(position.ptr())) fail_conversion(PyExc_TypeError, "Can't extract `str` to `[f32; 3]`");
        if (!PySequence_Check(position.ptr())) fail_type(position, "Sequence");
        const Py_ssize_t len = PySequence_Size(position.ptr());
        if (len < 0) fail_from_python_error();
        if (len != 3) {
            fail_conversion(PyExc_ValueError, "expected a sequence of length 3 (got " + std::to_string(len) + ")");
        }
        std::array<float, 3> xyz;
        for (Py_ssize_t k = 0; k < 3; ++k) {
            nb::object v = nb::steal(PySequence_GetItem(position.ptr(), k));
            if (!v) fail_from_python_error();
            xyz[std::size_t(k)] = to_f32(v);
        }
        positions.push_back(xyz);
    });
    return positions;
}

template <class T, class E>
T value_or_raise(std::expected<T, E>&& result) {
    if (!result) raise_value_error(zyk::message(result.error()));
    return std::move(*result);
}

}  // namespace

nb::object trc_extend(const zyk::TRC& trc, nb::handle other) {
    const zyk::TRC& other_record = trc_argument(other, "other");
    zyk::TRC merged = trc;
    if (auto ok = zyk::extend(merged, zyk::TRC(other_record)); !ok) raise_value_error(zyk::message(ok.error()));
    return wrap_trc(std::move(merged));
}

nb::object trc_subset_by_residues(const zyk::TRC& trc, nb::handle refs) {
    const U32List selection = argument("refs", [&] { return to_u32_list(refs); });
    return wrap_trc(value_or_raise(zyk::new_trc_from_residue_subset(trc, selection)));
}

nb::object trc_with_geometry(const zyk::TRC& trc, nb::handle geometry) {
    const auto positions = argument("geometry", [&] { return to_positions(geometry); });
    return wrap_trc(value_or_raise(zyk::with_geometry(trc, positions)));
}

nb::object trc_with_fragments(const zyk::TRC& trc, nb::handle fragments) {
    auto groups = argument("fragments", [&] { return to_vector<U32List>(fragments, to_u32_list); });
    return wrap_trc(value_or_raise(zyk::with_fragments(trc, std::move(groups))));
}

nb::object topology_get_fragments_near_fragment(const zyk::Topology& topology, nb::handle frag_idx, nb::handle threshold) {
    const auto index = argument("frag_idx", [&] { return to_int<std::uint32_t>(frag_idx); });
    const float distance = argument("threshold", [&] { return to_f32(threshold); });
    const std::vector<std::uint32_t> near = value_or_raise(zyk::get_fragments_near_fragment(topology, index, distance));
    nb::list out;
    for (std::uint32_t f : near) out.append(nb::int_(f));
    return out;
}

namespace {

// A CPython method (not a nanobind one) so that the docstring gives it its text signature.
PyObject* fragment_query(PyObject* self, PyObject* args, PyObject* kwargs) {
    try {
        static const char* const names[] = {"frag_idx", "threshold"};
        nb::handle values[2];
        nb::object kw = kwargs ? nb::borrow(kwargs) : nb::steal(PyDict_New());
        if (!kw) throw nb::python_error();
        parse_call("get_fragments_near_fragment", nb::borrow<nb::args>(args), nb::borrow<nb::kwargs>(kw), names, 2, 2, 2,
                   values);
        // The descriptor has checked the class; an instance made with __new__ alone has no record.
        if (!nb::inst_ready(self)) raise(PyExc_TypeError, "Topology object is not initialised");
        const TopologyView* view = nb::inst_ptr<TopologyView>(self);
        return topology_get_fragments_near_fragment(*view->record, values[0], values[1]).release().ptr();
    } catch (nb::python_error& e) {
        e.restore();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        PyErr_SetString(PyExc_RuntimeError, e.what());
    }
    return nullptr;
}

PyMethodDef fragment_query_def = {
    "get_fragments_near_fragment", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fragment_query)),
    METH_VARARGS | METH_KEYWORDS,
    "get_fragments_near_fragment($self, frag_idx, threshold)\n--\n\n"
    "The fragments with an atom within `threshold` (inclusive, in angstrom) of an atom of fragment `frag_idx`, "
    "in ascending order, without `frag_idx` itself."};

}  // namespace

void install_fragment_query(nb::handle topology_type) {
    nb::object method =
        nb::steal(PyDescr_NewMethod(reinterpret_cast<PyTypeObject*>(topology_type.ptr()), &fragment_query_def));
    if (!method || PyObject_SetAttrString(topology_type.ptr(), "get_fragments_near_fragment", method.ptr()) != 0) {
        throw nb::python_error();
    }
}

}  // namespace zp
