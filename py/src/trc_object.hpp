// The Python TRC class: a structure record and its three views, immutable once built.
#pragma once

#include <nanobind/nanobind.h>

#include <memory>
#include <string_view>
#include <vector>

#include "trc.hpp"

namespace zp {

namespace nb = nanobind;

struct TRCObject {
    std::shared_ptr<const zyk::TRC> record;
    nb::object topology;
    nb::object residues;
    nb::object chains;
};

// Builds the views (Topology, Residues, Chains, in that order) and the TRC object. Fails with
// the geometry-shape ValueError of the Topology view, creating nothing.
nb::object wrap_trc(zyk::TRC&& trc);
nb::object wrap_trcs(std::vector<zyk::TRC>&& trcs);

// The record of a TRC argument; TypeError "argument 'name': ..." for anything else.
const zyk::TRC& trc_argument(nb::handle h, const char* name);
// The text of a str argument; TypeError "argument 'name': ..." for anything else.
std::string_view str_argument(nb::handle h, const char* name);

nb::class_<TRCObject> register_trc(nb::module_& m);
// Methods whose defaults need the enumeration classes, added once those exist.
void add_trc_methods(nb::class_<TRCObject>& cls);

}  // namespace zp
