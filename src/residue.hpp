// The residue table and the residue-name codes known to the amino-acid templates.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "error.hpp"

namespace zyk {

// Index into the residue table; prints as ResidueRef(3).
struct ResidueRef {
    std::uint32_t index;
    friend bool operator==(const ResidueRef&, const ResidueRef&) = default;
};
std::string to_string(ResidueRef r);

// The atom indices of one residue.
using Residue = std::vector<std::uint32_t>;

struct Residues {
    std::vector<Residue> residues;
    std::vector<std::string> seqs;
    std::vector<std::int32_t> seq_ns;
    std::vector<std::string> insertion_codes;
    std::optional<std::vector<std::uint32_t>> labeled;
    std::optional<std::vector<std::vector<std::string>>> labels;

    friend bool operator==(const Residues&, const Residues&) = default;
};

struct ResiduesError {
    enum class Kind : std::uint8_t {
        LabelMismatch,
        InvalidLabel,
        LabelsMissing,
        LabeledMissing,
        InvalidSeqsLength,
        InvalidSeqNLength,
        InvalidInsertionCodesLength,
    };
    Kind kind;
    std::uint64_t a = 0;
    std::uint64_t b = 0;
};
std::string message(const ResiduesError& e);

// clang-format off
enum class AminoAcidSeq : std::uint8_t {
    GLY, ALA, VAL, LEU, ILE, PRO, SER, THR, ASN, GLN, CYS, CYD, CYX, MET, PHE, TYR, TYD, TRP, ASP,
    ASH, GLU, GLH, HIS, HIN, HID, HIE, HIP, LYS, LYD, LYN, ARG, HYP, ACE, BNC, NME, NMA, NHH, UNK,
};
// clang-format on
inline constexpr std::size_t amino_acid_seq_count = 38;

std::string_view to_pdb_std_name(AminoAcidSeq aa);  // "GLY"; also the printed form
char one_letter_code(AminoAcidSeq aa);
// Exactly one of the 38 names, in upper or in lower case.
std::expected<AminoAcidSeq, Error> from_pdb_std_name(std::string_view name);
bool is_amino_acid(std::string_view name);
std::optional<AminoAcidSeq> amino_acid_seq_from_code(std::uint8_t code);

// How strictly perception checks the atoms of amino-acid residues.
enum class AtomCheckStrictness : std::uint8_t { NONE = 0, Heavy = 1, All = 2 };

}  // namespace zyk
