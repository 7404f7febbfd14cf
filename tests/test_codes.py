"""The enumeration classes and Bond: members, integers, comparison, hashing."""

import subprocess
import sys

import pytest

import libzyk
from libzyk import (AminoAcidSeq, AtomCheckStrictness, BondOrder, Element, HelixClass, Stereochemistry, StrandSense,
                    TRC)

ELEMENT_SYMBOLS = (
    "X H He Li Be B C N O F Ne Na Mg Al Si P S Cl Ar K Ca Sc Ti V Cr Mn Fe Co Ni Cu Zn Ga Ge As Se Br Kr Rb Sr Y Zr "
    "Nb Mo Tc Ru Rh Pd Ag Cd In Sn Sb Te I Xe Cs Ba La Ce Pr Nd Pm Sm Eu Gd Tb Dy Ho Er Tm Yb Lu Hf Ta W Re Os Ir Pt "
    "Au Hg Tl Pb Bi Po At Rn Fr Ra Ac Th Pa U Np Pu Am Cm Bk Cf Es Fm Md No Lr Rf Db Sg Bh Hs Mt Ds Rg Cn Nh Fl Mc "
    "Lv Ts Og"
).split()

ENUMS = {
    Element: [(s, i) for i, s in enumerate(ELEMENT_SYMBOLS)],
    BondOrder: [("Unspecified", 0), ("Single", 1), ("Double", 2), ("Triple", 3), ("Quadruple", 4), ("Quintuple", 5),
                ("Sextuple", 6), ("FiveAndAHalf", 250), ("FourAndAHalf", 251), ("ThreeAndAHalf", 252),
                ("TwoAndAHalf", 253), ("OneAndAHalf", 254), ("Ring", 255)],
    Stereochemistry: [("NONE", 0), ("Up", 1), ("Down", -1), ("Either", 2), ("CisOrTrans", 3)],
    HelixClass: [("RightHandedAlpha", 1), ("RightHandedOmega", 2), ("RightHandedPi", 3), ("RightHandedGamma", 4),
                 ("RightHanded", 5), ("LeftHandedAlpha", 6), ("LeftHandedOmega", 7), ("LeftHandedGamma", 8),
                 ("Ribbon27", 9), ("Polyproline", 10)],
    StrandSense: [("First", 1), ("Parallel", 2), ("AntiParallel", 255)],
    AminoAcidSeq: [(n, i) for i, n in enumerate(
        "GLY ALA VAL LEU ILE PRO SER THR ASN GLN CYS CYD CYX MET PHE TYR TYD TRP ASP ASH GLU GLH HIS HIN HID HIE HIP "
        "LYS LYD LYN ARG HYP ACE BNC NME NMA NHH UNK".split())],
    AtomCheckStrictness: [("NONE", 0), ("Heavy", 1), ("All", 2)],
}

MEMBERS = [(cls, name, code) for cls, members in ENUMS.items() for name, code in members]


def test_registration_order():
    names = [n for n in vars(libzyk) if not n.startswith("__")]
    assert names == ["TRC", "Topology", "Residues", "Chains", "Element", "Bond", "BondOrder", "Stereochemistry",
                     "AminoAcidSeq", "AlphaHelices", "HelixClass", "BetaSheets", "StrandSense", "AtomCheckStrictness",
                     "from_pdb", "to_pdb", "from_mmcif", "from_sdf", "to_sdf", "from_xyz", "to_xyz"]


@pytest.mark.parametrize("cls", list(ENUMS) + [libzyk.TRC, libzyk.Topology, libzyk.Bond, libzyk.AlphaHelices])
def test_classes_are_module_level_and_bare_named(cls):
    assert cls.__module__ == "libzyk"
    assert cls.__qualname__ == cls.__name__


@pytest.mark.parametrize("cls", list(ENUMS) + [libzyk.Topology, libzyk.Residues, libzyk.Chains, libzyk.Bond,
                                               libzyk.AlphaHelices, libzyk.BetaSheets])
def test_classes_cannot_be_instantiated(cls):
    with pytest.raises(TypeError):
        cls()


@pytest.mark.parametrize("cls,name,code", MEMBERS)
def test_member_int_repr_and_identity(cls, name, code):
    member = getattr(cls, name)
    assert int(member) == code
    assert repr(member) == f"{cls.__name__}.{name}"
    assert member is getattr(cls, name)
    assert member == code and not (member != code)
    assert member == member


@pytest.mark.parametrize("cls", list(ENUMS))
def test_members_are_class_attributes_in_code_order(cls):
    declared = [n for n in vars(cls) if isinstance(vars(cls)[n], cls)]
    assert declared == [name for name, _ in ENUMS[cls]]


def test_str_is_repr_except_for_amino_acids():
    assert str(Element.He) == "Element.He"
    assert str(BondOrder.Ring) == "BondOrder.Ring"
    assert str(AminoAcidSeq.HID) == "HID"
    assert repr(AminoAcidSeq.HID) == "AminoAcidSeq.HID"


@pytest.mark.parametrize("left,right,equal", [
    (Element.He, 2, True),
    (Element.He, Element.H, False),
    (Element.He, Element.He, True),
    (Element.H, 300, False),           # does not fit a byte: not comparable, no error
    (Element.H, -1, False),
    (Element.H, 1.0, False),           # floats are not integers
    (Element.H, "H", False),
    (Stereochemistry.Down, -1, True),
    (Stereochemistry.Down, 255, False),
    (StrandSense.AntiParallel, -1, False),
    (StrandSense.AntiParallel, 255, True),
    (BondOrder.Ring, 255, True),
    (AminoAcidSeq.UNK, 37, True),
    (AminoAcidSeq.GLY, 2**40, False),
    (Element.H, BondOrder.Single, False),  # same code, different class
])
def test_equality(left, right, equal):
    assert (left == right) is equal
    assert (left != right) is (not equal)


@pytest.mark.parametrize("op", ["__lt__", "__le__", "__gt__", "__ge__"])
def test_no_ordering(op):
    import operator
    with pytest.raises(TypeError):
        getattr(operator, op.strip("_"))(Element.He, Element.Li)


def test_members_are_immutable():
    with pytest.raises((TypeError, AttributeError)):
        Element.H = 3
    with pytest.raises((TypeError, AttributeError)):
        del Element.H
    assert int(Element.H) == 1


# SipHash-1-3, zero key, over the code's little-endian bytes in the class's integer type.
def siphash13(data: bytes) -> int:
    mask = (1 << 64) - 1
    v0, v1, v2, v3 = 0x736F6D6570736575, 0x646F72616E646F6D, 0x6C7967656E657261, 0x7465646279746573

    def rotl(x, b):
        return ((x << b) | (x >> (64 - b))) & mask

    def rnd():
        nonlocal v0, v1, v2, v3
        v0 = (v0 + v1) & mask; v1 = rotl(v1, 13); v1 ^= v0; v0 = rotl(v0, 32)
        v2 = (v2 + v3) & mask; v3 = rotl(v3, 16); v3 ^= v2
        v0 = (v0 + v3) & mask; v3 = rotl(v3, 21); v3 ^= v0
        v2 = (v2 + v1) & mask; v1 = rotl(v1, 17); v1 ^= v2; v2 = rotl(v2, 32)

    full = len(data) // 8 * 8
    for i in range(0, full, 8):
        m = int.from_bytes(data[i:i + 8], "little")
        v3 ^= m; rnd(); v0 ^= m
    b = (len(data) << 56) & mask
    b |= int.from_bytes(data[full:], "little")
    v3 ^= b; rnd(); v0 ^= b
    v2 ^= 0xFF
    rnd(); rnd(); rnd()
    h = v0 ^ v1 ^ v2 ^ v3
    h = h - (1 << 64) if h >= 1 << 63 else h
    return -2 if h == -1 else h


@pytest.mark.parametrize("cls,name,code", MEMBERS)
def test_hash_is_siphash_of_the_code(cls, name, code):
    if cls is AminoAcidSeq:
        data = code.to_bytes(8, "little", signed=True)
    elif cls is Stereochemistry:
        data = code.to_bytes(1, "little", signed=True)
    else:
        data = code.to_bytes(1, "little")
    assert hash(getattr(cls, name)) == siphash13(data)


def test_hash_is_the_same_in_another_process():
    code = "import libzyk; print(hash(libzyk.Element.H), hash(libzyk.AminoAcidSeq.GLY))"
    out = subprocess.run([sys.executable, "-c", code], check=True, capture_output=True, text=True).stdout.split()
    assert out == [str(hash(Element.H)), str(hash(AminoAcidSeq.GLY))]


def test_members_work_as_dict_keys():
    d = {Element.H: "h", Element.He: "he"}
    assert d[Element.H] == "h"


@pytest.mark.parametrize("name,expected", [
    ("HID", AminoAcidSeq.HID), ("hid", AminoAcidSeq.HID), ("NME", AminoAcidSeq.NME), ("unk", AminoAcidSeq.UNK),
])
def test_from_pdb_std_name_returns_the_cached_member(name, expected):
    assert AminoAcidSeq.from_pdb_std_name(name) is expected


@pytest.mark.parametrize("name,message", [
    ("Hid", "invalid amino acid name, found 'Hid'"),
    ("HID ", "invalid amino acid name, found 'HID '"),
    ("HSD", "invalid amino acid name, found 'HSD'"),
    ("", "invalid amino acid name, found ''"),
    ("HOH", "invalid amino acid name, found 'HOH'"),
])
def test_from_pdb_std_name_rejects(name, message):
    with pytest.raises(ValueError) as e:
        AminoAcidSeq.from_pdb_std_name(name)
    assert str(e.value) == message


@pytest.mark.parametrize("name,expected", [
    ("ACE", True), ("UNK", True), ("NME", True), ("ala", True), ("HOH", False), ("", False), ("ALAA", False),
    ("Ala", False),
])
def test_is_amino_acid(name, expected):
    assert AminoAcidSeq.is_amino_acid(name) is expected


@pytest.mark.parametrize("method", ["from_pdb_std_name", "is_amino_acid"])
def test_residue_argument_must_be_str(method):
    with pytest.raises(TypeError, match="^argument 'residue': "):
        getattr(AminoAcidSeq, method)(5)


@pytest.mark.parametrize("member,letter", [
    (AminoAcidSeq.CYX, "C"), (AminoAcidSeq.HYP, "O"), (AminoAcidSeq.NME, "X"), (AminoAcidSeq.GLY, "G"),
    (AminoAcidSeq.HIP, "H"), (AminoAcidSeq.LYN, "K"), (AminoAcidSeq.UNK, "X"), (AminoAcidSeq.TYD, "Y"),
])
def test_one_letter_code(member, letter):
    assert member.one_letter_code() == letter


def test_to_pdb_std_name_keeps_the_variant():
    assert AminoAcidSeq.GLH.to_pdb_std_name() == "GLH"
    assert AminoAcidSeq.HID.to_pdb_std_name() == "HID"


def test_strictness_docstring():
    lines = AtomCheckStrictness.__doc__.split("\n")
    assert lines[0] == "Allows us to change how strict we are when we check for missing atoms, add bonds, etc."
    assert lines[1] == ""
    assert lines[-1] == "  heavy atom bonds)."
    assert len(lines) == 13


def test_bond_view():
    t = TRC([Element.C, Element.O, Element.N, Element.N], [[0, 0, 0]] * 4,
            connectivity=[(0, 1, 1), (2, 3, 255), (1, 2, 254)])
    bonds = t.topology.connectivity
    assert [repr(b) for b in bonds] == ["Bond((0, 1), Single)", "Bond((2, 3), Ring)", "Bond((1, 2), OneAndAHalf)"]
    assert bonds[1].order is BondOrder.Ring
    assert bonds[0].atoms == (0, 1)
    assert bonds[0].atoms is not bonds[0].atoms  # a new tuple per read
