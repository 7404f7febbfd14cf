#include "topology.hpp"

#include <type_traits>

#include "index_map.hpp"
#include "spatial.hpp"
#include "text.hpp"

namespace zyk {
namespace {

bool is_alnum_or_hyphen(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
}

bool all_digits(std::string_view s) {
    for (char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

std::expected<std::uint64_t, std::string> parse_version_number(std::string_view s, std::string_view what) {
    if (s.empty()) return std::unexpected("empty string, expected a semver version");
    if (!all_digits(s)) return std::unexpected("unexpected character in " + std::string(what) + " version number");
    if (s.size() > 1 && s[0] == '0') return std::unexpected("invalid leading zero in " + std::string(what) + " version number");
    auto v = text::parse_int<std::uint64_t>(s);
    if (!v) return std::unexpected("value of " + std::string(what) + " version number exceeds u64::MAX");
    return *v;
}

std::expected<void, std::string> check_identifiers(std::string_view s, bool numeric_rules, std::string_view what) {
    if (s.empty()) return std::unexpected("empty identifier segment in " + std::string(what));
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = s.find('.', start);
        const std::string_view id = s.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (id.empty()) return std::unexpected("empty identifier segment in " + std::string(what));
        for (char c : id) {
            if (!is_alnum_or_hyphen(c)) return std::unexpected("unexpected character in " + std::string(what));
        }
        if (numeric_rules && all_digits(id) && id.size() > 1 && id[0] == '0') {
            return std::unexpected("invalid leading zero in " + std::string(what) + " identifier");
        }
        if (dot == std::string_view::npos) return {};
        start = dot + 1;
    }
}

}  // namespace

std::string to_string(const SchemaVersion& v) {
    std::string s = std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.patch);
    if (!v.pre.empty()) s += "-" + v.pre;
    if (!v.build.empty()) s += "+" + v.build;
    return s;
}

std::expected<SchemaVersion, std::string> parse_schema_version(std::string_view text) {
    SchemaVersion v;
    std::string_view rest = text;
    const std::size_t plus = rest.find('+');
    if (plus != std::string_view::npos) {
        const std::string_view build = rest.substr(plus + 1);
        if (auto ok = check_identifiers(build, false, "build metadata"); !ok) return std::unexpected(ok.error());
        v.build = std::string(build);
        rest = rest.substr(0, plus);
    }
    const std::size_t dash = rest.find('-');
    if (dash != std::string_view::npos) {
        const std::string_view pre = rest.substr(dash + 1);
        if (auto ok = check_identifiers(pre, true, "pre-release"); !ok) return std::unexpected(ok.error());
        v.pre = std::string(pre);
        rest = rest.substr(0, dash);
    }
    std::uint64_t* parts[3] = {&v.major, &v.minor, &v.patch};
    const char* names[3] = {"major", "minor", "patch"};
    for (int i = 0; i < 3; ++i) {
        const std::size_t dot = rest.find('.');
        const bool last = i == 2;
        if (!last && dot == std::string_view::npos) {
            return std::unexpected("unexpected end of input while parsing " + std::string(names[i + 1]) + " version number");
        }
        const std::string_view part = last ? rest : rest.substr(0, dot);
        auto n = parse_version_number(part, names[i]);
        if (!n) return std::unexpected(n.error());
        *parts[i] = *n;
        if (!last) rest = rest.substr(dot + 1);
    }
    return v;
}

std::string to_string(AtomRef a) { return "AtomRef(" + std::to_string(a.index) + ")"; }

Topology make_topology(std::vector<Element> symbols, std::vector<float> geometry) {
    Topology t{current_schema_version(), std::move(symbols), std::move(geometry), {}, {}, {}, {}, {}, {}, {}, {}, {}, {}};
    return t;
}

std::string message(const TopologyError& e) {
    using K = TopologyError::Kind;
    const std::string a = std::to_string(e.a), b = std::to_string(e.b);
    switch (e.kind) {
        case K::InvalidGeometryLength: return "geometry length does not symbol length * 3: " + a + " != " + b + " * 3";
        case K::InvalidLabelsLength: return "labels length does not match symbols length: " + a + " != " + b;
        case K::InvalidPartialChargesLength: return "partial charges length does not match symbols length: " + a + " != " + b;
        case K::InvalidFormalChargesLength: return "formal charges length does not match symbols length: " + a + " != " + b;
        case K::InvalidConnectivity:
            return "invalid connectivity between: " + to_string(AtomRef{std::uint32_t(e.a)}) + " and " +
                   to_string(AtomRef{std::uint32_t(e.b)});
        case K::InvalidStereochemistryExistence: return "stereochemistry exists but connectivity does not";
        case K::InvalidStereochemistryLength:
            return "stereochemistry length does not match connectivity length: " + a + " != " + b;
        case K::InvalidVelocitiesLength: return "velocities length does not match symbols length: " + a + " != " + b;
        case K::InvalidFragments: return "invalid fragments";
        case K::InvalidFragmentRef: return "invalid fragment reference: " + a;
        case K::InvalidFragmentFormalChargesLength:
            return "fragment formal charges length does not match fragment length: " + a + " != " + b;
        case K::InvalidFragmentPartialChargesLength:
            return "fragment partial charges length does not match fragment length: " + a + " != " + b;
        case K::InvalidFragmentMultiplicitiesLength:
            return "fragment multiplicities length does not match fragment length: " + a + " != " + b;
    }
    return "invalid topology";
}

std::expected<void, TopologyError> check(const Topology& t) {
    using K = TopologyError::Kind;
    auto fail = [](K kind, std::uint64_t a = 0, std::uint64_t b = 0) {
        return std::unexpected(TopologyError{kind, a, b});
    };
    const std::size_t n = t.symbols.size();
    if (t.geometry.size() != 3 * n) return fail(K::InvalidGeometryLength, t.geometry.size(), n);
    if (t.labels && t.labels->size() != n) return fail(K::InvalidLabelsLength, t.labels->size(), n);
    if (t.partial_charges && t.partial_charges->size() != n) {
        return fail(K::InvalidPartialChargesLength, t.partial_charges->size(), n);
    }
    if (t.formal_charges && t.formal_charges->size() != n) {
        return fail(K::InvalidFormalChargesLength, t.formal_charges->size(), n);
    }
    if (t.connectivity) {
        for (const Bond& bond : *t.connectivity) {
            if (bond.first >= n || bond.second >= n || bond.first == bond.second) {
                return fail(K::InvalidConnectivity, bond.first, bond.second);
            }
        }
        if (t.stereochemistry && t.stereochemistry->size() != t.connectivity->size()) {
            return fail(K::InvalidStereochemistryLength, t.stereochemistry->size(), t.connectivity->size());
        }
    } else if (t.stereochemistry) {
        return fail(K::InvalidStereochemistryExistence);
    }
    if (t.velocities && t.velocities->size() != 3 * n) return fail(K::InvalidVelocitiesLength, t.velocities->size(), n);
    const std::size_t fragment_count = t.fragments ? t.fragments->size() : 0;
    if (t.fragments) {
        std::vector<bool> seen(n, false);
        std::size_t distinct = 0;
        for (const Fragment& fragment : *t.fragments) {
            for (std::uint32_t atom : fragment) {
                if (atom >= n || seen[atom]) return fail(K::InvalidFragments);
                seen[atom] = true;
                ++distinct;
            }
        }
        if (distinct != n) return fail(K::InvalidFragments);
    }
    // Without fragments the per-fragment lists must be absent too: they are checked
    // against a fragment count of 0.
    if (t.fragment_formal_charges && t.fragment_formal_charges->size() != fragment_count) {
        return fail(K::InvalidFragmentFormalChargesLength, t.fragment_formal_charges->size(), fragment_count);
    }
    if (t.fragment_partial_charges && t.fragment_partial_charges->size() != fragment_count) {
        return fail(K::InvalidFragmentPartialChargesLength, t.fragment_partial_charges->size(), fragment_count);
    }
    if (t.fragment_multiplicities && t.fragment_multiplicities->size() != fragment_count) {
        return fail(K::InvalidFragmentMultiplicitiesLength, t.fragment_multiplicities->size(), fragment_count);
    }
    return {};
}

// ---- editing ----

std::string message(const EditError& e) {
    using K = EditError::Kind;
    const std::string a = std::to_string(e.a), b = std::to_string(e.b), c = std::to_string(e.c);
    switch (e.kind) {
        case K::InvalidTopology: return message(e.topology);
        case K::InvalidResidues: return message(e.residues);
        case K::ChainLabelsMissing: return "labels are missing";
        case K::ChainLabelMismatch: return "labeled and labels have different lengths";
        case K::ResidueOutOfRange: return "refs contains residue " + a + ", but there are only " + b + " residues";
        case K::ResidueAtomOutOfRange: return "residue " + a + " contains atom " + b + ", but there are only " + c + " atoms";
        case K::FragmentAtomOutOfRange:
            return "fragment " + a + " contains atom " + b + ", but there are only " + c + " atoms";
        case K::AtomInMultipleFragments: return "atom " + a + " appears in multiple fragments";
        case K::AtomNotInFragment: return "atom " + a + " is not in any fragment";
        case K::GeometryPositionCount: return "geometry has " + a + " positions but TRC has " + b + " atoms";
    }
    return "invalid edit";
}

std::expected<void, TopologyError> check_list_lengths(const Topology& t) {
    using K = TopologyError::Kind;
    auto fail = [](K kind, std::uint64_t a, std::uint64_t b) { return std::unexpected(TopologyError{kind, a, b}); };
    const std::size_t n = t.symbols.size();
    if (t.geometry.size() != 3 * n) return fail(K::InvalidGeometryLength, t.geometry.size(), n);
    if (t.labels && t.labels->size() != n) return fail(K::InvalidLabelsLength, t.labels->size(), n);
    if (t.partial_charges && t.partial_charges->size() != n) {
        return fail(K::InvalidPartialChargesLength, t.partial_charges->size(), n);
    }
    if (t.formal_charges && t.formal_charges->size() != n) {
        return fail(K::InvalidFormalChargesLength, t.formal_charges->size(), n);
    }
    if (t.connectivity && t.stereochemistry && t.stereochemistry->size() != t.connectivity->size()) {
        return fail(K::InvalidStereochemistryLength, t.stereochemistry->size(), t.connectivity->size());
    }
    if (t.velocities && t.velocities->size() != 3 * n) return fail(K::InvalidVelocitiesLength, t.velocities->size(), n);
    const std::size_t f = t.fragments ? t.fragments->size() : 0;
    if (t.fragment_formal_charges && t.fragment_formal_charges->size() != f) {
        return fail(K::InvalidFragmentFormalChargesLength, t.fragment_formal_charges->size(), f);
    }
    if (t.fragment_partial_charges && t.fragment_partial_charges->size() != f) {
        return fail(K::InvalidFragmentPartialChargesLength, t.fragment_partial_charges->size(), f);
    }
    if (t.fragment_multiplicities && t.fragment_multiplicities->size() != f) {
        return fail(K::InvalidFragmentMultiplicitiesLength, t.fragment_multiplicities->size(), f);
    }
    return {};
}

namespace {

// Copies the entries of `atoms` (per-atom stride `stride`) of an optional per-atom list.
template <class T>
std::optional<std::vector<T>> pick(const std::optional<std::vector<T>>& list, const std::vector<std::uint32_t>& atoms,
                                   std::size_t stride = 1) {
    if (!list) return std::nullopt;
    std::vector<T> out;
    out.reserve(atoms.size() * stride);
    for (std::uint32_t a : atoms) {
        for (std::size_t k = 0; k < stride; ++k) out.push_back((*list)[std::size_t(a) * stride + k]);
    }
    return out;
}

}  // namespace

std::expected<Topology, EditError> new_topology_from_residue_subset(const Topology& t,
                                                                    const std::vector<Residue>& atom_lists) {
    if (auto ok = check_list_lengths(t); !ok) {
        EditError e{EditError::Kind::InvalidTopology};
        e.topology = ok.error();
        return std::unexpected(e);
    }
    const std::size_t n = t.symbols.size();
    std::size_t total = 0;
    for (std::size_t k = 0; k < atom_lists.size(); ++k) {
        for (std::uint32_t atom : atom_lists[k]) {
            if (atom >= n) return std::unexpected(EditError{EditError::Kind::ResidueAtomOutOfRange, k, atom, n});
        }
        total += atom_lists[k].size();
    }
    std::vector<std::uint32_t> atoms;
    atoms.reserve(total);
    for (const Residue& list : atom_lists) atoms.insert(atoms.end(), list.begin(), list.end());

    Topology out = make_topology({}, {});
    out.schema_version = t.schema_version;
    out.symbols.reserve(total);
    out.geometry.reserve(3 * total);
    for (std::uint32_t a : atoms) {
        out.symbols.push_back(t.symbols[a]);
        out.geometry.insert(out.geometry.end(), &t.geometry[3 * std::size_t(a)], &t.geometry[3 * std::size_t(a)] + 3);
    }
    out.labels = pick(t.labels, atoms);
    out.partial_charges = pick(t.partial_charges, atoms);
    out.formal_charges = pick(t.formal_charges, atoms);
    out.velocities = pick(t.velocities, atoms, 3);

    const FirstPositions new_index(atoms, n);
    if (t.connectivity) {
        out.connectivity.emplace();
        if (t.stereochemistry) out.stereochemistry.emplace();
        for (std::size_t i = 0; i < t.connectivity->size(); ++i) {
            const Bond& bond = (*t.connectivity)[i];
            const std::uint32_t first = new_index.find(bond.first), second = new_index.find(bond.second);
            if (first == FirstPositions::none || second == FirstPositions::none) continue;
            out.connectivity->push_back(Bond{first, second, bond.order});
            if (t.stereochemistry) out.stereochemistry->push_back((*t.stereochemistry)[i]);
        }
    }

    if (t.fragments) {
        std::vector<Fragment> kept;
        std::vector<std::size_t> kept_ids;
        bool split = false;
        for (std::size_t f = 0; f < t.fragments->size() && !split; ++f) {
            const Fragment& fragment = (*t.fragments)[f];
            Fragment translated;
            translated.reserve(fragment.size());
            for (std::uint32_t a : fragment) {
                const std::uint32_t i = new_index.find(a);
                if (i != FirstPositions::none) translated.push_back(i);
            }
            if (translated.empty()) continue;
            if (translated.size() != fragment.size()) {
                split = true;
                break;
            }
            kept.push_back(std::move(translated));
            kept_ids.push_back(f);
        }
        if (!split) {
            auto per_fragment = [&](const auto& list) {
                using List = std::remove_cvref_t<decltype(list)>;
                if (!list) return List{};
                typename List::value_type values;
                values.reserve(kept_ids.size());
                for (std::size_t f : kept_ids) values.push_back((*list)[f]);
                return List{std::move(values)};
            };
            out.fragments = std::move(kept);
            out.fragment_formal_charges = per_fragment(t.fragment_formal_charges);
            out.fragment_partial_charges = per_fragment(t.fragment_partial_charges);
            out.fragment_multiplicities = per_fragment(t.fragment_multiplicities);
        }
    } else {
        // No fragments: the per-fragment lists can only be empty here (see check_list_lengths).
        out.fragment_formal_charges = t.fragment_formal_charges;
        out.fragment_partial_charges = t.fragment_partial_charges;
        out.fragment_multiplicities = t.fragment_multiplicities;
    }
    return out;
}

namespace {

template <class T>
void append(std::vector<T>& to, std::vector<T>&& from) {
    if (to.empty()) {
        to = std::move(from);
    } else {
        to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
    }
}

}  // namespace

void extend(Topology& self, Topology other) {
    const std::uint32_t offset = std::uint32_t(self.symbols.size());
    const std::size_t n = other.symbols.size();

    // The per-fragment lists follow the fragments actually appended (none when `self` has no
    // fragments; `other`'s fragments, or one fragment of all its atoms): `other`'s entries when
    // it has both fragments and the list, otherwise one padding entry per appended fragment (the
    // fragment's charge sum, 0 without per-atom charges; multiplicity 0). Two records that pass
    // check therefore merge into one that does.
    std::vector<Fragment> appended_storage;
    if (self.fragments && !other.fragments) {
        Fragment all(n);
        for (std::size_t i = 0; i < n; ++i) all[i] = std::uint32_t(i);
        appended_storage.push_back(std::move(all));
    }
    const std::vector<Fragment>& appended =
        !self.fragments ? appended_storage : (other.fragments ? *other.fragments : appended_storage);
    const bool take_other = self.fragments && other.fragments;

    if (self.fragment_formal_charges) {
        if (take_other && other.fragment_formal_charges) {
            append(*self.fragment_formal_charges, std::move(*other.fragment_formal_charges));
        } else {
            for (const Fragment& fragment : appended) {
                std::uint32_t sum = 0;  // wrapping 32-bit sum
                if (other.formal_charges) {
                    for (std::uint32_t a : fragment) {
                        if (a < other.formal_charges->size()) sum += std::uint32_t((*other.formal_charges)[a]);
                    }
                }
                self.fragment_formal_charges->push_back(std::int32_t(sum));
            }
        }
    }
    if (self.fragment_partial_charges) {
        if (take_other && other.fragment_partial_charges) {
            append(*self.fragment_partial_charges, std::move(*other.fragment_partial_charges));
        } else {
            for (const Fragment& fragment : appended) {
                float sum = other.partial_charges ? -0.0f : 0.0f;
                if (other.partial_charges) {
                    for (std::uint32_t a : fragment) {
                        if (a < other.partial_charges->size()) sum += (*other.partial_charges)[a];
                    }
                }
                self.fragment_partial_charges->push_back(sum);
            }
        }
    }
    if (self.fragment_multiplicities) {
        if (take_other && other.fragment_multiplicities) {
            append(*self.fragment_multiplicities, std::move(*other.fragment_multiplicities));
        } else {
            self.fragment_multiplicities->insert(self.fragment_multiplicities->end(), appended.size(), 0);
        }
    }
    if (self.fragments) {
        if (other.fragments) {
            for (Fragment& fragment : *other.fragments) {
                for (std::uint32_t& a : fragment) a += offset;
            }
            append(*self.fragments, std::move(*other.fragments));
        } else {
            for (std::uint32_t& a : appended_storage.front()) a += offset;
            self.fragments->push_back(std::move(appended_storage.front()));
        }
    }

    append(self.symbols, std::move(other.symbols));
    append(self.geometry, std::move(other.geometry));
    if (self.labels) {
        if (other.labels) append(*self.labels, std::move(*other.labels));
        else self.labels->insert(self.labels->end(), n, std::string());
    }
    if (self.partial_charges) {
        if (other.partial_charges) append(*self.partial_charges, std::move(*other.partial_charges));
        else self.partial_charges->insert(self.partial_charges->end(), n, 0.0f);
    }
    if (self.formal_charges) {
        if (other.formal_charges) append(*self.formal_charges, std::move(*other.formal_charges));
        else self.formal_charges->insert(self.formal_charges->end(), n, 0);
    }
    if (self.velocities) {
        if (other.velocities) append(*self.velocities, std::move(*other.velocities));
        else self.velocities->insert(self.velocities->end(), 3 * n, 0.0f);
    }

    // Stereochemistry follows the bonds: only when bonds are appended does it change, and then
    // both sides contribute one entry per bond (NONE for a side that has none), so that two
    // valid records merge into a valid one.
    if (self.connectivity && other.connectivity) {
        const std::size_t own_bonds = self.connectivity->size();
        const std::size_t new_bonds = other.connectivity->size();
        for (Bond& bond : *other.connectivity) {
            bond.first += offset;
            bond.second += offset;
        }
        append(*self.connectivity, std::move(*other.connectivity));
        if (self.stereochemistry || other.stereochemistry) {
            if (!self.stereochemistry) self.stereochemistry.emplace(own_bonds, Stereochemistry::NONE);
            if (other.stereochemistry) append(*self.stereochemistry, std::move(*other.stereochemistry));
            else self.stereochemistry->insert(self.stereochemistry->end(), new_bonds, Stereochemistry::NONE);
        }
    }
}

std::expected<std::vector<std::uint32_t>, TopologyError> get_fragments_near_fragment(const Topology& t,
                                                                                     std::uint32_t frag_idx,
                                                                                     float threshold) {
    using K = TopologyError::Kind;
    if (!t.fragments) return std::vector<std::uint32_t>{};
    const std::vector<Fragment>& fragments = *t.fragments;
    if (frag_idx >= fragments.size()) return std::unexpected(TopologyError{K::InvalidFragmentRef, frag_idx, 0});
    const std::size_t n = t.symbols.size();
    if (t.geometry.size() != 3 * n) return std::unexpected(TopologyError{K::InvalidGeometryLength, t.geometry.size(), n});

    const Fragment& query = fragments[frag_idx];
    std::vector<float> sites;
    sites.reserve(3 * query.size());
    for (std::uint32_t a : query) {
        if (a >= n) return std::unexpected(TopologyError{K::InvalidFragments});
        sites.insert(sites.end(), &t.geometry[3 * std::size_t(a)], &t.geometry[3 * std::size_t(a)] + 3);
    }
    std::vector<std::uint32_t> near;
    const SiteGrid grid(sites, threshold);
    for (std::size_t f = 0; f < fragments.size(); ++f) {
        if (f == frag_idx) continue;
        for (std::uint32_t a : fragments[f]) {
            // Atom indices beyond the atom count name no atom, so they are never near.
            if (a < n && grid.any_within(&t.geometry[3 * std::size_t(a)])) {
                near.push_back(std::uint32_t(f));
                break;
            }
        }
    }
    return near;
}

}  // namespace zyk
