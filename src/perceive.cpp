#include "perceive.hpp"

namespace zyk {

// Placeholder until the amino-acid templates exist: perception leaves the record as it is.
std::expected<void, Error> perceive_bonds(TRC&, AtomCheckStrictness) { return {}; }
std::expected<void, Error> perceive_formal_charges(TRC&) { return {}; }

}  // namespace zyk
