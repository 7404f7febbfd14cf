#include "enums.hpp"

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "args.hpp"

namespace zp {
namespace {

// SipHash-1-3 with a zero key: hashes are the same in every process.
std::uint64_t siphash13(const unsigned char* data, std::size_t len) {
    std::uint64_t v0 = 0x736f6d6570736575ULL, v1 = 0x646f72616e646f6dULL, v2 = 0x6c7967656e657261ULL,
                  v3 = 0x7465646279746573ULL;
    auto rotl = [](std::uint64_t x, int b) { return (x << b) | (x >> (64 - b)); };
    auto round = [&] {
        v0 += v1; v1 = rotl(v1, 13); v1 ^= v0; v0 = rotl(v0, 32);
        v2 += v3; v3 = rotl(v3, 16); v3 ^= v2;
        v0 += v3; v3 = rotl(v3, 21); v3 ^= v0;
        v2 += v1; v1 = rotl(v1, 17); v1 ^= v2; v2 = rotl(v2, 32);
    };
    const std::size_t full = len / 8 * 8;
    for (std::size_t i = 0; i < full; i += 8) {
        std::uint64_t m = 0;
        for (int k = 0; k < 8; ++k) m |= std::uint64_t(data[i + k]) << (8 * k);
        v3 ^= m;
        round();
        v0 ^= m;
    }
    std::uint64_t b = std::uint64_t(len) << 56;
    for (std::size_t k = 0; k < len - full; ++k) b |= std::uint64_t(data[full + k]) << (8 * k);
    v3 ^= b;
    round();
    v0 ^= b;
    v2 ^= 0xff;
    round();
    round();
    round();
    return v0 ^ v1 ^ v2 ^ v3;
}

enum class IntKind { U8, I8, I64 };

struct ClassInfo {
    const char* class_name;
    IntKind kind;
    std::vector<std::pair<std::string, long long>> members;
};

// Borrowed pointers to the members (their class attributes keep them alive; the classes are
// immutable, so the attributes cannot be replaced). Indexed by code, offset for signed codes.
template <class Code>
struct Table {
    static inline std::array<PyObject*, 256> by_code{};
    static inline const ClassInfo* info = nullptr;
};

std::size_t slot(IntKind kind, long long code) { return kind == IntKind::I8 ? std::size_t(code + 128) : std::size_t(code); }

bool fits(IntKind kind, nb::handle other, long long& out) {
    if (!PyIndex_Check(other.ptr()) || PyFloat_Check(other.ptr())) return false;
    nb::object index = nb::steal(PyNumber_Index(other.ptr()));
    if (!index) {
        PyErr_Clear();
        return false;
    }
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (overflow || (v == -1 && PyErr_Occurred())) {
        PyErr_Clear();
        return false;
    }
    switch (kind) {
        case IntKind::U8: if (v < 0 || v > 255) return false; break;
        case IntKind::I8: if (v < -128 || v > 127) return false; break;
        case IntKind::I64: break;
    }
    out = v;
    return true;
}

long long hash_of(IntKind kind, long long code) {
    unsigned char bytes[8];
    std::size_t len = 1;
    if (kind == IntKind::I64) {
        len = 8;
        const auto u = static_cast<std::uint64_t>(code);
        for (int k = 0; k < 8; ++k) bytes[k] = static_cast<unsigned char>(u >> (8 * k));
    } else {
        bytes[0] = static_cast<unsigned char>(code & 0xff);
    }
    const auto h = static_cast<long long>(siphash13(bytes, len));
    return h == -1 ? -2 : h;
}

// The members are class attributes of their own class: a cycle (class -> member -> class)
// that the garbage collector must be able to see, so members report their type.
int traverse_member(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int clear_member(PyObject*) { return 0; }

PyType_Slot member_slots[] = {
    {Py_tp_traverse, reinterpret_cast<void*>(traverse_member)},
    {Py_tp_clear, reinterpret_cast<void*>(clear_member)},
    {0, nullptr},
};

template <class Code>
nb::class_<Member<Code>> define(nb::module_& m, const ClassInfo& info, const char* doc = nullptr) {
    using M = Member<Code>;
    Table<Code>::info = &info;
    auto cls = doc ? nb::class_<M>(m, info.class_name, doc, nb::type_slots(member_slots))
                   : nb::class_<M>(m, info.class_name, nb::type_slots(member_slots));
    const IntKind kind = info.kind;
    cls.def("__int__", [](const M& self) { return self.code; });
    cls.def("__repr__", [](const M& self) {
        const ClassInfo& s = *Table<Code>::info;
        for (const auto& [name, code] : s.members) {
            if (code == self.code) return std::string(s.class_name) + "." + name;
        }
        return std::string(s.class_name) + ".?";
    });
    cls.def("__eq__", [kind](const M& self, nb::handle other) -> nb::object {
        if (nb::isinstance<M>(other)) return nb::bool_(nb::cast<const M&>(other).code == self.code);
        long long v;
        if (fits(kind, other, v)) return nb::bool_(v == self.code);
        return nb::borrow(Py_NotImplemented);
    });
    cls.def("__ne__", [kind](const M& self, nb::handle other) -> nb::object {
        if (nb::isinstance<M>(other)) return nb::bool_(nb::cast<const M&>(other).code != self.code);
        long long v;
        if (fits(kind, other, v)) return nb::bool_(v != self.code);
        return nb::borrow(Py_NotImplemented);
    });
    cls.def("__hash__", [kind](const M& self) { return hash_of(kind, self.code); });
    return cls;
}

// Creates the member objects as class attributes, then freezes the class.
template <class Code>
void populate(nb::class_<Member<Code>>& cls) {
    const ClassInfo& info = *Table<Code>::info;
    for (const auto& [name, code] : info.members) {
        nb::object obj = nb::cast(Member<Code>{{code}});
        cls.attr(name.c_str()) = obj;
        Table<Code>::by_code[slot(info.kind, code)] = obj.ptr();
    }
    reinterpret_cast<PyTypeObject*>(cls.ptr())->tp_flags |= Py_TPFLAGS_IMMUTABLETYPE;
    PyType_Modified(reinterpret_cast<PyTypeObject*>(cls.ptr()));
}

template <class Code>
nb::object lookup(long long code) {
    const ClassInfo& info = *Table<Code>::info;
    PyObject* p = Table<Code>::by_code[slot(info.kind, code)];
    if (!p) raise(PyExc_SystemError, std::string("no ") + info.class_name + " member for code " + std::to_string(code));
    return nb::borrow(p);
}

template <class Code>
const Member<Code>& as_member(nb::handle h) {
    if (!nb::isinstance<Member<Code>>(h)) fail_type(h, Table<Code>::info->class_name);
    return nb::cast<const Member<Code>&>(h);
}

// clang-format off
const ClassInfo element_info = [] {
    ClassInfo s{"Element", IntKind::U8, {}};
    for (std::size_t code = 0; code < zyk::element_count; ++code) {
        s.members.emplace_back(std::string(zyk::element_symbol(static_cast<zyk::Element>(code))), (long long)code);
    }
    return s;
}();

const ClassInfo bond_order_info{"BondOrder", IntKind::U8, {
    {"Unspecified", 0}, {"Single", 1}, {"Double", 2}, {"Triple", 3}, {"Quadruple", 4}, {"Quintuple", 5},
    {"Sextuple", 6}, {"FiveAndAHalf", 250}, {"FourAndAHalf", 251}, {"ThreeAndAHalf", 252},
    {"TwoAndAHalf", 253}, {"OneAndAHalf", 254}, {"Ring", 255}}};

const ClassInfo stereochemistry_info{"Stereochemistry", IntKind::I8, {
    {"NONE", 0}, {"Up", 1}, {"Down", -1}, {"Either", 2}, {"CisOrTrans", 3}}};

const ClassInfo helix_class_info{"HelixClass", IntKind::U8, {
    {"RightHandedAlpha", 1}, {"RightHandedOmega", 2}, {"RightHandedPi", 3}, {"RightHandedGamma", 4},
    {"RightHanded", 5}, {"LeftHandedAlpha", 6}, {"LeftHandedOmega", 7}, {"LeftHandedGamma", 8},
    {"Ribbon27", 9}, {"Polyproline", 10}}};

const ClassInfo strand_sense_info{"StrandSense", IntKind::U8, {{"First", 1}, {"Parallel", 2}, {"AntiParallel", 255}}};

const ClassInfo amino_acid_seq_info = [] {
    ClassInfo s{"AminoAcidSeq", IntKind::I64, {}};
    for (std::size_t code = 0; code < zyk::amino_acid_seq_count; ++code) {
        s.members.emplace_back(std::string(zyk::to_pdb_std_name(static_cast<zyk::AminoAcidSeq>(code))), (long long)code);
    }
    return s;
}();

const ClassInfo strictness_info{"AtomCheckStrictness", IntKind::U8, {{"NONE", 0}, {"Heavy", 1}, {"All", 2}}};

const char* strictness_doc =
    "Allows us to change how strict we are when we check for missing atoms, add bonds, etc.\n"
    "\n"
    "When we check for missing atoms, we can pass `Heavy` to only check that all heavy atoms are\n"
    "present, `Hydrogens` to only check hydrogens, or `All` to check both. We can also pass `None` to\n"
    "skip these checks, which might be convenient if running a bunch of functions that involve\n"
    "strictness en masse and want to simply set one variable to disable any checking.\n"
    "\n"
    "The bond and formal charge perception routines rely on predetermined atom sets to do their work.\n"
    "When these states are incorrect in various ways, things can go wrong.\n"
    "- In perceive_formal_charges: currently needs all atoms to be present; otherwise, the proper\n"
    "  protonation states will not be found.\n"
    "- In perceive_bonds: can handle `Heavy` or `All` strictness levels (the former will only add\n"
    "  heavy atom bonds).";
// clang-format on

}  // namespace

void register_element(nb::module_& m) {
    auto cls = define<zyk::Element>(m, element_info);
    populate(cls);
}

void register_bond_order(nb::module_& m) {
    auto cls = define<zyk::BondOrder>(m, bond_order_info);
    populate(cls);
}

void register_stereochemistry(nb::module_& m) {
    auto cls = define<zyk::Stereochemistry>(m, stereochemistry_info);
    populate(cls);
}

void register_helix_class(nb::module_& m) {
    auto cls = define<zyk::HelixClass>(m, helix_class_info);
    populate(cls);
}

void register_strand_sense(nb::module_& m) {
    auto cls = define<zyk::StrandSense>(m, strand_sense_info);
    populate(cls);
}

void register_atom_check_strictness(nb::module_& m) {
    auto cls = define<zyk::AtomCheckStrictness>(m, strictness_info, strictness_doc);
    populate(cls);
}

void register_amino_acid_seq(nb::module_& m) {
    using M = Member<zyk::AminoAcidSeq>;
    auto cls = define<zyk::AminoAcidSeq>(m, amino_acid_seq_info);
    auto code_of = [](const M& self) { return static_cast<zyk::AminoAcidSeq>(self.code); };
    cls.def("__str__", [code_of](const M& self) { return std::string(zyk::to_pdb_std_name(code_of(self))); });
    cls.def("one_letter_code", [code_of](const M& self) { return std::string(1, zyk::one_letter_code(code_of(self))); },
            nb::sig("def one_letter_code(self) -> str"),
            "The one-letter code (X for caps and UNK).");
    cls.def("to_pdb_std_name", [code_of](const M& self) { return std::string(zyk::to_pdb_std_name(code_of(self))); },
            nb::sig("def to_pdb_std_name(self) -> str"),
            "The three-letter name, for example 'HID'.");
    cls.def_static(
        "from_pdb_std_name",
        [](nb::handle residue) {
            const std::string_view name = argument("residue", [&] { return to_str(residue); });
            auto aa = zyk::from_pdb_std_name(name);
            if (!aa) raise_value_error(zyk::message(aa.error()));
            return member(*aa);
        },
        nb::arg("residue"), nb::sig("def from_pdb_std_name(residue: str) -> AminoAcidSeq"),
            "The member for a three-letter name in upper or lower case; raises ValueError for any other text.");
    cls.def_static(
        "is_amino_acid",
        [](nb::handle residue) {
            const std::string_view name = argument("residue", [&] { return to_str(residue); });
            return zyk::is_amino_acid(name);
        },
        nb::arg("residue"), nb::sig("def is_amino_acid(residue: str) -> bool"),
            "Whether from_pdb_std_name would accept the name (caps and UNK included).");
    populate(cls);
}

nb::object member(zyk::Element e) { return lookup<zyk::Element>(zyk::element_code(e)); }
nb::object member(zyk::BondOrder o) { return lookup<zyk::BondOrder>(zyk::bond_order_code(o)); }
nb::object member(zyk::Stereochemistry s) { return lookup<zyk::Stereochemistry>(zyk::stereochemistry_code(s)); }
nb::object member(zyk::AminoAcidSeq a) { return lookup<zyk::AminoAcidSeq>(static_cast<long long>(a)); }
nb::object member(zyk::HelixClass c) { return lookup<zyk::HelixClass>(static_cast<long long>(c)); }
nb::object member(zyk::StrandSense s) { return lookup<zyk::StrandSense>(static_cast<long long>(s)); }
nb::object member(zyk::AtomCheckStrictness s) { return lookup<zyk::AtomCheckStrictness>(static_cast<long long>(s)); }

zyk::Element to_element(nb::handle h) { return static_cast<zyk::Element>(as_member<zyk::Element>(h).code); }

zyk::AtomCheckStrictness to_strictness(nb::handle h) {
    return static_cast<zyk::AtomCheckStrictness>(as_member<zyk::AtomCheckStrictness>(h).code);
}

}  // namespace zp
