// The read-only views of a structure: Topology, Residues, Chains, and their Bond,
// AlphaHelices and BetaSheets values.
#pragma once

#include <nanobind/nanobind.h>

#include <atomic>
#include <memory>
#include <utility>

#include "trc.hpp"

namespace zp {

namespace nb = nanobind;

// A property value built on first read and then handed out as the same object. Concurrent
// first reads (free-threaded Python) may each build one, but only the first stored value is
// ever returned; the others are dropped.
class Lazy {
public:
    Lazy() = default;
    Lazy(const Lazy&) = delete;
    Lazy& operator=(const Lazy&) = delete;
    ~Lazy() {
        if (PyObject* p = value_.load(std::memory_order_acquire)) Py_DECREF(p);
    }

    template <class Build>
    nb::object get(Build&& build) {
        if (PyObject* p = value_.load(std::memory_order_acquire)) return nb::borrow(p);
        PyObject* fresh = nb::object(build()).release().ptr();
        PyObject* expected = nullptr;
        if (value_.compare_exchange_strong(expected, fresh, std::memory_order_acq_rel)) return nb::borrow(fresh);
        Py_DECREF(fresh);
        return nb::borrow(expected);
    }

private:
    std::atomic<PyObject*> value_{nullptr};
};

// Allocates an instance of a bound class and constructs its C++ value in place.
template <class T, class... Args>
nb::object make_instance(Args&&... args) {
    nb::handle type = nb::type<T>();
    nb::object inst = nb::inst_alloc(type);
    new (nb::inst_ptr<T>(inst)) T(std::forward<Args>(args)...);
    nb::inst_mark_ready(inst);
    return inst;
}

struct BondView {
    zyk::Bond bond;
};

struct AlphaHelicesView {
    zyk::AlphaHelices table;
};

struct BetaSheetsView {
    zyk::BetaSheets table;
};

struct TopologyView {
    std::shared_ptr<const zyk::Topology> record;
    Lazy schema_version, symbols, geometry, labels, formal_charges, partial_charges, connectivity, stereochemistry, velocities,
        fragments, fragment_formal_charges, fragment_partial_charges, fragment_multiplicities;

    explicit TopologyView(std::shared_ptr<const zyk::Topology> r) : record(std::move(r)) {}
};

struct ResiduesView {
    std::shared_ptr<const zyk::Residues> record;
    Lazy residues, seqs, seq_ns, insertion_codes;

    explicit ResiduesView(std::shared_ptr<const zyk::Residues> r) : record(std::move(r)) {}
};

struct ChainsView {
    std::shared_ptr<const zyk::Chains> record;
    Lazy chains, alpha_helices, beta_sheets;

    explicit ChainsView(std::shared_ptr<const zyk::Chains> r) : record(std::move(r)) {}
};

// The view objects. Creating a Topology fails with ValueError "bad geometry shape: ..." when
// the geometry does not hold three values per symbol. The records are shared, read-only.
nb::object make_topology_view(std::shared_ptr<const zyk::Topology> record);
nb::object make_residues_view(std::shared_ptr<const zyk::Residues> record);
nb::object make_chains_view(std::shared_ptr<const zyk::Chains> record);

void register_topology(nb::module_& m);
void register_residues(nb::module_& m);
void register_chains(nb::module_& m);
void register_bond(nb::module_& m);
void register_alpha_helices(nb::module_& m);
void register_beta_sheets(nb::module_& m);

}  // namespace zp
