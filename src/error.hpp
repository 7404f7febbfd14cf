// The library error type of residue-name parsing, template matching and perception.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zyk {

enum class AminoAcidSeq : std::uint8_t;  // residue.hpp

struct Error {
    enum class Kind : std::uint8_t {
        BadTerminusError,
        ParseAminoAcid,
        UnsupportedAminoAcidAtom,
        BadAtomLabel,
        BadProtonationState,
        ClashBetweenCovalentBinderAndHydrogen,
        MissingAminoAcidTopologyData,
        MissingAminoAcidHeavyAtoms,
        NoAminoAcidHydrogens,
        MissingAminoAcidTemplate,
        DuplicateAtomsInAminoAcid,
        WrongAtomsInAminoAcid,
        DuplicateAminoAcid,
    };

    Kind kind;
    // Which fields are meaningful depends on the kind (see the factories below).
    std::optional<AminoAcidSeq> aa;
    std::optional<std::int32_t> aa_seq_n;
    std::optional<std::string> aa_insertion_code;  // DuplicateAminoAcid
    std::string text;                              // found / amino_acid_atom / atom_label
    std::vector<std::string> atoms;                // the list field of the kind

    static Error bad_terminus(std::vector<std::string> found);
    static Error parse_amino_acid(std::string found);
    static Error unsupported_amino_acid_atom(std::string atom);
    static Error bad_atom_label(std::string label);
    static Error bad_protonation_state(AminoAcidSeq aa, std::optional<std::int32_t> seq_n, std::vector<std::string> hydrogens);
    static Error clash_between_covalent_binder_and_hydrogen(AminoAcidSeq aa, std::optional<std::int32_t> seq_n, std::vector<std::string> clashing);
    static Error missing_amino_acid_topology_data();
    static Error missing_amino_acid_heavy_atoms(AminoAcidSeq aa, std::optional<std::int32_t> seq_n, std::vector<std::string> missing);
    static Error no_amino_acid_hydrogens(AminoAcidSeq aa, std::optional<std::int32_t> seq_n);
    static Error missing_amino_acid_template(AminoAcidSeq aa);
    static Error duplicate_atoms_in_amino_acid(AminoAcidSeq aa, std::optional<std::int32_t> seq_n, std::vector<std::string> duplicates);
    static Error wrong_atoms_in_amino_acid(AminoAcidSeq aa, std::optional<std::int32_t> seq_n, std::vector<std::string> wrong);
    static Error duplicate_amino_acid(std::int32_t seq_n, std::optional<std::string> insertion_code);
};

// The one-line display text.
std::string message(const Error& e);
// Name and fields in braces, for diagnostics: MissingAminoAcidTemplate { aa: GLY }.
std::string debug_string(const Error& e);

}  // namespace zyk
