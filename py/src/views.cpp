#include "views.hpp"

#include <nanobind/ndarray.h>

#include <cstring>
#include <string>

#include "args.hpp"
#include "enums.hpp"
#include "ops.hpp"

namespace zp {
namespace {

// A fresh NumPy array owning a copy of `count` values, shaped (count / cols, cols), or
// (count,) when cols is 0.
template <class T>
nb::object numpy_copy(const T* data, std::size_t count, std::size_t cols) {
    T* buffer = new T[count > 0 ? count : 1];
    if (count > 0) std::memcpy(buffer, data, count * sizeof(T));
    nb::capsule owner(buffer, [](void* p) noexcept { delete[] static_cast<T*>(p); });
    if (cols == 0) {
        std::size_t shape[1] = {count};
        return nb::ndarray<nb::numpy, T>(buffer, 1, shape, owner).cast();
    }
    std::size_t shape[2] = {count / cols, cols};
    return nb::ndarray<nb::numpy, T>(buffer, 2, shape, owner).cast();
}

nb::object new_list(std::size_t n) {
    PyObject* list = PyList_New(Py_ssize_t(n));
    if (!list) throw nb::python_error();
    return nb::steal(list);
}

// Builds a list by converting each element; `convert` returns a new reference.
template <class Vec, class F>
nb::object list_of(const Vec& values, F&& convert) {
    nb::object list = new_list(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        nb::object item = convert(values[i]);
        PyList_SET_ITEM(list.ptr(), Py_ssize_t(i), item.release().ptr());
    }
    return list;
}

nb::object py_str(const std::string& s) {
    PyObject* o = PyUnicode_DecodeUTF8(s.data(), Py_ssize_t(s.size()), "replace");
    if (!o) throw nb::python_error();
    return nb::steal(o);
}

template <class T>
nb::object py_int(T v) {
    if constexpr (std::is_signed_v<T>) return nb::steal(PyLong_FromLongLong(v));
    else return nb::steal(PyLong_FromUnsignedLongLong(v));
}

nb::object py_float(float v) { return nb::steal(PyFloat_FromDouble(double(v))); }

nb::object index_lists(const std::vector<std::vector<std::uint32_t>>& groups) {
    return list_of(groups, [](const std::vector<std::uint32_t>& g) { return list_of(g, py_int<std::uint32_t>); });
}

template <class T, class F>
nb::object optional_list(const std::optional<std::vector<T>>& values, F&& convert) {
    if (!values) return nb::none();
    return list_of(*values, convert);
}

// Optional entries of the helix and strand tables become None in their place.
template <class T, class F>
nb::object list_with_none(const std::vector<std::optional<T>>& values, F&& convert) {
    return list_of(values, [&](const std::optional<T>& v) -> nb::object {
        if (!v) return nb::none();
        return convert(*v);
    });
}

}  // namespace

nb::object make_topology_view(std::shared_ptr<const zyk::Topology> record) {
    const std::size_t n = record->symbols.size();
    if (record->geometry.size() != 3 * n) {
        raise_value_error("bad geometry shape: " + std::to_string(record->geometry.size()) +
                          " coordinate values cannot be reshaped to (" + std::to_string(n) + ", 3) for " +
                          std::to_string(n) + " symbols");
    }
    return make_instance<TopologyView>(std::move(record));
}

nb::object make_residues_view(std::shared_ptr<const zyk::Residues> record) {
    return make_instance<ResiduesView>(std::move(record));
}

nb::object make_chains_view(std::shared_ptr<const zyk::Chains> record) {
    return make_instance<ChainsView>(std::move(record));
}

void register_topology(nb::module_& m) {
    using V = TopologyView;
    nb::class_<V>(m, "Topology",
                   "The atoms of a structure: elements, coordinates, labels, charges, bonds and fragments (read-only).")
        .def_prop_ro("schema_version",
                     [](V& v) { return v.schema_version.get([&] { return py_str(zyk::to_string(v.record->schema_version)); }); },
            nb::sig("def schema_version(self) -> str"),
            "Schema version of the record, for example '0.2.0'.")
        .def_prop_ro("symbols",
                     [](V& v) {
                         return v.symbols.get([&] {
                             return list_of(v.record->symbols, [](zyk::Element e) { return member(e); });
                         });
                     },
            nb::sig("def symbols(self) -> list[Element]"),
            "Element of each atom.")
        .def_prop_ro("geometry",
                     [](V& v) {
                         return v.geometry.get([&] {
                             return numpy_copy(v.record->geometry.data(), v.record->geometry.size(), 3);
                         });
                     },
            nb::sig("def geometry(self) -> numpy.typing.NDArray[numpy.float32]"),
            "Coordinates in angstrom, float32 array of shape (atoms, 3).")
        .def_prop_ro("labels", [](V& v) { return v.labels.get([&] { return optional_list(v.record->labels, py_str); }); },
            nb::sig("def labels(self) -> list[str] | None"),
            "Name of each atom (for proteins the atom name, such as CA), or None.")
        .def_prop_ro("formal_charges",
                     [](V& v) {
                         return v.formal_charges.get([&]() -> nb::object {
                             const auto& c = v.record->formal_charges;
                             if (!c) return nb::none();
                             return numpy_copy(c->data(), c->size(), 0);
                         });
                     },
            nb::sig("def formal_charges(self) -> numpy.typing.NDArray[numpy.int32] | None"),
            "Formal charge of each atom (int32 array), or None.")
        .def_prop_ro("partial_charges",
                     [](V& v) {
                         return v.partial_charges.get([&]() -> nb::object {
                             const auto& c = v.record->partial_charges;
                             if (!c) return nb::none();
                             return numpy_copy(c->data(), c->size(), 0);
                         });
                     },
            nb::sig("def partial_charges(self) -> numpy.typing.NDArray[numpy.float32] | None"),
            "Partial charge of each atom (float32 array), or None.")
        .def_prop_ro("connectivity",
                     [](V& v) {
                         return v.connectivity.get([&] {
                             return optional_list(v.record->connectivity,
                                                  [](const zyk::Bond& b) { return make_instance<BondView>(BondView{b}); });
                         });
                     },
            nb::sig("def connectivity(self) -> list[Bond] | None"),
            "Bonds between atoms, or None.")
        .def_prop_ro("stereochemistry",
                     [](V& v) {
                         return v.stereochemistry.get([&] {
                             return optional_list(v.record->stereochemistry, [](zyk::Stereochemistry s) { return member(s); });
                         });
                     },
            nb::sig("def stereochemistry(self) -> list[Stereochemistry] | None"),
            "One stereochemistry flag per bond, or None.")
        .def_prop_ro("velocities",
                     [](V& v) {
                         return v.velocities.get([&]() -> nb::object {
                             const auto& vel = v.record->velocities;
                             if (!vel || vel->size() % 3 != 0) return nb::none();
                             return numpy_copy(vel->data(), vel->size(), 3);
                         });
                     },
            nb::sig("def velocities(self) -> numpy.typing.NDArray[numpy.float32] | None"),
            "Velocities, float32 array of shape (atoms, 3), or None.")
        .def_prop_ro("fragments",
                     [](V& v) {
                         return v.fragments.get([&]() -> nb::object {
                             if (!v.record->fragments) return nb::none();
                             return index_lists(*v.record->fragments);
                         });
                     },
            nb::sig("def fragments(self) -> list[list[int]] | None"),
            "Atom indices of each fragment (a partition of the atoms), or None.")
        .def_prop_ro("fragment_formal_charges",
                     [](V& v) {
                         return v.fragment_formal_charges.get(
                             [&] { return optional_list(v.record->fragment_formal_charges, py_int<std::int32_t>); });
                     },
            nb::sig("def fragment_formal_charges(self) -> list[int] | None"),
            "Formal charge of each fragment, or None.")
        .def_prop_ro("fragment_partial_charges",
                     [](V& v) {
                         return v.fragment_partial_charges.get(
                             [&] { return optional_list(v.record->fragment_partial_charges, py_float); });
                     },
            nb::sig("def fragment_partial_charges(self) -> list[float] | None"),
            "Partial charge of each fragment, or None.")
        .def_prop_ro("fragment_multiplicities",
                     [](V& v) {
                         return v.fragment_multiplicities.get(
                             [&] { return optional_list(v.record->fragment_multiplicities, py_int<std::uint8_t>); });
                     },
            nb::sig("def fragment_multiplicities(self) -> list[int] | None"),
            "Spin multiplicity of each fragment, or None.")
        .def_prop_ro("num_atoms", [](V& v) { return v.record->symbols.size(); },
            nb::sig("def num_atoms(self) -> int"),
            "Number of atoms.")
        .def("to_dict", [](V& v) { return topology_to_dict(*v.record); }, nb::sig("def to_dict(self) -> dict"),
            "The topology as plain Python data (see TRC.to_dict).")
        .def_static("from_dict", &topology_from_dict, nb::arg("data").none(), nb::sig("def from_dict(data: object) -> Topology"),
            "A Topology read from the data of Topology.to_dict; raises ValueError \"failed to deserialize Topology: ...\".")
        .def("__reduce__", [](nb::handle self) { return reduce_with_dict(self); })
        .def("__repr__", [](V& v) { return "Topology(atoms=" + std::to_string(v.record->symbols.size()) + ")"; });
    install_fragment_query(nb::type<V>());
}

void register_residues(nb::module_& m) {
    using V = ResiduesView;
    nb::class_<V>(m, "Residues", "The residue table of a structure: atoms, names, numbers, insertion codes (read-only).")
        .def_prop_ro("residues", [](V& v) { return v.residues.get([&] { return index_lists(v.record->residues); }); },
            nb::sig("def residues(self) -> list[list[int]]"),
            "Atom indices of each residue.")
        .def_prop_ro("seqs", [](V& v) { return v.seqs.get([&] { return list_of(v.record->seqs, py_str); }); },
            nb::sig("def seqs(self) -> list[str]"),
            "Residue name of each residue (three-letter codes such as ALA).")
        .def_prop_ro("seq_ns", [](V& v) { return v.seq_ns.get([&] { return list_of(v.record->seq_ns, py_int<std::int32_t>); }); },
            nb::sig("def seq_ns(self) -> list[int]"),
            "Sequence number of each residue.")
        .def_prop_ro("insertion_codes",
                     [](V& v) { return v.insertion_codes.get([&] { return list_of(v.record->insertion_codes, py_str); }); },
            nb::sig("def insertion_codes(self) -> list[str]"),
            "Insertion code of each residue.")
        .def_prop_ro("num_residues", [](V& v) { return v.record->residues.size(); },
            nb::sig("def num_residues(self) -> int"),
            "Number of residues.")
        .def("to_dict", [](V& v) { return residues_to_dict(*v.record); }, nb::sig("def to_dict(self) -> dict"),
            "The residue table as plain Python data.")
        .def_static("from_dict", &residues_from_dict, nb::arg("data").none(), nb::sig("def from_dict(data: object) -> Residues"),
            "A Residues table read from the data of Residues.to_dict.")
        .def("__reduce__", [](nb::handle self) { return reduce_with_dict(self); })
        .def("__repr__", [](V& v) { return "Residues(count=" + std::to_string(v.record->residues.size()) + ")"; });
}

void register_chains(nb::module_& m) {
    using V = ChainsView;
    nb::class_<V>(m, "Chains", "The chain table of a structure: residues of each chain, helices and sheets (read-only).")
        .def_prop_ro("chains", [](V& v) { return v.chains.get([&] { return index_lists(v.record->chains); }); },
            nb::sig("def chains(self) -> list[list[int]]"),
            "Residue indices of each chain.")
        .def_prop_ro("alpha_helices",
                     [](V& v) {
                         return v.alpha_helices.get([&]() -> nb::object {
                             if (!v.record->alpha_helices) return nb::none();
                             return make_instance<AlphaHelicesView>(AlphaHelicesView{*v.record->alpha_helices});
                         });
                     },
            nb::sig("def alpha_helices(self) -> AlphaHelices | None"),
            "The helix table, or None.")
        .def_prop_ro("beta_sheets",
                     [](V& v) {
                         return v.beta_sheets.get([&]() -> nb::object {
                             if (!v.record->beta_sheets) return nb::none();
                             return make_instance<BetaSheetsView>(BetaSheetsView{*v.record->beta_sheets});
                         });
                     },
            nb::sig("def beta_sheets(self) -> BetaSheets | None"),
            "The strand table, or None.")
        .def_prop_ro("num_chains", [](V& v) { return v.record->chains.size(); },
            nb::sig("def num_chains(self) -> int"),
            "Number of chains.")
        .def("to_dict", [](V& v) { return chains_to_dict(*v.record); }, nb::sig("def to_dict(self) -> dict"),
            "The chain table as plain Python data.")
        .def_static("from_dict", &chains_from_dict, nb::arg("data").none(), nb::sig("def from_dict(data: object) -> Chains"),
            "A Chains table read from the data of Chains.to_dict.")
        .def("__reduce__", [](nb::handle self) { return reduce_with_dict(self); })
        .def("__repr__", [](V& v) { return "Chains(count=" + std::to_string(v.record->chains.size()) + ")"; });
}

void register_bond(nb::module_& m) {
    nb::class_<BondView>(m, "Bond")
        .def_prop_ro("atoms", [](const BondView& b) { return nb::make_tuple(b.bond.first, b.bond.second); },
            nb::sig("def atoms(self) -> tuple[int, int]"),
            "The two atom indices, in the order stored.")
        .def_prop_ro("order", [](const BondView& b) { return member(b.bond.order); },
            nb::sig("def order(self) -> BondOrder"),
            "The bond order.")
        .def("__repr__", [](const BondView& b) {
            return "Bond((" + std::to_string(b.bond.first) + ", " + std::to_string(b.bond.second) + "), " +
                   std::string(zyk::bond_order_name(b.bond.order)) + ")";
        });
}

void register_alpha_helices(nb::module_& m) {
    using V = AlphaHelicesView;
    nb::class_<V>(m, "AlphaHelices")
        .def_prop_ro("helix_ids", [](const V& v) { return list_of(v.table.helix_ids, py_str); },
            nb::sig("def helix_ids(self) -> list[str]"),
            "Identifier of each helix.")
        .def_prop_ro("chain_refs", [](const V& v) { return list_of(v.table.chain_refs, py_int<std::uint32_t>); },
            nb::sig("def chain_refs(self) -> list[int]"),
            "Chain index of each helix.")
        .def_prop_ro("start_residues", [](const V& v) { return list_of(v.table.start_residues, py_int<std::uint32_t>); },
            nb::sig("def start_residues(self) -> list[int]"),
            "First residue index of each helix.")
        .def_prop_ro("end_residues", [](const V& v) { return list_of(v.table.end_residues, py_int<std::uint32_t>); },
            nb::sig("def end_residues(self) -> list[int]"),
            "Last residue index of each helix.")
        .def_prop_ro("classes",
                     [](const V& v) { return list_with_none(v.table.classes, [](zyk::HelixClass c) { return member(c); }); },
            nb::sig("def classes(self) -> list[HelixClass | None]"),
            "Class of each helix (None where unknown).")
        .def_prop_ro("lengths", [](const V& v) { return list_with_none(v.table.lengths, py_int<std::uint32_t>); },
            nb::sig("def lengths(self) -> list[int | None]"),
            "Length of each helix in residues (None where unknown).");
}

void register_beta_sheets(nb::module_& m) {
    using V = BetaSheetsView;
    nb::class_<V>(m, "BetaSheets")
        .def_prop_ro("sheet_ids", [](const V& v) { return list_of(v.table.sheet_ids, py_str); },
            nb::sig("def sheet_ids(self) -> list[str]"),
            "Sheet identifier of each strand.")
        .def_prop_ro("strand_ids", [](const V& v) { return list_of(v.table.strand_ids, py_str); },
            nb::sig("def strand_ids(self) -> list[str]"),
            "Identifier of each strand.")
        .def_prop_ro("strand_ordinals", [](const V& v) { return list_with_none(v.table.strand_ordinals, py_int<std::uint32_t>); },
            nb::sig("def strand_ordinals(self) -> list[int | None]"),
            "Position of each strand in its sheet (None where unknown).")
        .def_prop_ro("num_strands", [](const V& v) { return list_with_none(v.table.num_strands, py_int<std::uint32_t>); },
            nb::sig("def num_strands(self) -> list[int | None]"),
            "Number of strands of each strand's sheet (None where unknown).")
        .def_prop_ro("chain_refs", [](const V& v) { return list_of(v.table.chain_refs, py_int<std::uint32_t>); },
            nb::sig("def chain_refs(self) -> list[int]"),
            "Chain index of each strand.")
        .def_prop_ro("start_residues", [](const V& v) { return list_of(v.table.start_residues, py_int<std::uint32_t>); },
            nb::sig("def start_residues(self) -> list[int]"),
            "First residue index of each strand.")
        .def_prop_ro("end_residues", [](const V& v) { return list_of(v.table.end_residues, py_int<std::uint32_t>); },
            nb::sig("def end_residues(self) -> list[int]"),
            "Last residue index of each strand.")
        .def_prop_ro("senses",
                     [](const V& v) { return list_with_none(v.table.senses, [](zyk::StrandSense s) { return member(s); }); },
            nb::sig("def senses(self) -> list[StrandSense | None]"),
            "Sense of each strand relative to the previous one (None where unknown).");
}

}  // namespace zp
