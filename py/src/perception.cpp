#include "args.hpp"
#include "enums.hpp"
#include "ops.hpp"
#include "perceive.hpp"
#include "trc_object.hpp"

namespace zp {
namespace {

// Records built from Python are unchecked: refuse those whose indices perception cannot trust,
// with the message of the record check that would catch them.
void require_perception_input(const zyk::TRC& trc, bool formal_charges) {
    if (auto ok = zyk::check_perception_input(trc, formal_charges); !ok) raise_value_error(zyk::message(ok.error()));
}

}  // namespace

nb::object trc_perceive_bonds(const zyk::TRC& trc, nb::handle strictness) {
    const zyk::AtomCheckStrictness level = argument("strictness", [&] { return to_strictness(strictness); });
    require_perception_input(trc, false);
    zyk::TRC copy = trc;
    if (auto ok = zyk::perceive_bonds(copy, level); !ok) raise_value_error(zyk::message(ok.error()));
    return wrap_trc(std::move(copy));
}

nb::object trc_perceive_formal_charges(const zyk::TRC& trc) {
    require_perception_input(trc, true);
    zyk::TRC copy = trc;
    if (auto ok = zyk::perceive_formal_charges(copy); !ok) raise_value_error(zyk::message(ok.error()));
    return wrap_trc(std::move(copy));
}

}  // namespace zp
