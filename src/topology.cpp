#include "topology.hpp"

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

}  // namespace zyk
