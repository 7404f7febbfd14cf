#include "error.hpp"

#include <algorithm>

#include "residue.hpp"
#include "text.hpp"

namespace zyk {
namespace {

using Kind = Error::Kind;

Error make(Kind kind, std::optional<AminoAcidSeq> aa, std::optional<std::int32_t> seq_n, std::vector<std::string> atoms) {
    Error e{kind, aa, seq_n, std::nullopt, {}, std::move(atoms)};
    return e;
}

std::string list_notation(const std::vector<std::string>& items, bool sorted) {
    std::vector<std::string> copy;
    const std::vector<std::string>* list = &items;
    if (sorted) {
        copy = items;
        std::sort(copy.begin(), copy.end());
        list = &copy;
    }
    std::string out = "[";
    for (std::size_t i = 0; i < list->size(); ++i) {
        if (i) out += ", ";
        out += text::quoted((*list)[i]);
    }
    out += "]";
    return out;
}

std::string aa_name(const Error& e) { return e.aa ? std::string(to_pdb_std_name(*e.aa)) : "UNK"; }

std::string seq(const Error& e) { return e.aa_seq_n ? std::to_string(*e.aa_seq_n) : "???"; }

std::string_view kind_name(Kind k) {
    switch (k) {
        case Kind::BadTerminusError: return "BadTerminusError";
        case Kind::ParseAminoAcid: return "ParseAminoAcid";
        case Kind::UnsupportedAminoAcidAtom: return "UnsupportedAminoAcidAtom";
        case Kind::BadAtomLabel: return "BadAtomLabel";
        case Kind::BadProtonationState: return "BadProtonationState";
        case Kind::ClashBetweenCovalentBinderAndHydrogen: return "ClashBetweenCovalentBinderAndHydrogen";
        case Kind::MissingAminoAcidTopologyData: return "MissingAminoAcidTopologyData";
        case Kind::MissingAminoAcidHeavyAtoms: return "MissingAminoAcidHeavyAtoms";
        case Kind::NoAminoAcidHydrogens: return "NoAminoAcidHydrogens";
        case Kind::MissingAminoAcidTemplate: return "MissingAminoAcidTemplate";
        case Kind::DuplicateAtomsInAminoAcid: return "DuplicateAtomsInAminoAcid";
        case Kind::WrongAtomsInAminoAcid: return "WrongAtomsInAminoAcid";
        case Kind::DuplicateAminoAcid: return "DuplicateAminoAcid";
    }
    return "Error";
}

// Name of the list field of each kind, for the debug form.
std::string_view list_field(Kind k) {
    switch (k) {
        case Kind::BadTerminusError: return "found";
        case Kind::BadProtonationState: return "hydrogen_atoms";
        case Kind::ClashBetweenCovalentBinderAndHydrogen: return "clashing_atoms";
        case Kind::MissingAminoAcidHeavyAtoms: return "missing_atoms";
        case Kind::DuplicateAtomsInAminoAcid: return "duplicate_atoms";
        case Kind::WrongAtomsInAminoAcid: return "wrong_atoms";
        default: return {};
    }
}

}  // namespace

Error Error::bad_terminus(std::vector<std::string> found) { return make(Kind::BadTerminusError, {}, {}, std::move(found)); }

Error Error::parse_amino_acid(std::string found) {
    Error e = make(Kind::ParseAminoAcid, {}, {}, {});
    e.text = std::move(found);
    return e;
}

Error Error::unsupported_amino_acid_atom(std::string atom) {
    Error e = make(Kind::UnsupportedAminoAcidAtom, {}, {}, {});
    e.text = std::move(atom);
    return e;
}

Error Error::bad_atom_label(std::string label) {
    Error e = make(Kind::BadAtomLabel, {}, {}, {});
    e.text = std::move(label);
    return e;
}

Error Error::bad_protonation_state(AminoAcidSeq aa, std::optional<std::int32_t> seq_n, std::vector<std::string> hydrogens) {
    return make(Kind::BadProtonationState, aa, seq_n, std::move(hydrogens));
}

Error Error::clash_between_covalent_binder_and_hydrogen(AminoAcidSeq aa, std::optional<std::int32_t> seq_n,
                                                        std::vector<std::string> clashing) {
    return make(Kind::ClashBetweenCovalentBinderAndHydrogen, aa, seq_n, std::move(clashing));
}

Error Error::missing_amino_acid_topology_data() { return make(Kind::MissingAminoAcidTopologyData, {}, {}, {}); }

Error Error::missing_amino_acid_heavy_atoms(AminoAcidSeq aa, std::optional<std::int32_t> seq_n, std::vector<std::string> missing) {
    return make(Kind::MissingAminoAcidHeavyAtoms, aa, seq_n, std::move(missing));
}

Error Error::no_amino_acid_hydrogens(AminoAcidSeq aa, std::optional<std::int32_t> seq_n) {
    return make(Kind::NoAminoAcidHydrogens, aa, seq_n, {});
}

Error Error::missing_amino_acid_template(AminoAcidSeq aa) { return make(Kind::MissingAminoAcidTemplate, aa, {}, {}); }

Error Error::duplicate_atoms_in_amino_acid(AminoAcidSeq aa, std::optional<std::int32_t> seq_n, std::vector<std::string> duplicates) {
    return make(Kind::DuplicateAtomsInAminoAcid, aa, seq_n, std::move(duplicates));
}

Error Error::wrong_atoms_in_amino_acid(AminoAcidSeq aa, std::optional<std::int32_t> seq_n, std::vector<std::string> wrong) {
    return make(Kind::WrongAtomsInAminoAcid, aa, seq_n, std::move(wrong));
}

Error Error::duplicate_amino_acid(std::int32_t seq_n, std::optional<std::string> insertion_code) {
    Error e = make(Kind::DuplicateAminoAcid, {}, seq_n, {});
    e.aa_insertion_code = std::move(insertion_code);
    return e;
}

std::string message(const Error& e) {
    switch (e.kind) {
        case Kind::BadTerminusError:
            return "terminal residue has bad hydrogens, found '" + list_notation(e.atoms, false) + "'";
        case Kind::ParseAminoAcid: return "invalid amino acid name, found '" + e.text + "'";
        case Kind::UnsupportedAminoAcidAtom: return "unsupported amino acid atom '" + e.text + "'";
        case Kind::BadAtomLabel: return "bad atom label: " + text::quoted(e.text);
        case Kind::BadProtonationState:
            return "bad protonation state for " + aa_name(e) + " @ " + seq(e) + ": " + list_notation(e.atoms, true) +
                   " doesn't match a known state";
        case Kind::ClashBetweenCovalentBinderAndHydrogen:
            return "on " + aa_name(e) + " @ " + seq(e) + ": the atom(s) " + list_notation(e.atoms, true) +
                   " clash with a covalent binder";
        case Kind::MissingAminoAcidTopologyData: return "missing topology data (i.e. bond info) for this amino acid";
        case Kind::MissingAminoAcidHeavyAtoms:
            return "missing heavy atoms in " + aa_name(e) + " @ " + seq(e) + ": " + list_notation(e.atoms, true) + " are missing";
        case Kind::NoAminoAcidHydrogens:
            return "amino acid " + aa_name(e) + " @ " + seq(e) + " is unprotonated, but protonation is required for this task";
        case Kind::MissingAminoAcidTemplate: return "missing template for " + aa_name(e);
        case Kind::DuplicateAtomsInAminoAcid:
            return "duplicate atoms in " + aa_name(e) + " @ " + seq(e) + ": " + list_notation(e.atoms, true) +
                   " appear more than once";
        case Kind::WrongAtomsInAminoAcid:
            return "wrong atoms in " + aa_name(e) + " @ " + seq(e) + ": " + list_notation(e.atoms, true) +
                   " should not be present";
        case Kind::DuplicateAminoAcid:
            return "duplicate amino acid with same seq_id and insertion code: " + std::to_string(e.aa_seq_n.value_or(0)) +
                   e.aa_insertion_code.value_or("");
    }
    return "library error";
}

std::string debug_string(const Error& e) {
    std::string out(kind_name(e.kind));
    std::vector<std::string> fields;
    auto opt_seq = [&] { return e.aa_seq_n ? "Some(" + std::to_string(*e.aa_seq_n) + ")" : std::string("None"); };
    switch (e.kind) {
        case Kind::ParseAminoAcid: fields.push_back("found: " + text::quoted(e.text)); break;
        case Kind::UnsupportedAminoAcidAtom: fields.push_back("amino_acid_atom: " + text::quoted(e.text)); break;
        case Kind::BadAtomLabel: fields.push_back("atom_label: " + text::quoted(e.text)); break;
        case Kind::MissingAminoAcidTopologyData: break;
        case Kind::MissingAminoAcidTemplate: fields.push_back("aa: " + aa_name(e)); break;
        case Kind::NoAminoAcidHydrogens:
            fields.push_back("aa: " + aa_name(e));
            fields.push_back("aa_seq_n: " + opt_seq());
            break;
        case Kind::DuplicateAminoAcid:
            fields.push_back("aa_seq_n: " + std::to_string(e.aa_seq_n.value_or(0)));
            fields.push_back("aa_insertion_code: " +
                             (e.aa_insertion_code ? "Some(" + text::quoted(*e.aa_insertion_code) + ")" : std::string("None")));
            break;
        case Kind::BadTerminusError: fields.push_back("found: " + list_notation(e.atoms, false)); break;
        default:
            fields.push_back("aa: " + aa_name(e));
            fields.push_back("aa_seq_n: " + opt_seq());
            fields.push_back(std::string(list_field(e.kind)) + ": " + list_notation(e.atoms, false));
    }
    if (fields.empty()) return out;
    out += " { ";
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) out += ", ";
        out += fields[i];
    }
    out += " }";
    return out;
}

}  // namespace zyk
