// The libzyk extension module: registers the classes and functions, in a fixed order.
#include <nanobind/nanobind.h>

#include "bridges.hpp"
#include "enums.hpp"
#include "ops.hpp"
#include "trc_object.hpp"
#include "views.hpp"

namespace nb = nanobind;

NB_MODULE(libzyk, m) {
    auto trc = zp::register_trc(m);
    zp::register_topology(m);
    zp::register_residues(m);
    zp::register_chains(m);
    zp::register_element(m);
    zp::register_bond(m);
    zp::register_bond_order(m);
    zp::register_stereochemistry(m);
    zp::register_amino_acid_seq(m);
    zp::register_alpha_helices(m);
    zp::register_helix_class(m);
    zp::register_beta_sheets(m);
    zp::register_strand_sense(m);
    zp::register_atom_check_strictness(m);

    m.def("from_pdb", &zp::format_from_pdb, nb::arg("contents").none(), nb::sig("def from_pdb(contents: str) -> list[TRC]"),
          "Read PDB text: one TRC per model, with SEQRES residues, CONECT bonds, helices and sheets, and bond perception run on every model. Raises ValueError \"PDB parse error: ...\".");
    m.def("to_pdb", &zp::format_to_pdb, nb::arg("trc").none(), nb::sig("def to_pdb(trc: TRC) -> str"),
          "Write a structure as PDB text. Raises ValueError \"PDB write error: ...\".");
    m.def("from_mmcif", &zp::format_from_mmcif, nb::arg("contents"), nb::sig("def from_mmcif(contents: str) -> list[TRC]"),
          "Read mmCIF text: one TRC per model of every data block, with component and connection bonds, polymer sequences and secondary structure. Raises ValueError \"mmCIF parse error: ...\".");
    m.def("from_sdf", &zp::format_from_sdf, nb::arg("contents"), nb::sig("def from_sdf(contents: str) -> list[TRC]"),
          "Read SDF V2000 text: one TRC per record. Raises ValueError \"SDF parse error: ...\".");
    m.def("to_sdf", &zp::format_to_sdf, nb::arg("trc"), nb::sig("def to_sdf(trc: TRC) -> str"),
          "Write a single-residue structure as one SDF V2000 record. Raises ValueError \"SDF write error: ...\".");
    m.def("from_xyz", &zp::format_from_xyz, nb::arg("contents").none(), nb::sig("def from_xyz(contents: str) -> TRC"),
          "Read XYZ text: one TRC with atoms only. Raises ValueError \"XYZ parse error: ...\".");
    m.def("to_xyz", &zp::format_to_xyz, nb::arg("trc").none(), nb::sig("def to_xyz(trc: TRC) -> str"),
          "Write a structure as XYZ text. Raises ValueError \"XYZ write error: ...\".");

    zp::add_trc_methods(trc);
    zp::install_bridges();
}
