#include "trc.hpp"

#include <vector>

namespace zyk {

std::string message(const TRCError& e) {
    using K = TRCError::Kind;
    switch (e.kind) {
        case K::ResidueNotInChain: return "residue not in any chain '" + to_string(ResidueRef{e.ref}) + "'";
        case K::ResidueDoesNotExist: return "referenced residue not in residues '" + to_string(ResidueRef{e.ref}) + "'";
        case K::InvalidChains:
            switch (e.chains) {
                case TRCError::ChainsProblem::LabelMismatch: return "labeled and labels have different lengths";
                case TRCError::ChainsProblem::LabelsMissing: return "labels are missing";
                case TRCError::ChainsProblem::LabeledMissing: return "labeled is missing";
            }
            return "invalid chains";
        case K::AtomsNotInResidues: return "atoms exist in the topology that are not in any residue";
        case K::AtomDoesNotExist:
            return "atom does not exist or is in more than one residue: " + to_string(AtomRef{e.ref});
        case K::InvalidTopology: return message(e.topology);
        case K::InvalidResidues: return message(e.residues);
    }
    return "invalid structure";
}

std::expected<void, TRCError> check(const TRC& trc) {
    using K = TRCError::Kind;
    auto fail = [](K kind, std::uint32_t ref = 0) {
        TRCError e{kind};
        e.ref = ref;
        return std::unexpected(e);
    };
    auto fail_residues = [](ResiduesError::Kind kind, std::uint64_t a = 0, std::uint64_t b = 0) {
        TRCError e{K::InvalidResidues};
        e.residues = ResiduesError{kind, a, b};
        return std::unexpected(e);
    };
    auto fail_chains = [](TRCError::ChainsProblem problem) {
        TRCError e{K::InvalidChains};
        e.chains = problem;
        return std::unexpected(e);
    };

    if (auto ok = check(trc.topology); !ok) {
        TRCError e{K::InvalidTopology};
        e.topology = ok.error();
        return std::unexpected(e);
    }

    const Residues& res = trc.residues;
    const std::size_t r = res.residues.size();
    using RK = ResiduesError::Kind;
    if (!res.labeled && res.labels) return fail_residues(RK::LabeledMissing);
    if (res.labeled && !res.labels) return fail_residues(RK::LabelsMissing);
    if (res.labeled && res.labels) {
        if (res.labeled->size() != res.labels->size()) {
            return fail_residues(RK::LabelMismatch, res.labeled->size(), res.labels->size());
        }
        for (std::uint32_t i : *res.labeled) {
            if (i >= r) return fail_residues(RK::InvalidLabel, res.labeled->size(), r);
        }
    }
    if (res.seqs.size() != r) return fail_residues(RK::InvalidSeqsLength, res.seqs.size(), r);
    if (res.seq_ns.size() != r) return fail_residues(RK::InvalidSeqNLength, res.seq_ns.size(), r);
    if (res.insertion_codes.size() != r) return fail_residues(RK::InvalidInsertionCodesLength, res.insertion_codes.size(), r);

    const Chains& ch = trc.chains;
    using CP = TRCError::ChainsProblem;
    if (ch.labeled && !ch.labels) return fail_chains(CP::LabelsMissing);
    if (ch.labeled && ch.labels) {
        if (ch.labeled->size() != ch.labels->size()) return fail_chains(CP::LabelMismatch);
        for (std::uint32_t i : *ch.labeled) {
            if (i >= ch.chains.size()) return fail_chains(CP::LabelMismatch);
        }
    }
    if (!ch.labeled && ch.labels) return fail_chains(CP::LabeledMissing);

    const std::size_t n = trc.topology.symbols.size();
    if (r == 0) {
        if (n > 0) return fail(K::AtomsNotInResidues);
    } else {
        std::vector<bool> seen(n, false);
        std::size_t distinct = 0;
        for (const Residue& residue : res.residues) {
            for (std::uint32_t atom : residue) {
                if (atom >= n || seen[atom]) return fail(K::AtomDoesNotExist, atom);
                seen[atom] = true;
                ++distinct;
            }
        }
        if (distinct != n) return fail(K::AtomsNotInResidues);

        // The first residue (in index order) that no chain lists.
        std::vector<bool> in_chain(r, false);
        for (const Chain& chain : ch.chains) {
            for (std::uint32_t i : chain) {
                if (i < r) in_chain[i] = true;
            }
        }
        for (std::size_t i = 0; i < r; ++i) {
            if (!in_chain[i]) return fail(K::ResidueNotInChain, std::uint32_t(i));
        }
    }

    for (const Chain& chain : ch.chains) {
        for (std::uint32_t i : chain) {
            if (i >= r) return fail(K::ResidueDoesNotExist, i);
        }
    }
    return {};
}

}  // namespace zyk
