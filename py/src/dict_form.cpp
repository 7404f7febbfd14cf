// The dictionary form of TRC, Topology, Residues and Chains: plain dicts, lists, tuples, str,
// int and float, keys in field order, absent optional fields left out. Reading accepts what
// writing produces and a little more (sets and tuples for lists, None for absent, element
// symbols in three spellings, one-key dicts for the enumerations).
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "args.hpp"
#include "ops.hpp"
#include "trc_object.hpp"
#include "views.hpp"

namespace zp {
namespace {

// ---------------------------------------------------------------- writing

PyObject* checked(PyObject* o) {
    if (!o) throw nb::python_error();
    return o;
}

// Strings go out with surrogateescape: a record string that is not valid UTF-8 (a reader can cut
// a multi-byte character at a column boundary) comes back byte for byte through from_dict.
PyObject* new_str(const std::string& s) { return checked(PyUnicode_DecodeUTF8(s.data(), Py_ssize_t(s.size()), "surrogateescape")); }
PyObject* new_str(std::string_view s) { return checked(PyUnicode_DecodeUTF8(s.data(), Py_ssize_t(s.size()), "surrogateescape")); }
PyObject* new_float(float v) { return checked(PyFloat_FromDouble(double(v))); }
template <class T>
PyObject* new_int(T v) {
    if constexpr (std::is_signed_v<T>) return checked(PyLong_FromLongLong(v));
    else return checked(PyLong_FromUnsignedLongLong(v));
}

// Builds a list; `convert` returns a new reference (never null).
template <class Vec, class F>
PyObject* new_list(const Vec& values, F&& convert) {
    PyObject* list = checked(PyList_New(Py_ssize_t(values.size())));
    nb::object owner = nb::steal(list);
    for (std::size_t i = 0; i < values.size(); ++i) PyList_SET_ITEM(list, Py_ssize_t(i), convert(values[i]));
    return owner.release().ptr();
}

PyObject* float_list(const std::vector<float>& v) { return new_list(v, new_float); }
template <class T>
PyObject* int_list(const std::vector<T>& v) {
    return new_list(v, new_int<T>);
}
PyObject* str_list(const std::vector<std::string>& v) { return new_list(v, [](const std::string& s) { return new_str(s); }); }
PyObject* index_groups(const std::vector<std::vector<std::uint32_t>>& v) {
    return new_list(v, [](const std::vector<std::uint32_t>& g) { return int_list(g); });
}
PyObject* label_groups(const std::vector<std::vector<std::string>>& v) { return new_list(v, str_list); }

template <class T, class F>
PyObject* list_with_none(const std::vector<std::optional<T>>& v, F&& convert) {
    return new_list(v, [&](const std::optional<T>& x) -> PyObject* {
        if (!x) return Py_NewRef(Py_None);
        return convert(*x);
    });
}

// The printed symbols, one str object per element and call, shared by every atom of it.
PyObject* symbols_list(const std::vector<zyk::Element>& symbols) {
    std::array<nb::object, zyk::element_count> made;
    return new_list(symbols, [&](zyk::Element e) {
        const auto code = std::size_t(zyk::element_code(e));
        if (code >= made.size()) return new_str(zyk::element_symbol(e));
        if (!made[code]) made[code] = nb::steal(new_str(zyk::element_symbol(e)));
        return Py_NewRef(made[code].ptr());
    });
}

class DictWriter {
public:
    DictWriter() : dict_(nb::steal(checked(PyDict_New()))) {}
    // Takes the new reference `value`.
    void set(const char* key, PyObject* value) {
        nb::object held = nb::steal(value);
        if (PyDict_SetItemString(dict_.ptr(), key, value) != 0) throw nb::python_error();
    }
    template <class T, class F>
    void set_optional(const char* key, const std::optional<T>& value, F&& convert) {
        if (value) set(key, convert(*value));
    }
    nb::object done() { return std::move(dict_); }

private:
    nb::object dict_;
};

PyObject* bond_tuple(const zyk::Bond& b) {
    PyObject* t = checked(PyTuple_New(3));
    nb::object owner = nb::steal(t);
    PyTuple_SET_ITEM(t, 0, new_int(b.first));
    PyTuple_SET_ITEM(t, 1, new_int(b.second));
    PyTuple_SET_ITEM(t, 2, new_int(zyk::bond_order_code(b.order)));
    return owner.release().ptr();
}

PyObject* helices_dict(const zyk::AlphaHelices& h) {
    DictWriter d;
    d.set("helix_ids", str_list(h.helix_ids));
    d.set("chain_refs", int_list(h.chain_refs));
    d.set("start_residues", int_list(h.start_residues));
    d.set("end_residues", int_list(h.end_residues));
    d.set("classes", list_with_none(h.classes, [](zyk::HelixClass c) { return new_str(zyk::helix_class_name(c)); }));
    d.set("lengths", list_with_none(h.lengths, new_int<std::uint32_t>));
    return d.done().release().ptr();
}

PyObject* sheets_dict(const zyk::BetaSheets& s) {
    DictWriter d;
    d.set("sheet_ids", str_list(s.sheet_ids));
    d.set("strand_ids", str_list(s.strand_ids));
    d.set("strand_ordinals", list_with_none(s.strand_ordinals, new_int<std::uint32_t>));
    d.set("num_strands", list_with_none(s.num_strands, new_int<std::uint32_t>));
    d.set("chain_refs", int_list(s.chain_refs));
    d.set("start_residues", int_list(s.start_residues));
    d.set("end_residues", int_list(s.end_residues));
    d.set("senses", list_with_none(s.senses, [](zyk::StrandSense x) { return new_str(zyk::strand_sense_name(x)); }));
    return d.done().release().ptr();
}

// ---------------------------------------------------------------- reading

// A record string: UTF-8, or the bytes a surrogateescape'd str stands for (see new_str).
std::string read_str(nb::handle h) {
    if (!PyUnicode_Check(h.ptr())) fail_type(h, "PyString");
    Py_ssize_t len = 0;
    if (const char* p = PyUnicode_AsUTF8AndSize(h.ptr(), &len)) return std::string(p, std::size_t(len));
    PyErr_Clear();
    nb::object bytes = nb::steal(PyUnicode_AsEncodedString(h.ptr(), "utf-8", "surrogateescape"));
    if (!bytes) fail_from_python_error();
    return std::string(PyBytes_AS_STRING(bytes.ptr()), std::size_t(PyBytes_GET_SIZE(bytes.ptr())));
}

// Lists may also come as tuples, other sequences or sets. Only sizes Python itself vouches for
// are reserved: a user-defined __len__ may say anything.
template <class T, class F>
std::vector<T> read_list(nb::handle h, F&& convert) {
    std::vector<T> out;
    PyObject* o = h.ptr();
    if (PyList_Check(o) || PyTuple_Check(o)) out.reserve(std::size_t(PySequence_Fast_GET_SIZE(o)));
    else if (PyAnySet_Check(o)) out.reserve(std::size_t(PySet_GET_SIZE(o)));
    for_each_item(h, [&](nb::handle item) { out.push_back(convert(item)); }, true);
    return out;
}

std::vector<std::uint32_t> read_u32_list(nb::handle h) { return read_list<std::uint32_t>(h, to_int<std::uint32_t>); }
std::vector<std::string> read_str_list(nb::handle h) { return read_list<std::string>(h, read_str); }
std::vector<float> read_f32_list(nb::handle h) { return read_list<float>(h, to_f32); }

template <class T, class F>
std::vector<std::optional<T>> read_list_with_none(nb::handle h, F&& convert) {
    return read_list<std::optional<T>>(h, [&](nb::handle item) -> std::optional<T> {
        if (item.is_none()) return std::nullopt;
        return convert(item);
    });
}

// "unknown variant `Xx`, expected one of `A`, `B`, ..."
[[noreturn]] void fail_variant(std::string_view text, const std::string& accepted) {
    fail_conversion(PyExc_ValueError, "unknown variant `" + std::string(text) + "`, expected one of " + accepted);
}

// The text naming a variant: a str, or the one key of a one-key dict.
std::string_view variant_text(nb::handle h, nb::object& keep) {
    if (PyUnicode_Check(h.ptr())) return to_str(h);
    if (PyDict_Check(h.ptr())) {
        const Py_ssize_t size = PyDict_Size(h.ptr());
        if (size != 1) {
            fail_conversion(PyExc_ValueError, "invalid value: a dict with " + std::to_string(size) +
                                                  " keys, expected a str or a dict with exactly one key");
        }
        Py_ssize_t pos = 0;
        PyObject *key = nullptr, *value = nullptr;
        PyDict_Next(h.ptr(), &pos, &key, &value);
        keep = nb::borrow(key);
        return to_str(keep);
    }
    fail_type(h, "PyString");
}

struct SymbolTable {
    std::array<std::int16_t, 256> one{};
    std::array<std::int16_t, 65536> two{};
    std::string accepted;  // every accepted form, for the unknown-variant message

    SymbolTable() {
        one.fill(-1);
        two.fill(-1);
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; };
        auto pair = [](char a, char b) { return (std::size_t(static_cast<unsigned char>(a)) << 8) | static_cast<unsigned char>(b); };
        auto add = [&](const std::string& form) {
            if (!accepted.empty()) accepted += ", ";
            accepted += "`" + form + "`";
        };
        for (std::size_t code = 0; code < zyk::element_count; ++code) {
            const std::string_view s = zyk::element_symbol(static_cast<zyk::Element>(code));
            if (s.size() == 1) {
                one[static_cast<unsigned char>(s[0])] = std::int16_t(code);
                one[static_cast<unsigned char>(lower(s[0]))] = std::int16_t(code);
                add(std::string(s));
                add(std::string(1, lower(s[0])));
            } else {
                two[pair(upper(s[0]), upper(s[1]))] = std::int16_t(code);
                two[pair(s[0], s[1])] = std::int16_t(code);
                two[pair(lower(s[0]), lower(s[1]))] = std::int16_t(code);
                add(std::string{upper(s[0]), upper(s[1])});
                add(std::string(s));
                add(std::string{lower(s[0]), lower(s[1])});
            }
        }
    }
};

const SymbolTable& symbol_table() {
    static const SymbolTable table;
    return table;
}

zyk::Element read_element(nb::handle h) {
    nb::object keep;
    const std::string_view text = variant_text(h, keep);
    const SymbolTable& t = symbol_table();
    std::int16_t code = -1;
    if (text.size() == 1) {
        code = t.one[static_cast<unsigned char>(text[0])];
    } else if (text.size() == 2) {
        code = t.two[(std::size_t(static_cast<unsigned char>(text[0])) << 8) | static_cast<unsigned char>(text[1])];
    }
    if (code < 0) fail_variant(text, t.accepted);
    return static_cast<zyk::Element>(code);
}

template <class Code, std::size_t N>
Code read_named(nb::handle h, const std::uint8_t (&codes)[N], std::string_view (*name)(Code)) {
    nb::object keep;
    const std::string_view text = variant_text(h, keep);
    for (std::uint8_t c : codes) {
        if (name(static_cast<Code>(c)) == text) return static_cast<Code>(c);
    }
    std::string accepted;
    for (std::uint8_t c : codes) {
        if (!accepted.empty()) accepted += ", ";
        accepted += "`" + std::string(name(static_cast<Code>(c))) + "`";
    }
    fail_variant(text, accepted);
}

zyk::HelixClass read_helix_class(nb::handle h) { return read_named(h, zyk::helix_class_codes, zyk::helix_class_name); }
zyk::StrandSense read_strand_sense(nb::handle h) { return read_named(h, zyk::strand_sense_codes, zyk::strand_sense_name); }

zyk::Bond read_bond(nb::handle h) {
    std::vector<nb::object> items;
    PyObject* o = h.ptr();
    if (PyTuple_Check(o) || PyList_Check(o)) {
        const Py_ssize_t size = PySequence_Fast_GET_SIZE(o);
        if (size == 3) {
            for (Py_ssize_t i = 0; i < 3; ++i) items.push_back(nb::borrow(PySequence_Fast_GET_ITEM(o, i)));
        } else {
            items.resize(std::size_t(size));
        }
    } else {
        for_each_item(h, [&](nb::handle item) { items.push_back(nb::borrow(item)); }, true);
    }
    if (items.size() != 3) {
        fail_conversion(PyExc_ValueError,
                        "invalid length " + std::to_string(items.size()) + ", expected tuple struct Bond with 3 elements");
    }
    const auto first = to_int<std::uint32_t>(items[0]);
    const auto second = to_int<std::uint32_t>(items[1]);
    const auto order = to_int<std::uint8_t>(items[2]);
    if (!zyk::is_bond_order_code(order)) {
        fail_conversion(PyExc_ValueError, "invalid value: " + std::to_string(order) +
                                              ", expected one of: 0, 1, 2, 3, 4, 5, 6, 250, 251, 252, 253, 254, 255");
    }
    return zyk::Bond{first, second, zyk::bond_order_from_byte(order)};
}

zyk::Stereochemistry read_stereochemistry(nb::handle h) {
    const auto code = to_int<std::int8_t>(h);
    const auto s = zyk::stereochemistry_from_code(code);
    if (!s) {
        fail_conversion(PyExc_ValueError, "invalid value: " + std::to_string(code) + ", expected one of: 0, 1, -1, 2, 3");
    }
    return *s;
}

bool is_mapping(nb::handle h) {
    if (PyDict_Check(h.ptr())) return true;
    nb::object abc = nb::steal(PyImport_ImportModule("collections.abc"));
    if (!abc) fail_from_python_error();
    nb::object mapping = nb::steal(PyObject_GetAttrString(abc.ptr(), "Mapping"));
    if (!mapping) fail_from_python_error();
    const int r = PyObject_IsInstance(h.ptr(), mapping.ptr());
    if (r < 0) fail_from_python_error();
    return r == 1;
}

// Reads a record from a mapping: `read(i, value)` for each key that names field i (a None value
// of an optional field is skipped: absent); other keys are ignored. Afterwards the first
// required field (in field order) that was not seen fails with "missing field `name`".
template <std::size_t N, class F>
void read_record(nb::handle h, const std::array<const char*, N>& names, std::size_t required, F&& read) {
    if (!is_mapping(h)) fail_type(h, "Mapping");
    nb::object items = nb::steal(PyDict_Check(h.ptr()) ? PyDict_Items(h.ptr()) : PyMapping_Items(h.ptr()));
    if (!items) fail_from_python_error();
    std::array<bool, N> seen{};
    const Py_ssize_t count = PyList_GET_SIZE(items.ptr());
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* item = PyList_GET_ITEM(items.ptr(), i);
        if (!PyTuple_Check(item) || PyTuple_GET_SIZE(item) != 2) fail_conversion(PyExc_TypeError, "mapping items must be pairs");
        nb::handle key = PyTuple_GET_ITEM(item, 0), value = PyTuple_GET_ITEM(item, 1);
        const std::string_view name = to_str(key);
        std::size_t field = 0;
        while (field < N && name != names[field]) ++field;
        if (field == N) continue;
        seen[field] = true;
        if (field >= required && value.is_none()) continue;
        read(field, value);
    }
    for (std::size_t field = 0; field < required; ++field) {
        if (!seen[field]) fail_conversion(PyExc_ValueError, "missing field `" + std::string(names[field]) + "`");
    }
}

zyk::Topology read_topology(nb::handle h) {
    static constexpr std::array<const char*, 13> names = {
        "schema_version", "symbols",         "geometry",  "labels",
        "partial_charges", "formal_charges", "connectivity", "stereochemistry",
        "velocities",      "fragments",      "fragment_formal_charges", "fragment_partial_charges",
        "fragment_multiplicities"};
    zyk::Topology t = zyk::make_topology({}, {});
    read_record(h, names, 3, [&](std::size_t field, nb::handle v) {
        switch (field) {
            case 0: {
                auto version = zyk::parse_schema_version(read_str(v));
                if (!version) fail_conversion(PyExc_ValueError, version.error());
                t.schema_version = std::move(*version);
                break;
            }
            case 1: t.symbols = read_list<zyk::Element>(v, read_element); break;
            case 2: t.geometry = read_f32_list(v); break;
            case 3: t.labels = read_str_list(v); break;
            case 4: t.partial_charges = read_f32_list(v); break;
            case 5: t.formal_charges = read_list<std::int32_t>(v, to_int<std::int32_t>); break;
            case 6: t.connectivity = read_list<zyk::Bond>(v, read_bond); break;
            case 7: t.stereochemistry = read_list<zyk::Stereochemistry>(v, read_stereochemistry); break;
            case 8: t.velocities = read_f32_list(v); break;
            case 9: t.fragments = read_list<zyk::Fragment>(v, read_u32_list); break;
            case 10: t.fragment_formal_charges = read_list<std::int32_t>(v, to_int<std::int32_t>); break;
            case 11: t.fragment_partial_charges = read_f32_list(v); break;
            case 12: t.fragment_multiplicities = read_list<std::uint8_t>(v, to_int<std::uint8_t>); break;
        }
    });
    return t;
}

zyk::Residues read_residues(nb::handle h) {
    static constexpr std::array<const char*, 6> names = {"residues", "seqs", "seq_ns", "insertion_codes", "labeled", "labels"};
    zyk::Residues r;
    read_record(h, names, 4, [&](std::size_t field, nb::handle v) {
        switch (field) {
            case 0: r.residues = read_list<zyk::Residue>(v, read_u32_list); break;
            case 1: r.seqs = read_str_list(v); break;
            case 2: r.seq_ns = read_list<std::int32_t>(v, to_int<std::int32_t>); break;
            case 3: r.insertion_codes = read_str_list(v); break;
            case 4: r.labeled = read_u32_list(v); break;
            case 5: r.labels = read_list<std::vector<std::string>>(v, read_str_list); break;
        }
    });
    return r;
}

zyk::AlphaHelices read_helices(nb::handle h) {
    static constexpr std::array<const char*, 6> names = {"helix_ids",    "chain_refs", "start_residues",
                                                         "end_residues", "classes",    "lengths"};
    zyk::AlphaHelices a;
    read_record(h, names, 6, [&](std::size_t field, nb::handle v) {
        switch (field) {
            case 0: a.helix_ids = read_str_list(v); break;
            case 1: a.chain_refs = read_u32_list(v); break;
            case 2: a.start_residues = read_u32_list(v); break;
            case 3: a.end_residues = read_u32_list(v); break;
            case 4: a.classes = read_list_with_none<zyk::HelixClass>(v, read_helix_class); break;
            case 5: a.lengths = read_list_with_none<std::uint32_t>(v, to_int<std::uint32_t>); break;
        }
    });
    return a;
}

zyk::BetaSheets read_sheets(nb::handle h) {
    static constexpr std::array<const char*, 8> names = {"sheet_ids",  "strand_ids",     "strand_ordinals", "num_strands",
                                                         "chain_refs", "start_residues", "end_residues",    "senses"};
    zyk::BetaSheets b;
    read_record(h, names, 8, [&](std::size_t field, nb::handle v) {
        switch (field) {
            case 0: b.sheet_ids = read_str_list(v); break;
            case 1: b.strand_ids = read_str_list(v); break;
            case 2: b.strand_ordinals = read_list_with_none<std::uint32_t>(v, to_int<std::uint32_t>); break;
            case 3: b.num_strands = read_list_with_none<std::uint32_t>(v, to_int<std::uint32_t>); break;
            case 4: b.chain_refs = read_u32_list(v); break;
            case 5: b.start_residues = read_u32_list(v); break;
            case 6: b.end_residues = read_u32_list(v); break;
            case 7: b.senses = read_list_with_none<zyk::StrandSense>(v, read_strand_sense); break;
        }
    });
    return b;
}

zyk::Chains read_chains(nb::handle h) {
    static constexpr std::array<const char*, 5> names = {"chains", "alpha_helices", "beta_sheets", "labeled", "labels"};
    zyk::Chains c;
    read_record(h, names, 1, [&](std::size_t field, nb::handle v) {
        switch (field) {
            case 0: c.chains = read_list<zyk::Chain>(v, read_u32_list); break;
            case 1: c.alpha_helices = read_helices(v); break;
            case 2: c.beta_sheets = read_sheets(v); break;
            case 3: c.labeled = read_u32_list(v); break;
            case 4: c.labels = read_list<std::vector<std::string>>(v, read_str_list); break;
        }
    });
    return c;
}

zyk::TRC read_trc(nb::handle h) {
    static constexpr std::array<const char*, 3> names = {"topology", "residues", "chains"};
    zyk::TRC trc{zyk::make_topology({}, {}), {}, {}};
    read_record(h, names, 3, [&](std::size_t field, nb::handle v) {
        switch (field) {
            case 0: trc.topology = read_topology(v); break;
            case 1: trc.residues = read_residues(v); break;
            case 2: trc.chains = read_chains(v); break;
        }
    });
    return trc;
}

// Runs a read, turning its failure into ValueError "failed to deserialize <Class>: <reason>".
template <class F>
auto deserialize(const char* class_name, F&& read) -> decltype(read()) {
    try {
        return read();
    } catch (const ConversionFailure& f) {
        raise_value_error("failed to deserialize " + std::string(class_name) + ": " + f.message);
    }
}

// `Class.from_dict` as pickle can name it: a built-in method bound to the class, which pickles
// as getattr(Class, "from_dict"). (The class's own static method object cannot be pickled.)
PyObject* call_from_dict(PyObject* cls, PyObject* data) { return PyObject_CallMethod(cls, "from_dict", "O", data); }
PyMethodDef from_dict_def = {"from_dict", call_from_dict, METH_O, nullptr};

}  // namespace

nb::object topology_to_dict(const zyk::Topology& t) {
    DictWriter d;
    d.set("schema_version", new_str(zyk::to_string(t.schema_version)));
    d.set("symbols", symbols_list(t.symbols));
    d.set("geometry", float_list(t.geometry));
    d.set_optional("labels", t.labels, str_list);
    d.set_optional("partial_charges", t.partial_charges, float_list);
    d.set_optional("formal_charges", t.formal_charges, int_list<std::int32_t>);
    d.set_optional("connectivity", t.connectivity, [](const std::vector<zyk::Bond>& v) { return new_list(v, bond_tuple); });
    d.set_optional("stereochemistry", t.stereochemistry, [](const std::vector<zyk::Stereochemistry>& v) {
        return new_list(v, [](zyk::Stereochemistry s) { return new_int(zyk::stereochemistry_code(s)); });
    });
    d.set_optional("velocities", t.velocities, float_list);
    d.set_optional("fragments", t.fragments, index_groups);
    d.set_optional("fragment_formal_charges", t.fragment_formal_charges, int_list<std::int32_t>);
    d.set_optional("fragment_partial_charges", t.fragment_partial_charges, float_list);
    d.set_optional("fragment_multiplicities", t.fragment_multiplicities, int_list<std::uint8_t>);
    return d.done();
}

nb::object residues_to_dict(const zyk::Residues& r) {
    DictWriter d;
    d.set("residues", index_groups(r.residues));
    d.set("seqs", str_list(r.seqs));
    d.set("seq_ns", int_list(r.seq_ns));
    d.set("insertion_codes", str_list(r.insertion_codes));
    d.set_optional("labeled", r.labeled, int_list<std::uint32_t>);
    d.set_optional("labels", r.labels, label_groups);
    return d.done();
}

nb::object chains_to_dict(const zyk::Chains& c) {
    DictWriter d;
    d.set("chains", index_groups(c.chains));
    d.set_optional("alpha_helices", c.alpha_helices, helices_dict);
    d.set_optional("beta_sheets", c.beta_sheets, sheets_dict);
    d.set_optional("labeled", c.labeled, int_list<std::uint32_t>);
    d.set_optional("labels", c.labels, label_groups);
    return d.done();
}

nb::object trc_to_dict(const zyk::TRC& trc) {
    DictWriter d;
    d.set("topology", topology_to_dict(trc.topology).release().ptr());
    d.set("residues", residues_to_dict(trc.residues).release().ptr());
    d.set("chains", chains_to_dict(trc.chains).release().ptr());
    return d.done();
}

nb::object trc_from_dict(nb::handle data) {
    return wrap_trc(deserialize("TRC", [&] { return read_trc(data); }));
}

nb::object topology_from_dict(nb::handle data) {
    auto record = std::make_shared<const zyk::Topology>(deserialize("Topology", [&] { return read_topology(data); }));
    return make_topology_view(std::move(record));
}

nb::object residues_from_dict(nb::handle data) {
    auto record = std::make_shared<const zyk::Residues>(deserialize("Residues", [&] { return read_residues(data); }));
    return make_residues_view(std::move(record));
}

nb::object chains_from_dict(nb::handle data) {
    auto record = std::make_shared<const zyk::Chains>(deserialize("Chains", [&] { return read_chains(data); }));
    return make_chains_view(std::move(record));
}

nb::object reduce_with_dict(nb::handle self) {
    nb::handle cls = reinterpret_cast<PyObject*>(Py_TYPE(self.ptr()));
    nb::object data = nb::steal(checked(PyObject_CallMethod(self.ptr(), "to_dict", nullptr)));
    nb::object from_dict = nb::steal(checked(PyCFunction_New(&from_dict_def, cls.ptr())));
    return nb::make_tuple(from_dict, nb::make_tuple(data));
}

}  // namespace zp
