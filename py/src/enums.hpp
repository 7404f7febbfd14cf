// The enumeration classes: one cached member object per code, stored as class attributes.
#pragma once

#include <nanobind/nanobind.h>

#include "bond.hpp"
#include "chain.hpp"
#include "element.hpp"
#include "residue.hpp"

namespace zp {

namespace nb = nanobind;

// The Python-side value of every enumeration class: the code, widened.
struct EnumValue {
    long long code;
};

// One type per enumeration, so that nanobind sees distinct classes.
template <class Code>
struct Member : EnumValue {};

void register_element(nb::module_& m);
void register_bond_order(nb::module_& m);
void register_stereochemistry(nb::module_& m);
void register_amino_acid_seq(nb::module_& m);
void register_helix_class(nb::module_& m);
void register_strand_sense(nb::module_& m);
void register_atom_check_strictness(nb::module_& m);

// The cached member of a code (a new reference to the one object).
nb::object member(zyk::Element e);
nb::object member(zyk::BondOrder o);
nb::object member(zyk::Stereochemistry s);
nb::object member(zyk::AminoAcidSeq a);
nb::object member(zyk::HelixClass c);
nb::object member(zyk::StrandSense s);
nb::object member(zyk::AtomCheckStrictness s);

// Member -> code; anything that is not a member of the class fails the conversion with
// "'str' object cannot be converted to 'Element'".
zyk::Element to_element(nb::handle h);
zyk::AtomCheckStrictness to_strictness(nb::handle h);

}  // namespace zp
