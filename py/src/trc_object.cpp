#include "trc_object.hpp"

#include <string>

#include "args.hpp"
#include "enums.hpp"
#include "ops.hpp"
#include "views.hpp"

namespace zp {
namespace {

using U32List = std::vector<std::uint32_t>;

U32List to_u32_list(nb::handle h) { return to_vector<std::uint32_t>(h, to_int<std::uint32_t>); }

std::vector<float> to_positions(nb::handle h) {
    std::vector<float> flat;
    for_each_item(h, [&](nb::handle position) {
        if (PyUnicode_Check(position.ptr())) fail_conversion(PyExc_TypeError, "Can't extract `str` to `[f32; 3]`");
        if (!PySequence_Check(position.ptr())) fail_type(position, "Sequence");
        const Py_ssize_t len = PySequence_Size(position.ptr());
        if (len < 0) fail_from_python_error();
        if (len != 3) {
            fail_conversion(PyExc_ValueError, "expected a sequence of length 3 (got " + std::to_string(len) + ")");
        }
        for (Py_ssize_t k = 0; k < 3; ++k) {
            nb::object v = nb::steal(PySequence_GetItem(position.ptr(), k));
            if (!v) fail_from_python_error();
            flat.push_back(to_f32(v));
        }
    });
    return flat;
}

zyk::Bond to_bond(nb::handle h) {
    if (!PyTuple_Check(h.ptr())) fail_type(h, "PyTuple");
    const Py_ssize_t len = PyTuple_GET_SIZE(h.ptr());
    if (len != 3) {
        fail_conversion(PyExc_ValueError, "expected tuple of length 3, but got tuple of length " + std::to_string(len));
    }
    const auto first = to_int<std::uint32_t>(PyTuple_GET_ITEM(h.ptr(), 0));
    const auto second = to_int<std::uint32_t>(PyTuple_GET_ITEM(h.ptr(), 1));
    const auto order = to_int<std::uint8_t>(PyTuple_GET_ITEM(h.ptr(), 2));
    if (!zyk::is_bond_order_code(order)) {
        fail_conversion(PyExc_ValueError, "invalid bond order " + std::to_string(order) +
                                              ", expected one of: 0, 1, 2, 3, 4, 5, 6, 250, 251, 252, 253, 254, 255");
    }
    return zyk::Bond{first, second, zyk::bond_order_from_byte(order)};
}

template <class T, class F>
std::optional<std::vector<T>> optional_argument(nb::handle h, const char* name, F&& convert) {
    if (!h.ptr() || h.is_none()) return std::nullopt;
    return argument(name, [&] { return to_vector<T>(h, convert); });
}

std::string to_string_item(nb::handle h) { return std::string(to_str(h)); }

void construct(TRCObject* self, nb::args args, nb::kwargs kwargs) {
    static const char* const names[] = {"symbols",  "geometry",     "labels",         "formal_charges",
                                        "partial_charges", "connectivity", "fragments",      "residues",
                                        "residue_seqs",    "residue_seq_ns", "residue_insertion_codes", "chains"};
    constexpr std::size_t count = std::size(names);
    nb::handle v[count];
    parse_call("TRC", args, kwargs, names, count, 2, 2, v);

    auto symbols = argument("symbols", [&] { return to_vector<zyk::Element>(v[0], to_element); });
    auto geometry = argument("geometry", [&] { return to_positions(v[1]); });
    auto labels = optional_argument<std::string>(v[2], "labels", to_string_item);
    auto formal_charges = optional_argument<std::int32_t>(v[3], "formal_charges", to_int<std::int32_t>);
    auto partial_charges = optional_argument<float>(v[4], "partial_charges", to_f32);
    auto connectivity = optional_argument<zyk::Bond>(v[5], "connectivity", to_bond);
    auto fragments = optional_argument<U32List>(v[6], "fragments", to_u32_list);
    auto residues = optional_argument<U32List>(v[7], "residues", to_u32_list);
    auto seqs = optional_argument<std::string>(v[8], "residue_seqs", to_string_item);
    auto seq_ns = optional_argument<std::int32_t>(v[9], "residue_seq_ns", to_int<std::int32_t>);
    auto insertion_codes = optional_argument<std::string>(v[10], "residue_insertion_codes", to_string_item);
    auto chains = optional_argument<U32List>(v[11], "chains", to_u32_list);

    const std::size_t n = symbols.size();
    if (geometry.size() != 3 * n) {
        raise_value_error("geometry has " + std::to_string(geometry.size() / 3) + " positions but there are " +
                          std::to_string(n) + " symbols");
    }

    zyk::TRC trc{zyk::make_topology(std::move(symbols), std::move(geometry)), {}, {}};
    trc.topology.labels = std::move(labels);
    trc.topology.partial_charges = std::move(partial_charges);
    trc.topology.formal_charges = std::move(formal_charges);
    trc.topology.connectivity = std::move(connectivity);
    trc.topology.fragments = std::move(fragments);

    zyk::Residues& res = trc.residues;
    if (residues) {
        res.residues = std::move(*residues);
    } else {
        U32List all(n);
        for (std::size_t i = 0; i < n; ++i) all[i] = std::uint32_t(i);
        res.residues.push_back(std::move(all));
    }
    const std::size_t r = res.residues.size();
    res.seqs = seqs ? std::move(*seqs) : std::vector<std::string>(r, "UNK");
    if (seq_ns) {
        res.seq_ns = std::move(*seq_ns);
    } else {
        res.seq_ns.resize(r);
        for (std::size_t i = 0; i < r; ++i) res.seq_ns[i] = std::int32_t(i + 1);
    }
    res.insertion_codes = insertion_codes ? std::move(*insertion_codes) : std::vector<std::string>(r, "~");

    if (chains) {
        trc.chains.chains = std::move(*chains);
    } else {
        U32List all(r);
        for (std::size_t i = 0; i < r; ++i) all[i] = std::uint32_t(i);
        trc.chains.chains.push_back(std::move(all));
    }

    auto record = std::make_shared<const zyk::TRC>(std::move(trc));
    nb::object topology = make_topology_view(std::shared_ptr<const zyk::Topology>(record, &record->topology));
    nb::object residues_view = make_residues_view(std::shared_ptr<const zyk::Residues>(record, &record->residues));
    nb::object chains_view = make_chains_view(std::shared_ptr<const zyk::Chains>(record, &record->chains));
    new (self) TRCObject{std::move(record), std::move(topology), std::move(residues_view), std::move(chains_view)};
}

const char* const init_signature =
    "def __init__(self, symbols: collections.abc.Sequence[Element], "
    "geometry: collections.abc.Sequence[collections.abc.Sequence[float]], *, "
    "labels: collections.abc.Sequence[str] | None = None, "
    "formal_charges: collections.abc.Sequence[int] | None = None, "
    "partial_charges: collections.abc.Sequence[float] | None = None, "
    "connectivity: collections.abc.Sequence[tuple[int, int, int]] | None = None, "
    "fragments: collections.abc.Sequence[collections.abc.Sequence[int]] | None = None, "
    "residues: collections.abc.Sequence[collections.abc.Sequence[int]] | None = None, "
    "residue_seqs: collections.abc.Sequence[str] | None = None, "
    "residue_seq_ns: collections.abc.Sequence[int] | None = None, "
    "residue_insertion_codes: collections.abc.Sequence[str] | None = None, "
    "chains: collections.abc.Sequence[collections.abc.Sequence[int]] | None = None) -> None";

}  // namespace

void not_implemented(const char* what) {
    raise(PyExc_NotImplementedError, std::string(what) + " is not available in this build yet");
}

nb::object wrap_trc(zyk::TRC&& trc) {
    auto record = std::make_shared<const zyk::TRC>(std::move(trc));
    nb::object topology = make_topology_view(std::shared_ptr<const zyk::Topology>(record, &record->topology));
    nb::object residues = make_residues_view(std::shared_ptr<const zyk::Residues>(record, &record->residues));
    nb::object chains = make_chains_view(std::shared_ptr<const zyk::Chains>(record, &record->chains));
    return make_instance<TRCObject>(TRCObject{std::move(record), std::move(topology), std::move(residues), std::move(chains)});
}

nb::object wrap_trcs(std::vector<zyk::TRC>&& trcs) {
    nb::list out;
    for (zyk::TRC& trc : trcs) out.append(wrap_trc(std::move(trc)));
    return out;
}

const zyk::TRC& trc_argument(nb::handle h, const char* name) {
    return *argument(name, [&]() -> const zyk::TRC* {
        if (!nb::isinstance<TRCObject>(h)) fail_type(h, "TRC");
        return nb::inst_ptr<TRCObject>(h)->record.get();
    });
}

std::string_view str_argument(nb::handle h, const char* name) {
    return argument(name, [&] { return to_str(h); });
}

nb::class_<TRCObject> register_trc(nb::module_& m) {
    // A docstring that starts with the call form and "--" gives the class its text signature.
    nb::class_<TRCObject> cls(m, "TRC",
                              "TRC(symbols, geometry, *, labels=None, formal_charges=None, partial_charges=None, "
                              "connectivity=None, fragments=None, residues=None, residue_seqs=None, residue_seq_ns=None, "
                              "residue_insertion_codes=None, chains=None)\n--\n\n"
                              "A molecular structure: topology, residues and chains, immutable once built.");
    cls.def("__init__", &construct, nb::sig(init_signature));
    return cls;
}

void add_trc_methods(nb::class_<TRCObject>& cls) {
    using T = TRCObject;
    auto rec = [](const T& self) -> const zyk::TRC& { return *self.record; };
    cls.def_prop_ro("topology", [](const T& self) { return self.topology; }, nb::sig("def topology(self) -> Topology"),
            "The Topology view (atoms, coordinates, charges, bonds, fragments).")
        .def_prop_ro("residues", [](const T& self) { return self.residues; }, nb::sig("def residues(self) -> Residues"),
            "The Residues view (atoms of each residue, names, numbers, insertion codes).")
        .def_prop_ro("chains", [](const T& self) { return self.chains; }, nb::sig("def chains(self) -> Chains"),
            "The Chains view (residues of each chain, helices, sheets).")
        .def_prop_ro("num_atoms", [](const T& self) { return self.record->topology.symbols.size(); },
            nb::sig("def num_atoms(self) -> int"),
            "Number of atoms.")
        .def_prop_ro("num_residues", [](const T& self) { return self.record->residues.residues.size(); },
            nb::sig("def num_residues(self) -> int"),
            "Number of residues.")
        .def_prop_ro("num_chains", [](const T& self) { return self.record->chains.chains.size(); },
            nb::sig("def num_chains(self) -> int"),
            "Number of chains.")
        .def("check",
             [](const T& self) {
                 if (auto ok = zyk::check(*self.record); !ok) raise_value_error(zyk::message(ok.error()));
             },
            nb::sig("def check(self) -> None"),
            "Validate the structure; raises ValueError with the first problem found.")
        .def("to_dict", [rec](const T& self) { return trc_to_dict(rec(self)); }, nb::sig("def to_dict(self) -> dict"),
            "The structure as nested dicts, lists, tuples, strings and numbers (keys in field order, absent fields left out).")
        .def_static("from_dict", &trc_from_dict, nb::arg("data").none(), nb::sig("def from_dict(data: object) -> TRC"),
            "A TRC read from the data of TRC.to_dict (not validated: call check()); raises ValueError \"failed to deserialize TRC: ...\".")
        .def("extend", [rec](const T& self, nb::handle other) { return trc_extend(rec(self), other); }, nb::arg("other").none(),
             nb::sig("def extend(self, other: TRC) -> TRC"),
            "A new structure with `other` appended (atoms, bonds, residues, chains, helices and sheets re-indexed).")
        .def("subset_by_residues", [rec](const T& self, nb::handle refs) { return trc_subset_by_residues(rec(self), refs); },
             nb::arg("refs").none(), nb::sig("def subset_by_residues(self, refs: collections.abc.Sequence[int]) -> TRC"),
            "A new structure made of the residues `refs` (0-based), with every index renumbered.")
        .def("with_geometry", [rec](const T& self, nb::handle g) { return trc_with_geometry(rec(self), g); },
             nb::arg("geometry").none(),
             nb::sig("def with_geometry(self, geometry: collections.abc.Sequence[collections.abc.Sequence[float]]) -> TRC"),
            "A new structure with the coordinates replaced (one position per atom).")
        .def("with_fragments", [rec](const T& self, nb::handle f) { return trc_with_fragments(rec(self), f); },
             nb::arg("fragments").none(),
             nb::sig("def with_fragments(self, fragments: collections.abc.Sequence[collections.abc.Sequence[int]]) -> TRC"),
            "A new structure with the fragments replaced (and fragment charges summed from the atoms).")
        .def("perceive_bonds", [rec](const T& self, nb::handle s) { return trc_perceive_bonds(rec(self), s); },
             nb::arg("strictness") = member(zyk::AtomCheckStrictness::Heavy),
             nb::sig("def perceive_bonds(self, strictness: AtomCheckStrictness = AtomCheckStrictness.Heavy) -> TRC"),
            "A new structure whose amino-acid bonds are rebuilt from residue and atom names, with peptide and water bonds added; bonds it cannot reproduce are kept with a warning on stderr.")
        .def("perceive_formal_charges", [rec](const T& self) { return trc_perceive_formal_charges(rec(self)); },
             nb::sig("def perceive_formal_charges(self) -> TRC"),
            "A new structure with formal charges assigned from the hydrogens present (protonation states, termini, disulfides).")
        .def("__reduce__", [](nb::handle self) { return reduce_with_dict(self); })
        .def("__repr__", [](const T& self) {
            const zyk::TRC& t = *self.record;
            return "TRC(atoms=" + std::to_string(t.topology.symbols.size()) +
                   ", residues=" + std::to_string(t.residues.residues.size()) +
                   ", chains=" + std::to_string(t.chains.chains.size()) + ")";
        });
}

}  // namespace zp
