#include "residue.hpp"

#include <array>

namespace zyk {
namespace {

// clang-format off
constexpr std::array<std::string_view, amino_acid_seq_count> names = {
    "GLY", "ALA", "VAL", "LEU", "ILE", "PRO", "SER", "THR", "ASN", "GLN", "CYS", "CYD", "CYX",
    "MET", "PHE", "TYR", "TYD", "TRP", "ASP", "ASH", "GLU", "GLH", "HIS", "HIN", "HID", "HIE",
    "HIP", "LYS", "LYD", "LYN", "ARG", "HYP", "ACE", "BNC", "NME", "NMA", "NHH", "UNK",
};
constexpr std::string_view letters = "GAVLIPSTNQCCCMFYYWDDEEHHHHHKKKROXXXXXX";
// clang-format on

bool matches(std::string_view name, std::string_view text) {
    bool upper = true, lower = true;
    for (std::size_t i = 0; i < 3; ++i) {
        upper = upper && text[i] == name[i];
        lower = lower && text[i] == char(name[i] - 'A' + 'a');
    }
    return upper || lower;
}

std::optional<AminoAcidSeq> lookup(std::string_view text) {
    if (text.size() != 3) return std::nullopt;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (matches(names[i], text)) return static_cast<AminoAcidSeq>(i);
    }
    return std::nullopt;
}

}  // namespace

std::string to_string(ResidueRef r) { return "ResidueRef(" + std::to_string(r.index) + ")"; }

std::string message(const ResiduesError& e) {
    const std::string a = std::to_string(e.a), b = std::to_string(e.b);
    switch (e.kind) {
        case ResiduesError::Kind::LabelMismatch: return "labeled and labels have different lengths (" + a + " != " + b + ")";
        case ResiduesError::Kind::InvalidLabel: return "a nonexistent residue was labeled (" + a + " != " + b + ")";
        case ResiduesError::Kind::LabelsMissing: return "labels are missing";
        case ResiduesError::Kind::LabeledMissing: return "labeled is missing";
        case ResiduesError::Kind::InvalidSeqsLength: return "seqs and residues have different lengths (" + a + " != " + b + ")";
        case ResiduesError::Kind::InvalidSeqNLength: return "seq_ns and residues have different lengths (" + a + " != " + b + ")";
        case ResiduesError::Kind::InvalidInsertionCodesLength:
            return "insertion_codes and residues have different lengths (" + a + " != " + b + ")";
    }
    return "invalid residues";
}

std::string_view to_pdb_std_name(AminoAcidSeq aa) {
    const auto i = static_cast<std::size_t>(aa);
    return i < names.size() ? names[i] : std::string_view("UNK");
}

char one_letter_code(AminoAcidSeq aa) {
    const auto i = static_cast<std::size_t>(aa);
    return i < letters.size() ? letters[i] : 'X';
}

std::expected<AminoAcidSeq, Error> from_pdb_std_name(std::string_view name) {
    if (auto aa = lookup(name)) return *aa;
    return std::unexpected(Error::parse_amino_acid(std::string(name)));
}

bool is_amino_acid(std::string_view name) { return lookup(name).has_value(); }

std::optional<AminoAcidSeq> amino_acid_seq_from_code(std::uint8_t code) {
    if (code >= amino_acid_seq_count) return std::nullopt;
    return static_cast<AminoAcidSeq>(code);
}

}  // namespace zyk
