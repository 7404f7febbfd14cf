#include "convert/sdf/writer.hpp"

#include <algorithm>

#include "text.hpp"

namespace zyk::sdf {
namespace {

template <class T>
void put_int(std::string& out, T v, std::size_t width) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    text::append_right(out, std::string_view(buf, std::size_t(r.ptr - buf)), width);
}

void put_coordinate(std::string& out, float v, std::string& scratch) {
    scratch.clear();
    text::append_fixed(scratch, double(v), 4);
    text::append_right(out, scratch, 10);
}

std::string numbers(std::uint64_t a, std::uint64_t b) {
    std::string s = "(";
    text::append_int(s, a);
    s += ", ";
    text::append_int(s, b);
    s += ')';
    return s;
}

// Formal charge -> atom-block charge code; only called for charges within +-3.
int charge_code(std::int32_t charge) {
    switch (charge) {
        case -3: return 7;
        case -2: return 6;
        case -1: return 5;
        case 1: return 3;
        case 2: return 2;
        case 3: return 1;
        default: return 0;
    }
}

int stereo_value(Stereochemistry s) {
    switch (s) {
        case Stereochemistry::NONE: return 0;
        case Stereochemistry::Up: return 1;
        case Stereochemistry::Down: return 6;
        case Stereochemistry::Either: return 4;
        case Stereochemistry::CisOrTrans: return 3;
    }
    return 0;
}

std::optional<int> bond_type(BondOrder o) {
    switch (o) {
        case BondOrder::Single: return 1;
        case BondOrder::Double: return 2;
        case BondOrder::Triple: return 3;
        case BondOrder::Ring: return 4;
        default: return std::nullopt;
    }
}

enum class ChargeStyle { None, AtomCodes, PropertyLines };

std::expected<void, SDFWriteErrorType> write_record(std::string& out, const TRC& trc, const std::optional<DataBlocks>& data) {
    using WK = SDFWriteErrorType::Kind;
    if (auto ok = check(trc); !ok) {
        SDFWriteErrorType e{WK::BadTRC};
        e.trc = ok.error();
        return std::unexpected(e);
    }
    const Topology& t = trc.topology;
    const std::size_t n = t.symbols.size();
    const std::size_t m = t.connectivity ? t.connectivity->size() : 0;

    std::string_view title;
    if (const auto& labels = trc.residues.labels) {
        if (labels->size() > 1) return std::unexpected(SDFWriteErrorType{WK::MultipleResidues});
        if (labels->size() == 1 && !labels->front().empty()) title = labels->front().front();
    }
    out += title;
    out += "\n     ZYKF           3D\n\n";

    put_int(out, n, 3);
    put_int(out, m, 3);
    out += "  0  0  0  0  0  0  0  0999 V2000\n";

    ChargeStyle style = ChargeStyle::None;
    if (t.formal_charges && !t.formal_charges->empty()) {
        std::int64_t largest = 0;
        for (std::int32_t c : *t.formal_charges) largest = std::max<std::int64_t>(largest, c < 0 ? -std::int64_t(c) : std::int64_t(c));
        if (largest > 15) return std::unexpected(SDFWriteErrorType{WK::ChargeFormat});
        style = largest >= 4 ? ChargeStyle::PropertyLines : ChargeStyle::AtomCodes;
    }

    // check() guarantees 3n coordinates, n charges and one stereo flag per bond.
    std::string scratch;
    for (std::size_t i = 0; i < n; ++i) {
        put_coordinate(out, t.geometry[3 * i], scratch);
        put_coordinate(out, t.geometry[3 * i + 1], scratch);
        put_coordinate(out, t.geometry[3 * i + 2], scratch);
        out += ' ';
        text::append_left(out, element_symbol(t.symbols[i]), 3);
        out += " 0";
        put_int(out, style == ChargeStyle::AtomCodes ? charge_code((*t.formal_charges)[i]) : 0, 3);
        out += "  0  0  0  0  0  0  0  0  0  0\n";
    }

    for (std::size_t k = 0; k < m; ++k) {
        const Bond& b = (*t.connectivity)[k];
        const auto type = bond_type(b.order);
        if (!type) {
            SDFWriteErrorType e{WK::UnsupportedBondOrder};
            e.order = b.order;
            return std::unexpected(e);
        }
        put_int(out, std::uint64_t(b.first) + 1, 3);
        put_int(out, std::uint64_t(b.second) + 1, 3);
        put_int(out, *type, 3);
        put_int(out, t.stereochemistry ? stereo_value((*t.stereochemistry)[k]) : 0, 3);
        out += "     0  0\n";
    }

    if (style == ChargeStyle::PropertyLines) {
        const auto& charges = *t.formal_charges;
        for (std::size_t first = 0; first < n; first += 8) {
            const std::size_t count = std::min<std::size_t>(8, n - first);
            out += "M  CHG";
            put_int(out, count, 3);
            for (std::size_t i = first; i < first + count; ++i) {
                out += ' ';
                put_int(out, i + 1, 3);
                out += ' ';
                put_int(out, charges[i], 3);
            }
            out += '\n';
        }
    }
    out += "M  END\n";

    if (data) {
        if (!data->constraints.empty()) {
            out += "> <TETHERED ATOMS>\n";
            for (const auto& group : data->constraints.groups) {
                for (std::size_t k = 0; k < group.size(); ++k) {
                    if (k) out += ',';
                    text::append_int(out, group[k]);
                }
                out += '\n';
            }
            out += '\n';
        }
        for (const DataItem& item : data->items) {
            out += "> <";
            out += item.key;
            out += ">\n";
            out += item.value;
            out += "\n\n";
        }
    }
    out += "$$$$\n";
    return {};
}

}  // namespace

std::string debug_form(const TopologyError& e) {
    using K = TopologyError::Kind;
    switch (e.kind) {
        case K::InvalidGeometryLength: return "InvalidGeometryLength" + numbers(e.a, e.b);
        case K::InvalidLabelsLength: return "InvalidLabelsLength" + numbers(e.a, e.b);
        case K::InvalidPartialChargesLength: return "InvalidPartialChargesLength" + numbers(e.a, e.b);
        case K::InvalidFormalChargesLength: return "InvalidFormalChargesLength" + numbers(e.a, e.b);
        case K::InvalidConnectivity:
            return "InvalidConnectivity(" + to_string(AtomRef{std::uint32_t(e.a)}) + ", " +
                   to_string(AtomRef{std::uint32_t(e.b)}) + ")";
        case K::InvalidStereochemistryExistence: return "InvalidStereochemistryExistence";
        case K::InvalidStereochemistryLength: return "InvalidStereochemistryLength" + numbers(e.a, e.b);
        case K::InvalidVelocitiesLength: return "InvalidVelocitiesLength" + numbers(e.a, e.b);
        case K::InvalidFragments: return "InvalidFragments";
        case K::InvalidFragmentRef: return "InvalidFragmentRef(" + std::to_string(e.a) + ")";
        case K::InvalidFragmentFormalChargesLength: return "InvalidFragmentFormalChargesLength" + numbers(e.a, e.b);
        case K::InvalidFragmentPartialChargesLength: return "InvalidFragmentPartialChargesLength" + numbers(e.a, e.b);
        case K::InvalidFragmentMultiplicitiesLength: return "InvalidFragmentMultiplicitiesLength" + numbers(e.a, e.b);
    }
    return "InvalidTopology";
}

std::string debug_form(const ResiduesError& e) {
    using K = ResiduesError::Kind;
    switch (e.kind) {
        case K::LabelMismatch: return "LabelMismatch" + numbers(e.a, e.b);
        case K::InvalidLabel: return "InvalidLabel" + numbers(e.a, e.b);
        case K::LabelsMissing: return "LabelsMissing";
        case K::LabeledMissing: return "LabeledMissing";
        case K::InvalidSeqsLength: return "InvalidSeqsLength" + numbers(e.a, e.b);
        case K::InvalidSeqNLength: return "InvalidSeqNLength" + numbers(e.a, e.b);
        case K::InvalidInsertionCodesLength: return "InvalidInsertionCodesLength" + numbers(e.a, e.b);
    }
    return "InvalidResidues";
}

std::string debug_form(const TRCError& e) {
    using K = TRCError::Kind;
    switch (e.kind) {
        case K::ResidueNotInChain: return "ResidueNotInChain(" + to_string(ResidueRef{e.ref}) + ")";
        case K::ResidueDoesNotExist: return "ResidueDoesNotExist(" + to_string(ResidueRef{e.ref}) + ")";
        case K::InvalidChains:
            switch (e.chains) {
                case TRCError::ChainsProblem::LabelMismatch: return "InvalidChains(LabelMismatch)";
                case TRCError::ChainsProblem::LabelsMissing: return "InvalidChains(LabelsMissing)";
                case TRCError::ChainsProblem::LabeledMissing: return "InvalidChains(LabeledMissing)";
            }
            return "InvalidChains";
        case K::AtomsNotInResidues: return "AtomsNotInResidues";
        case K::AtomDoesNotExist: return "AtomDoesNotExist(" + to_string(AtomRef{e.ref}) + ")";
        case K::InvalidTopology: return "InvalidTopology(" + debug_form(e.topology) + ")";
        case K::InvalidResidues: return "InvalidResidues(" + debug_form(e.residues) + ")";
    }
    return "InvalidTRC";
}

std::string message(const SDFWriteErrorType& e) {
    using WK = SDFWriteErrorType::Kind;
    switch (e.kind) {
        case WK::BadTRC: return "bad TRC: " + debug_form(e.trc);
        case WK::ChargeFormat: return "could not format charge";
        case WK::MultipleResidues: return "only 1 residue expected when doing a single conversion to SDF";
        case WK::UnsupportedBondOrder: return "unsupported bond order: " + std::string(bond_order_name(e.order));
    }
    return "could not write SDF";
}

std::expected<void, SDFWriteErrorType> to_sdf(std::string& output, std::span<const TRC> trcs,
                                              std::span<const std::optional<DataBlocks>> data_blocks) {
    const std::size_t count = std::min(trcs.size(), data_blocks.size());
    for (std::size_t i = 0; i < count; ++i) {
        if (auto ok = write_record(output, trcs[i], data_blocks[i]); !ok) return ok;
    }
    return {};
}

}  // namespace zyk::sdf
