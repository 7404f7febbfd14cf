#include "trc.hpp"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "index_map.hpp"

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

// ---- editing ----

namespace {

EditError residues_error(ResiduesError::Kind kind, std::uint64_t a = 0, std::uint64_t b = 0) {
    EditError e{EditError::Kind::InvalidResidues};
    e.residues = ResiduesError{kind, a, b};
    return e;
}

}  // namespace

std::expected<TRC, EditError> new_trc_from_residue_subset(const TRC& trc, std::span<const std::uint32_t> refs) {
    const std::vector<Residue>& residues = trc.residues.residues;
    for (std::uint32_t ref : refs) {
        if (ref >= residues.size()) {
            return std::unexpected(EditError{EditError::Kind::ResidueOutOfRange, ref, residues.size()});
        }
    }
    const std::size_t n = trc.topology.symbols.size();
    std::vector<Residue> atom_lists;
    atom_lists.reserve(refs.size());
    for (std::uint32_t ref : refs) {
        for (std::uint32_t atom : residues[ref]) {
            if (atom >= n) return std::unexpected(EditError{EditError::Kind::ResidueAtomOutOfRange, ref, atom, n});
        }
        atom_lists.push_back(residues[ref]);
    }
    auto topology = new_topology_from_residue_subset(trc.topology, atom_lists);
    if (!topology) return std::unexpected(topology.error());
    auto new_residues = new_residues_from_subset(trc.residues, refs);
    if (!new_residues) return std::unexpected(new_residues.error());
    auto chains = new_chains_from_residue_subset(trc.chains, refs);
    if (!chains) return std::unexpected(chains.error());
    return TRC{std::move(*topology), std::move(*new_residues), std::move(*chains)};
}

std::expected<Residues, EditError> new_residues_from_subset(const Residues& res, std::span<const std::uint32_t> refs) {
    using RK = ResiduesError::Kind;
    const std::size_t r = res.residues.size();
    for (std::uint32_t ref : refs) {
        if (ref >= r) return std::unexpected(EditError{EditError::Kind::ResidueOutOfRange, ref, r});
    }
    if (res.seqs.size() != r) return std::unexpected(residues_error(RK::InvalidSeqsLength, res.seqs.size(), r));
    if (res.seq_ns.size() != r) return std::unexpected(residues_error(RK::InvalidSeqNLength, res.seq_ns.size(), r));
    if (res.insertion_codes.size() != r) {
        return std::unexpected(residues_error(RK::InvalidInsertionCodesLength, res.insertion_codes.size(), r));
    }
    if (res.labeled && !res.labels) return std::unexpected(residues_error(RK::LabelsMissing));
    if (res.labeled && res.labeled->size() != res.labels->size()) {
        return std::unexpected(residues_error(RK::LabelMismatch, res.labeled->size(), res.labels->size()));
    }

    Residues out;
    out.residues.reserve(refs.size());
    out.seqs.reserve(refs.size());
    out.seq_ns.reserve(refs.size());
    out.insertion_codes.reserve(refs.size());
    std::uint32_t next_atom = 0;
    for (std::uint32_t ref : refs) {
        Residue block(res.residues[ref].size());
        for (std::uint32_t& a : block) a = next_atom++;
        out.residues.push_back(std::move(block));
        out.seqs.push_back(res.seqs[ref]);
        out.seq_ns.push_back(res.seq_ns[ref]);
        out.insertion_codes.push_back(res.insertion_codes[ref]);
    }
    if (res.labeled) {
        const FirstPositions label_of(*res.labeled, r);
        std::vector<std::uint32_t> labeled;
        std::vector<std::vector<std::string>> labels;
        for (std::size_t k = 0; k < refs.size(); ++k) {
            const std::uint32_t j = label_of.find(refs[k]);
            if (j == FirstPositions::none) continue;
            labeled.push_back(std::uint32_t(k));
            labels.push_back((*res.labels)[j]);
        }
        if (!labeled.empty()) {
            out.labeled = std::move(labeled);
            out.labels = std::move(labels);
        }
    }
    return out;
}

namespace {

// The rows of a table of parallel lists that every list has.
template <class... Lists>
std::size_t complete_rows(const Lists&... lists) {
    return std::min({lists.size()...});
}

}  // namespace

std::expected<Chains, EditError> new_chains_from_residue_subset(const Chains& chains, std::span<const std::uint32_t> refs) {
    if (chains.labeled && !chains.labels) return std::unexpected(EditError{EditError::Kind::ChainLabelsMissing});
    if (chains.labeled && chains.labeled->size() != chains.labels->size()) {
        return std::unexpected(EditError{EditError::Kind::ChainLabelMismatch, chains.labeled->size(), chains.labels->size()});
    }
    constexpr std::uint32_t none = FirstPositions::none;
    const std::size_t count = refs.size();
    const FirstPositions new_residue(refs);

    // For every selected residue (by its first position), the chains that contain it, in chain
    // order, each once: two passes over the chain lists fill a compact table.
    std::vector<std::uint32_t> start(count + 1, 0), last_chain(count, none);
    for (std::size_t c = 0; c < chains.chains.size(); ++c) {
        for (std::uint32_t i : chains.chains[c]) {
            const std::uint32_t k = new_residue.find(i);
            if (k == none || last_chain[k] == c) continue;
            last_chain[k] = std::uint32_t(c);
            ++start[k + 1];
        }
    }
    for (std::size_t k = 0; k < count; ++k) start[k + 1] += start[k];
    std::vector<std::uint32_t> chains_of(start[count]);
    std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
    std::fill(last_chain.begin(), last_chain.end(), none);
    for (std::size_t c = 0; c < chains.chains.size(); ++c) {
        for (std::uint32_t i : chains.chains[c]) {
            const std::uint32_t k = new_residue.find(i);
            if (k == none || last_chain[k] == c) continue;
            last_chain[k] = std::uint32_t(c);
            chains_of[fill[k]++] = std::uint32_t(c);
        }
    }

    Chains out;
    std::vector<std::uint32_t> counterpart(chains.chains.size(), none);
    std::vector<std::uint32_t> origin;
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint32_t first = new_residue.find(refs[k]);
        for (std::uint32_t p = start[first]; p < start[first + 1]; ++p) {
            const std::uint32_t c = chains_of[p];
            if (counterpart[c] == none) {
                counterpart[c] = std::uint32_t(out.chains.size());
                origin.push_back(c);
                out.chains.push_back(Chain{std::uint32_t(k)});
            } else {
                out.chains[counterpart[c]].push_back(std::uint32_t(k));
            }
        }
    }
    auto new_chain = [&](std::uint32_t c) { return c < counterpart.size() ? counterpart[c] : none; };

    if (chains.alpha_helices) {
        const AlphaHelices& h = *chains.alpha_helices;
        AlphaHelices kept;
        const std::size_t rows =
            complete_rows(h.helix_ids, h.chain_refs, h.start_residues, h.end_residues, h.classes, h.lengths);
        for (std::size_t i = 0; i < rows; ++i) {
            const std::uint32_t c = new_chain(h.chain_refs[i]);
            const std::uint32_t s = new_residue.find(h.start_residues[i]), e = new_residue.find(h.end_residues[i]);
            if (c == none || s == none || e == none) continue;
            kept.push(h.helix_ids[i], c, s, e, h.classes[i], h.lengths[i]);
        }
        if (kept.size() > 0) out.alpha_helices = std::move(kept);
    }
    if (chains.beta_sheets) {
        const BetaSheets& b = *chains.beta_sheets;
        BetaSheets kept;
        const std::size_t rows = complete_rows(b.sheet_ids, b.strand_ids, b.strand_ordinals, b.num_strands, b.chain_refs,
                                               b.start_residues, b.end_residues, b.senses);
        for (std::size_t i = 0; i < rows; ++i) {
            const std::uint32_t c = new_chain(b.chain_refs[i]);
            const std::uint32_t s = new_residue.find(b.start_residues[i]), e = new_residue.find(b.end_residues[i]);
            if (c == none || s == none || e == none) continue;
            kept.push(b.sheet_ids[i], b.strand_ids[i], b.strand_ordinals[i], b.num_strands[i], c, s, e, b.senses[i]);
        }
        if (kept.size() > 0) out.beta_sheets = std::move(kept);
    }
    if (chains.labeled) {
        const FirstPositions label_of(*chains.labeled, chains.chains.size());
        std::vector<std::uint32_t> labeled;
        std::vector<std::vector<std::string>> labels;
        for (std::size_t nc = 0; nc < origin.size(); ++nc) {
            const std::uint32_t j = label_of.find(origin[nc]);
            if (j == none) continue;
            labeled.push_back(std::uint32_t(nc));
            labels.push_back((*chains.labels)[j]);
        }
        if (!labeled.empty()) {
            out.labeled = std::move(labeled);
            out.labels = std::move(labels);
        }
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

// Shifts every index of a list of index groups.
void shift_groups(std::vector<std::vector<std::uint32_t>>& groups, std::uint32_t offset) {
    for (auto& group : groups) {
        for (std::uint32_t& i : group) i += offset;
    }
}

void shift(std::vector<std::uint32_t>& list, std::uint32_t offset) {
    for (std::uint32_t& i : list) i += offset;
}

enum class LabelMerge { Done, LabelsMissing, LabelMismatch };

// Merges `other`'s labeled entries (indices shifted by `offset`) into `self`'s: a label list of
// an index that `self` already labels is extended, a new index is appended.
LabelMerge merge_labels(std::optional<std::vector<std::uint32_t>>& self_labeled,
                        std::optional<std::vector<std::vector<std::string>>>& self_labels,
                        std::optional<std::vector<std::uint32_t>>&& other_labeled,
                        std::optional<std::vector<std::vector<std::string>>>&& other_labels, std::uint32_t offset,
                        std::uint64_t& a, std::uint64_t& b) {
    if (!other_labeled) return LabelMerge::Done;
    shift(*other_labeled, offset);
    if (!self_labeled) {
        self_labeled = std::move(other_labeled);
        self_labels = std::move(other_labels);
        return LabelMerge::Done;
    }
    if (!self_labels) return LabelMerge::Done;
    if (!other_labels) return LabelMerge::LabelsMissing;
    // The merge reads labels[i] for every labeled[i].
    if (self_labeled->size() != self_labels->size()) {
        a = self_labeled->size();
        b = self_labels->size();
        return LabelMerge::LabelMismatch;
    }
    if (other_labeled->size() != other_labels->size()) {
        a = other_labeled->size();
        b = other_labels->size();
        return LabelMerge::LabelMismatch;
    }
    std::unordered_map<std::uint32_t, std::size_t> position;
    position.reserve(self_labeled->size() + other_labeled->size());
    for (std::size_t k = 0; k < self_labeled->size(); ++k) position.try_emplace((*self_labeled)[k], k);
    for (std::size_t i = 0; i < other_labeled->size(); ++i) {
        const std::uint32_t index = (*other_labeled)[i];
        std::vector<std::string>& labels = (*other_labels)[i];
        const auto [it, fresh] = position.try_emplace(index, self_labeled->size());
        if (fresh) {
            self_labeled->push_back(index);
            self_labels->push_back(std::move(labels));
        } else {
            append((*self_labels)[it->second], std::move(labels));
        }
    }
    return LabelMerge::Done;
}

template <class Table>
void take_or_append(std::optional<Table>& self, Table&& other);

template <>
void take_or_append(std::optional<AlphaHelices>& self, AlphaHelices&& other) {
    if (!self) {
        self = std::move(other);
        return;
    }
    append(self->helix_ids, std::move(other.helix_ids));
    append(self->chain_refs, std::move(other.chain_refs));
    append(self->start_residues, std::move(other.start_residues));
    append(self->end_residues, std::move(other.end_residues));
    append(self->classes, std::move(other.classes));
    append(self->lengths, std::move(other.lengths));
}

template <>
void take_or_append(std::optional<BetaSheets>& self, BetaSheets&& other) {
    if (!self) {
        self = std::move(other);
        return;
    }
    append(self->sheet_ids, std::move(other.sheet_ids));
    append(self->strand_ids, std::move(other.strand_ids));
    append(self->strand_ordinals, std::move(other.strand_ordinals));
    append(self->num_strands, std::move(other.num_strands));
    append(self->chain_refs, std::move(other.chain_refs));
    append(self->start_residues, std::move(other.start_residues));
    append(self->end_residues, std::move(other.end_residues));
    append(self->senses, std::move(other.senses));
}

}  // namespace

std::expected<void, ResiduesError> extend(Residues& self, Residues other) {
    std::uint64_t atom_entries = 0;
    for (const Residue& residue : self.residues) atom_entries += residue.size();
    const std::uint32_t atom_offset = std::uint32_t(atom_entries);
    const std::uint32_t residue_offset = std::uint32_t(self.residues.size());

    shift_groups(other.residues, atom_offset);
    append(self.residues, std::move(other.residues));
    append(self.seqs, std::move(other.seqs));
    append(self.seq_ns, std::move(other.seq_ns));
    append(self.insertion_codes, std::move(other.insertion_codes));

    std::uint64_t a = 0, b = 0;
    switch (merge_labels(self.labeled, self.labels, std::move(other.labeled), std::move(other.labels), residue_offset, a, b)) {
        case LabelMerge::Done: return {};
        case LabelMerge::LabelsMissing: return std::unexpected(ResiduesError{ResiduesError::Kind::LabelsMissing});
        case LabelMerge::LabelMismatch: return std::unexpected(ResiduesError{ResiduesError::Kind::LabelMismatch, a, b});
    }
    return {};
}

std::expected<void, TRCError::ChainsProblem> extend(Chains& self, Chains other) {
    std::uint64_t residue_entries = 0;
    for (const Chain& chain : self.chains) residue_entries += chain.size();
    const std::uint32_t residue_offset = std::uint32_t(residue_entries);
    const std::uint32_t chain_offset = std::uint32_t(self.chains.size());

    std::uint64_t a = 0, b = 0;
    switch (merge_labels(self.labeled, self.labels, std::move(other.labeled), std::move(other.labels), chain_offset, a, b)) {
        case LabelMerge::Done: break;
        case LabelMerge::LabelsMissing: return std::unexpected(TRCError::ChainsProblem::LabelsMissing);
        case LabelMerge::LabelMismatch: return std::unexpected(TRCError::ChainsProblem::LabelMismatch);
    }

    shift_groups(other.chains, residue_offset);
    append(self.chains, std::move(other.chains));
    if (other.alpha_helices) {
        AlphaHelices& h = *other.alpha_helices;
        shift(h.chain_refs, chain_offset);
        shift(h.start_residues, residue_offset);
        shift(h.end_residues, residue_offset);
        take_or_append(self.alpha_helices, std::move(h));
    }
    if (other.beta_sheets) {
        BetaSheets& s = *other.beta_sheets;
        shift(s.chain_refs, chain_offset);
        shift(s.start_residues, residue_offset);
        shift(s.end_residues, residue_offset);
        take_or_append(self.beta_sheets, std::move(s));
    }
    return {};
}

std::expected<void, TRCError> extend(TRC& self, TRC other) {
    extend(self.topology, std::move(other.topology));
    if (auto ok = extend(self.residues, std::move(other.residues)); !ok) {
        TRCError e{TRCError::Kind::InvalidResidues};
        e.residues = ok.error();
        return std::unexpected(e);
    }
    if (auto ok = extend(self.chains, std::move(other.chains)); !ok) {
        TRCError e{TRCError::Kind::InvalidChains};
        e.chains = ok.error();
        return std::unexpected(e);
    }
    return {};
}

std::expected<TRC, EditError> with_geometry(const TRC& trc, std::span<const std::array<float, 3>> positions) {
    const std::size_t n = trc.topology.symbols.size();
    if (positions.size() != n) {
        return std::unexpected(EditError{EditError::Kind::GeometryPositionCount, positions.size(), n});
    }
    TRC out = trc;
    out.topology.geometry.resize(3 * n);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t k = 0; k < 3; ++k) out.topology.geometry[3 * i + k] = positions[i][k];
    }
    return out;
}

std::expected<TRC, EditError> with_fragments(const TRC& trc, std::vector<Fragment> fragments) {
    using K = EditError::Kind;
    const Topology& t = trc.topology;
    const std::size_t n = t.symbols.size();
    std::vector<bool> seen(n, false);
    for (std::size_t f = 0; f < fragments.size(); ++f) {
        for (std::uint32_t atom : fragments[f]) {
            if (atom >= n) return std::unexpected(EditError{K::FragmentAtomOutOfRange, f, atom, n});
            if (seen[atom]) return std::unexpected(EditError{K::AtomInMultipleFragments, atom});
            seen[atom] = true;
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (!seen[i]) return std::unexpected(EditError{K::AtomNotInFragment, i});
    }
    // The sums read one charge per fragment atom.
    auto length_error = [](TopologyError::Kind kind, std::size_t a, std::size_t b) {
        EditError e{K::InvalidTopology};
        e.topology = TopologyError{kind, a, b};
        return std::unexpected(e);
    };
    if (t.formal_charges && t.formal_charges->size() != n) {
        return length_error(TopologyError::Kind::InvalidFormalChargesLength, t.formal_charges->size(), n);
    }
    if (t.partial_charges && t.partial_charges->size() != n) {
        return length_error(TopologyError::Kind::InvalidPartialChargesLength, t.partial_charges->size(), n);
    }

    TRC out = trc;
    Topology& o = out.topology;
    o.fragment_formal_charges.reset();
    o.fragment_partial_charges.reset();
    o.fragment_multiplicities.reset();
    if (t.formal_charges) {
        o.fragment_formal_charges.emplace();
        o.fragment_formal_charges->reserve(fragments.size());
        for (const Fragment& fragment : fragments) {
            std::uint32_t sum = 0;  // wrapping 32-bit sum
            for (std::uint32_t a : fragment) sum += std::uint32_t((*t.formal_charges)[a]);
            o.fragment_formal_charges->push_back(std::int32_t(sum));
        }
    }
    if (t.partial_charges) {
        o.fragment_partial_charges.emplace();
        o.fragment_partial_charges->reserve(fragments.size());
        for (const Fragment& fragment : fragments) {
            float sum = -0.0f;
            for (std::uint32_t a : fragment) sum += (*t.partial_charges)[a];
            o.fragment_partial_charges->push_back(sum);
        }
    }
    o.fragments = std::move(fragments);
    return out;
}

}  // namespace zyk
