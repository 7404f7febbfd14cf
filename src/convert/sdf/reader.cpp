#include "convert/sdf/reader.hpp"

#include <algorithm>
#include <cstring>

#include "text.hpp"

namespace zyk::sdf {
namespace {

using K = SDFParseState::Kind;
using E = SDFParseErrorType;

// Splits a text into lines at line feeds; a carriage return just before a line feed belongs to
// the line end, anywhere else (including the end of an unterminated last line) to the line.
class Lines {
public:
    explicit Lines(std::string_view text) : rest_(text) {}

    bool next(std::string_view& line) {
        if (rest_.empty()) return false;
        const void* lf = std::memchr(rest_.data(), '\n', rest_.size());
        if (!lf) {
            line = rest_;
            rest_ = {};
            return true;
        }
        const std::size_t len = std::size_t(static_cast<const char*>(lf) - rest_.data());
        line = rest_.substr(0, len);
        rest_.remove_prefix(len + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return true;
    }

    std::size_t remaining_bytes() const { return rest_.size(); }

private:
    std::string_view rest_;
};

// Fields are mostly padded with ASCII blanks: strip those cheaply, then let the Unicode-aware
// trim handle whatever else is at the ends (same result as text::trim alone).
std::string_view trimmed(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return text::trim(s);
}

bool is_blank(std::string_view line) {
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    return text::trim_start(line).empty();
}

bool is_char_boundary(std::string_view s, std::size_t i) {
    return i == 0 || i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80;
}

// Columns first..last (1-based, inclusive byte positions). Absent when the line does not reach
// the last column or a boundary would cut a multi-byte character.
std::optional<std::string_view> field(std::string_view line, std::size_t first, std::size_t last) {
    if (last > line.size()) return std::nullopt;
    if (!is_char_boundary(line, first - 1) || !is_char_boundary(line, last)) return std::nullopt;
    return line.substr(first - 1, last - first + 1);
}

using Step = std::expected<void, SDFParseErrorType>;

template <class T>
std::expected<T, SDFParseErrorType> int_field(std::string_view line, std::size_t first, std::size_t last, E on_error) {
    const auto f = field(line, first, last);
    if (!f) return std::unexpected(E::LineTooShort);
    const auto v = text::parse_int<T>(trimmed(*f));
    if (!v) return std::unexpected(on_error);
    return *v;
}

std::expected<double, SDFParseErrorType> float_field(std::string_view line, std::size_t first, std::size_t last, E on_error) {
    const auto f = field(line, first, last);
    if (!f) return std::unexpected(E::LineTooShort);
    const auto v = text::parse_f64(trimmed(*f));
    if (!v) return std::unexpected(on_error);
    return *v;
}

// Atom-block charge code -> formal charge; code 4 (doublet radical) and others are refused.
std::optional<std::int32_t> charge_from_code(std::int32_t code) {
    switch (code) {
        case 0: return 0;
        case 1: return 3;
        case 2: return 2;
        case 3: return 1;
        case 5: return -1;
        case 6: return -2;
        case 7: return -3;
        default: return std::nullopt;
    }
}

// The per-line steps of the state machine; each reads one line of its state and moves on.
class EntryParser {
public:
    Molecule molecule;
    SDFParseState state;

    Step counts_line(std::string_view line, std::size_t remaining_bytes) {
        if (line.find("V3000") != std::string_view::npos) return std::unexpected(E::UnsupportedFormat);
        const auto atoms = int_field<std::size_t>(line, 1, 3, E::ParseNumAtoms);
        if (!atoms) return std::unexpected(atoms.error());
        const auto bonds = int_field<std::size_t>(line, 4, 6, E::ParseNumBonds);
        if (!bonds) return std::unexpected(bonds.error());
        molecule.counts = Counts{*atoms, *bonds};
        // Capacity only as far as the rest of the entry could hold: an atom line is at least
        // 39 bytes and a bond line 12, so a lying counts line cannot make us allocate.
        molecule.atoms.reserve(std::min(*atoms, remaining_bytes / 40 + 1));
        molecule.bonds.reserve(std::min(*bonds, remaining_bytes / 13 + 1));
        if (*atoms > 0) state = {K::AtomBlock, 0};
        else after_atoms();
        return {};
    }

    Step atom_line(std::string_view line) {
        const auto x = float_field(line, 1, 10, E::ParseX);
        if (!x) return std::unexpected(x.error());
        const auto y = float_field(line, 11, 20, E::ParseY);
        if (!y) return std::unexpected(y.error());
        const auto z = float_field(line, 21, 30, E::ParseZ);
        if (!z) return std::unexpected(z.error());
        const auto symbol = field(line, 31, 33);
        if (!symbol) return std::unexpected(E::LineTooShort);
        const auto element = element_from_text(trimmed(*symbol));
        if (!element) return std::unexpected(E::ParseSymbol);
        if (!field(line, 34, 35)) return std::unexpected(E::LineTooShort);  // mass difference, unused
        const auto code = int_field<std::int32_t>(line, 37, 39, E::ParseCharge);
        if (!code) return std::unexpected(code.error());
        const auto charge = charge_from_code(*code);
        if (!charge) return std::unexpected(E::ParseCharge);
        if (line.size() >= 57) {
            const auto mapping = field(line, 57, 59);
            if (!mapping) return std::unexpected(E::LineTooShort);
            const std::string_view m = trimmed(*mapping);
            if (!m.empty()) {
                const auto v = text::parse_int<std::int64_t>(m);
                if (!v || *v != 0) return std::unexpected(E::ParseAtomAtomMappingNumber);
            }
        }
        molecule.atoms.push_back(Atom{*x, *y, *z, *element, *charge});
        if (state.index + 1 == molecule.counts.num_atoms) after_atoms();
        else ++state.index;
        return {};
    }

    Step bond_line(std::string_view line) {
        const auto type = int_field<std::uint32_t>(line, 7, 9, E::ParseBondType);
        if (!type) return std::unexpected(type.error());
        if (*type < 1 || *type > 4) return std::unexpected(E::BondTypeNotAllowed);
        const auto first = int_field<std::size_t>(line, 1, 3, E::ParseBondAtom1);
        if (!first) return std::unexpected(first.error());
        const auto second = int_field<std::size_t>(line, 4, 6, E::ParseBondAtom2);
        if (!second) return std::unexpected(second.error());
        const auto stereo_field = field(line, 10, 12);
        if (!stereo_field) return std::unexpected(E::LineTooShort);
        const std::int32_t stereo = text::parse_int<std::int32_t>(trimmed(*stereo_field)).value_or(0);
        // Unsigned wrap-around on purpose: a 0 in the file becomes an index that check() refuses.
        molecule.bonds.push_back(BondLine{*first - 1, *second - 1, *type, stereo});
        if (state.index + 1 == molecule.counts.num_bonds) state = {K::PropertiesBlock, 0};
        else ++state.index;
        return {};
    }

    Step property_line(std::string_view line) {
        if (line.size() < 6) return std::unexpected(E::LineTooShort);
        const auto name_field = field(line, 4, 6);
        if (!name_field) return std::unexpected(E::LineTooShort);
        const std::string_view name = trimmed(*name_field);
        if (name == "END") {
            state = {K::DataItems, 0};
            return {};
        }
        if (name != "CHG") return {};
        if (!charges_reset_) {
            // The first CHG line supersedes every charge of the atom block.
            for (Atom& a : molecule.atoms) a.formal_charge = 0;
            charges_reset_ = true;
        }
        if (line.size() < 9) return std::unexpected(E::LineTooShort);
        const bool short_count = line[8] == ' ';
        const auto count = int_field<std::uint32_t>(line, 7, short_count ? 8 : 9, E::ParsePropertyCHGCount);
        if (!count) return std::unexpected(count.error());
        if (*count < 1 || *count > 8) return std::unexpected(E::PropertyCHGCount);
        const std::size_t start = short_count ? 9 : 10;
        for (std::size_t k = 0; k < *count; ++k) {
            const std::size_t col = start + 8 * k;
            const auto atom = int_field<std::uint32_t>(line, col, col + 3, E::ParsePropertyCHGIndex);
            if (!atom) return std::unexpected(atom.error());
            const auto charge = int_field<std::int32_t>(line, col + 4, col + 7, E::ParsePropertyCHGCharge);
            if (!charge) return std::unexpected(charge.error());
            if (*atom < 1 || *atom > molecule.atoms.size()) return std::unexpected(E::PropertyCHGIndex);
            molecule.atoms[*atom - 1].formal_charge = *charge;
        }
        return {};
    }

private:
    bool charges_reset_ = false;

    void after_atoms() {
        if (molecule.counts.num_bonds > 0) state = {K::BondBlock, 0};
        else state = {K::PropertiesBlock, 0};
    }
};

// The first "\n$$$$" at or after `from`. '$' is rare in SDF text, so scanning for it is much
// cheaper than stopping at every line feed.
std::size_t find_terminator(std::string_view s) {
    std::size_t i = 1;
    while (i < s.size()) {
        const void* hit = std::memchr(s.data() + i, '$', s.size() - i);
        if (!hit) return std::string_view::npos;
        i = std::size_t(static_cast<const char*>(hit) - s.data());
        if (s[i - 1] == '\n' && s.compare(i, 4, "$$$$") == 0) return i - 1;
        ++i;
    }
    return std::string_view::npos;
}

std::expected<Constraints, ConversionError> parse_constraints(std::string_view value) {
    Constraints c;
    std::size_t line_start = 0;
    while (true) {
        const std::size_t lf = value.find('\n', line_start);
        const std::string_view piece = value.substr(line_start, lf == std::string_view::npos ? std::string_view::npos : lf - line_start);
        std::vector<std::uint32_t> group;
        std::size_t part_start = 0;
        while (true) {
            const std::size_t comma = piece.find(',', part_start);
            const std::string_view part =
                piece.substr(part_start, comma == std::string_view::npos ? std::string_view::npos : comma - part_start);
            const auto atom = text::parse_int<std::uint32_t>(part);
            if (!atom) return std::unexpected(ConversionError{ConversionError::Kind::ConstraintsParse});
            group.push_back(*atom);
            if (comma == std::string_view::npos) break;
            part_start = comma + 1;
        }
        c.groups.push_back(std::move(group));
        if (lf == std::string_view::npos) break;
        line_start = lf + 1;
    }
    return c;
}

}  // namespace

std::string_view name(const SDFParseState& state) {
    switch (state.kind) {
        case K::HeaderBlock: return "HeaderBlock";
        case K::CountsLine: return "CountsLine";
        case K::AtomBlock: return "AtomBlock";
        case K::BondBlock: return "BondBlock";
        case K::PropertiesBlock: return "PropertiesBlock";
        case K::DataItems: return "DataItems";
        case K::Done: return "Done";
    }
    return "HeaderBlock";
}

std::string_view message(SDFParseErrorType ty) {
    switch (ty) {
        case E::HeaderLine: return "missing header line";
        case E::ParseSymbol: return "could not parse symbol";
        case E::ParseNumAtoms: return "could not parse number of atoms";
        case E::ParseNumBonds: return "could not parse number of bonds";
        case E::ParseX: return "could not parse x coordinate";
        case E::ParseY: return "could not parse y coordinate";
        case E::ParseZ: return "could not parse z coordinate";
        case E::ParseCharge: return "could not parse charge";
        case E::ParseAtomAtomMappingNumber: return "could not parse atom-atom mapping number";
        case E::ParseBondAtom1: return "could not parse first bond atom index";
        case E::ParseBondAtom2: return "could not parse second bond atom index";
        case E::ParseBondType: return "could not parse bond type";
        case E::BondTypeNotAllowed: return "bond type not part of SDF standard";
        case E::ParsePropertyCHGCount: return "could not parse CHG count";
        case E::ParsePropertyCHGIndex: return "could not parse CHG index";
        case E::ParsePropertyCHGCharge: return "could not parse CHG charge";
        case E::PropertyCHGCount: return "HG count out of range";
        case E::PropertyCHGIndex: return "CHG index out of range";
        case E::ParseDataKey: return "could not parse data item key";
        case E::UnsupportedFormat: return "unsupported format, only V2000 is supported by this parser";
        case E::ParseTerminator: return "could not find correctly formatted terminator";
        case E::LineTooShort: return "line shorter than the expcted length";
    }
    return "invalid SDF";
}

std::string message(const SDFParseError& e) {
    std::string s = "line ";
    text::append_int(s, e.line_number);
    s += " state ";
    s += name(e.state);
    s += ": ";
    s += message(e.ty);
    return s;
}

std::string message(const ConversionError& e) {
    using CK = ConversionError::Kind;
    switch (e.kind) {
        case CK::SDFParse: return "error parsing SDF: " + message(e.parse);
        case CK::ConstraintsParse: return "error parsing constraints";
        case CK::InvalidTRC: return message(e.trc);
        case CK::UnexpectedBondOrder: {
            std::string s = "Unexpected bond order ";
            text::append_int(s, e.bond_type);
            return s;
        }
        case CK::UnexpectedStereochemistry: {
            std::string s = "Unexpected stereochemistry value ";
            text::append_int(s, e.stereo);
            return s;
        }
    }
    return "invalid SDF";
}

std::vector<std::expected<Entry, SDFParseError>> sdf_entries(std::string_view text) {
    std::vector<std::expected<Entry, SDFParseError>> out;
    std::size_t start_line = 1;
    std::string_view rest = text;
    const auto fail = [&] {
        out.push_back(std::unexpected(SDFParseError{start_line, {K::HeaderBlock, 0}, E::ParseTerminator}));
    };
    while (true) {
        const std::size_t at = find_terminator(rest);
        if (at == std::string_view::npos) {
            fail();
            break;
        }
        const std::size_t end = at + 5;  // just past "\n$$$$"
        if (end == rest.size()) {
            out.push_back(Entry{start_line, rest});
            break;
        }
        if (rest[end] != '\n') {
            fail();
            break;
        }
        const std::string_view entry = rest.substr(0, end + 1);
        out.push_back(Entry{start_line, entry});
        start_line += std::size_t(std::count(entry.begin(), entry.end(), '\n'));
        rest.remove_prefix(end + 1);
        if (rest.empty()) break;
    }
    return out;
}

std::expected<Molecule, SDFParseError> parse_sdf_entry(std::string_view entry) {
    Lines lines(entry);
    EntryParser p;
    std::size_t line_no = 0;
    const auto fail = [&](SDFParseErrorType ty) { return std::unexpected(SDFParseError{line_no, p.state, ty}); };
    std::string_view line;
    while (lines.next(line)) {
        ++line_no;
        Step step;
        switch (p.state.kind) {
            case K::HeaderBlock:
                // Name, program line, comment line: read even when blank. The terminator
                // cannot stand in for a header line: an entry that ends there lacks one.
                p.molecule.name = std::string(line);
                for (int k = 0; k < 2; ++k) {
                    ++line_no;
                    if (!lines.next(line) || line == "$$$$") return fail(E::HeaderLine);
                }
                p.state = {K::CountsLine, 0};
                continue;
            default:
                break;
        }
        if (is_blank(line)) continue;
        switch (p.state.kind) {
            case K::CountsLine: step = p.counts_line(line, lines.remaining_bytes()); break;
            case K::AtomBlock: step = p.atom_line(line); break;
            case K::BondBlock: step = p.bond_line(line); break;
            case K::PropertiesBlock: step = p.property_line(line); break;
            case K::DataItems: {
                if (line == "$$$$") {
                    p.state = {K::Done, 0};
                    return std::move(p.molecule);
                }
                std::string_view key;
                const std::size_t open = line.find('<');
                const std::size_t close = open == std::string_view::npos ? open : line.find('>', open + 1);
                if (line.front() != '>' || close == std::string_view::npos) return fail(E::ParseDataKey);
                key = line.substr(open + 1, close - open - 1);
                DataItem item{std::string(key), {}};
                bool closed = false;
                while (lines.next(line)) {
                    ++line_no;
                    if (is_blank(line)) {
                        closed = true;
                        break;
                    }
                    item.value += line;
                    item.value += '\n';
                }
                if (closed && !item.value.empty()) item.value.pop_back();
                p.molecule.data_items.push_back(std::move(item));
                continue;
            }
            case K::HeaderBlock:
            case K::Done:
                break;
        }
        if (!step) return fail(step.error());
    }
    switch (p.state.kind) {
        case K::DataItems:
        case K::Done:
            return std::move(p.molecule);
        case K::HeaderBlock:
            line_no = 1;
            return fail(E::HeaderLine);
        default:
            // The entry ended inside the connection table, for instance because its "$$$$"
            // line was taken as a header line: an incomplete record is an error, never a
            // molecule with fewer atoms than declared.
            line_no = std::max<std::size_t>(line_no, 1);
            return fail(E::ParseTerminator);
    }
}

std::expected<std::pair<TRC, std::optional<DataBlocks>>, ConversionError> convert_molecule(Molecule&& molecule) {
    using CK = ConversionError::Kind;
    std::vector<Bond> bonds;
    bonds.reserve(molecule.bonds.size());
    for (const BondLine& b : molecule.bonds) {
        BondOrder order;
        switch (b.type) {
            case 1: order = BondOrder::Single; break;
            case 2: order = BondOrder::Double; break;
            case 3: order = BondOrder::Triple; break;
            case 4: order = BondOrder::Ring; break;
            default: {
                ConversionError e{CK::UnexpectedBondOrder};
                e.bond_type = b.type;
                return std::unexpected(e);
            }
        }
        bonds.push_back(Bond{std::uint32_t(b.first), std::uint32_t(b.second), order});
    }
    std::vector<Stereochemistry> stereo;
    stereo.reserve(molecule.bonds.size());
    for (const BondLine& b : molecule.bonds) {
        switch (b.stereo) {
            case 0: stereo.push_back(Stereochemistry::NONE); break;
            case 1: stereo.push_back(Stereochemistry::Up); break;
            case 3: stereo.push_back(Stereochemistry::CisOrTrans); break;
            case 4: stereo.push_back(Stereochemistry::Either); break;
            case 6: stereo.push_back(Stereochemistry::Down); break;
            default: {
                ConversionError e{CK::UnexpectedStereochemistry};
                e.stereo = b.stereo;
                return std::unexpected(e);
            }
        }
    }

    const std::size_t n = molecule.atoms.size();
    std::vector<Element> symbols(n);
    std::vector<float> geometry(3 * n);
    std::vector<std::int32_t> charges(n);
    Fragment all(n);
    std::uint32_t charge_sum = 0;  // wraps instead of overflowing on absurd CHG values
    for (std::size_t i = 0; i < n; ++i) {
        const Atom& a = molecule.atoms[i];
        symbols[i] = a.element;
        geometry[3 * i] = static_cast<float>(a.x);
        geometry[3 * i + 1] = static_cast<float>(a.y);
        geometry[3 * i + 2] = static_cast<float>(a.z);
        charges[i] = a.formal_charge;
        charge_sum += static_cast<std::uint32_t>(a.formal_charge);
        all[i] = std::uint32_t(i);
    }

    TRC trc{make_topology(std::move(symbols), std::move(geometry)), {}, {}};
    Topology& t = trc.topology;
    t.formal_charges = std::move(charges);
    t.connectivity = std::move(bonds);
    t.stereochemistry = std::move(stereo);
    t.fragment_formal_charges = std::vector<std::int32_t>{static_cast<std::int32_t>(charge_sum)};
    t.fragments = std::vector<Fragment>{};
    t.fragments->push_back(all);
    Residues& r = trc.residues;
    r.residues.push_back(std::move(all));
    r.seqs = {"LIG"};
    r.seq_ns = {0};
    r.insertion_codes = {""};
    r.labeled = std::vector<std::uint32_t>{0};
    r.labels = std::vector<std::vector<std::string>>{{std::move(molecule.name)}};
    trc.chains.chains = {Chain{0}};

    if (auto ok = check(trc); !ok) {
        ConversionError e{CK::InvalidTRC};
        e.trc = ok.error();
        return std::unexpected(e);
    }

    std::vector<DataItem>& items = molecule.data_items;
    Constraints constraints;
    auto tethered = std::find_if(items.begin(), items.end(), [](const DataItem& d) { return d.key == "TETHERED ATOMS"; });
    if (tethered != items.end()) {
        auto parsed = parse_constraints(tethered->value);
        if (!parsed) return std::unexpected(parsed.error());
        constraints = std::move(*parsed);
        items.erase(tethered);
    }
    std::optional<std::string> smiles;
    auto smiles_item = std::find_if(items.begin(), items.end(),
                                    [](const DataItem& d) { return d.key.find("SMILES") != std::string::npos; });
    if (smiles_item != items.end()) {
        smiles = std::move(smiles_item->value);
        items.erase(smiles_item);
    }
    std::optional<DataBlocks> blocks;
    if (!items.empty() || !constraints.empty()) {
        blocks = DataBlocks{std::move(constraints), std::move(smiles), std::move(items)};
    }
    return std::pair{std::move(trc), std::move(blocks)};
}

std::expected<SDFRecords, ConversionError> from_sdf(std::string_view text) {
    using CK = ConversionError::Kind;
    auto entries = sdf_entries(text);
    if (!entries.empty() && !entries.back()) {
        ConversionError e{CK::SDFParse};
        e.parse = entries.back().error();
        return std::unexpected(e);
    }
    SDFRecords out;
    out.structures.reserve(entries.size());
    out.data_blocks.reserve(entries.size());
    // Each molecule is converted as soon as it is parsed, so that no list of parsed molecules
    // is kept; a conversion failure is held back because a parse failure of any later entry
    // takes precedence over it.
    std::optional<ConversionError> conversion_failure;
    for (const auto& entry : entries) {
        auto molecule = parse_sdf_entry(entry->text);
        if (!molecule) {
            ConversionError e{CK::SDFParse};
            e.parse = molecule.error();
            e.parse.line_number += entry->start_line - 1;
            return std::unexpected(e);
        }
        if (conversion_failure) continue;
        auto converted = convert_molecule(std::move(*molecule));
        if (!converted) {
            conversion_failure = converted.error();
            out = {};
            continue;
        }
        out.structures.push_back(std::move(converted->first));
        out.data_blocks.push_back(std::move(converted->second));
    }
    if (conversion_failure) return std::unexpected(*conversion_failure);
    return out;
}

}  // namespace zyk::sdf
