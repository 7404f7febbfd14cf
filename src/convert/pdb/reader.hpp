// The PDB reader: PDB text -> one TRC per model.
#pragma once

#include <expected>
#include <string_view>
#include <vector>

#include "convert/pdb/line.hpp"
#include "trc.hpp"

namespace zyk::pdb {

// Reads every model. With `include_seqres`, residues that SEQRES lists but no ATOM or HETATM
// record resolves are added without atoms. Stops at the first malformed line. Warnings go
// to the log (target libzyk::convert::pdb). Bonds come from CONECT only; nothing is perceived.
std::expected<std::vector<TRC>, Error> from_pdb_with_options(std::string_view contents, bool include_seqres);

}  // namespace zyk::pdb
