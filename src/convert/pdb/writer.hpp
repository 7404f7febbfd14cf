// The PDB writer: one TRC -> PDB text (SEQRES, HELIX, SHEET, ATOM/HETATM, CONECT).
#pragma once

#include <expected>
#include <string>

#include "trc.hpp"

namespace zyk::pdb {

// Atom serial numbers are the 0-based atom indices. Records that cannot be laid out (an atom
// name longer than four characters) or that point at atoms the topology lacks give an error
// message and no text.
std::expected<std::string, std::string> to_pdb(const TRC& trc);

}  // namespace zyk::pdb
