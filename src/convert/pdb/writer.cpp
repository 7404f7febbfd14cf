#include "convert/pdb/writer.hpp"

#include <limits>
#include <unordered_set>

#include "convert/pdb/line.hpp"
#include "text.hpp"

namespace zyk::pdb {
namespace {

constexpr std::uint32_t none = std::numeric_limits<std::uint32_t>::max();

// Chain identifier by position: past "Z" come the characters that follow in the code table
// (code points up to U+00FF, so the text stays valid UTF-8).
std::string letter_for(std::size_t chain) {
    const auto code = static_cast<unsigned char>((65 + chain) % 256);
    std::string s;
    if (code < 0x80) {
        s.push_back(char(code));
    } else {
        s.push_back(char(0xC0 | (code >> 6)));
        s.push_back(char(0x80 | (code & 0x3F)));
    }
    return s;
}

class Writer {
public:
    explicit Writer(const TRC& trc) : top_(trc.topology), res_(trc.residues), chains_(trc.chains) {}

    std::expected<std::string, std::string> run() {
        if (auto ok = validate(); !ok) return std::unexpected(std::move(ok.error()));
        out_.reserve(82 * (top_.symbols.size() + res_.residues.size() / 13 + 16));
        chain_ids();
        seqres();
        if (auto ok = helices(); !ok) return std::unexpected(std::move(ok.error()));
        if (auto ok = sheets(); !ok) return std::unexpected(std::move(ok.error()));
        if (auto ok = atoms(); !ok) return std::unexpected(std::move(ok.error()));
        if (auto ok = conects(); !ok) return std::unexpected(std::move(ok.error()));
        return std::move(out_);
    }

private:
    // What the records below index: coordinates per atom, atoms of residues, bond atoms.
    std::expected<void, std::string> validate() const {
        const std::size_t n = top_.symbols.size();
        if (top_.geometry.size() != 3 * n) {
            return std::unexpected(
                message(TopologyError{TopologyError::Kind::InvalidGeometryLength, top_.geometry.size(), n}));
        }
        for (const Residue& r : res_.residues) {
            for (std::uint32_t atom : r) {
                if (atom >= n) {
                    TRCError e{TRCError::Kind::AtomDoesNotExist};
                    e.ref = atom;
                    return std::unexpected(message(e));
                }
            }
        }
        if (top_.connectivity) {
            for (const Bond& b : *top_.connectivity) {
                if (b.first >= n || b.second >= n || b.first == b.second) {
                    return std::unexpected(message(TopologyError{TopologyError::Kind::InvalidConnectivity, b.first, b.second}));
                }
            }
        }
        return {};
    }

    void line(const Line& l) {
        // Only Atom lines can fail, and they are written through atom() below.
        (void)append_line(out_, l);
        out_.push_back('\n');
    }

    // The identifier the records give chain c: its first label, else a letter by position.
    // ATOM records use the same one as SEQRES, HELIX and SHEET, so that a file read back
    // pairs its sequences and secondary structure with the right atoms.
    void chain_ids() {
        ids_.resize(chains_.chains.size());
        for (std::size_t c = 0; c < ids_.size(); ++c) {
            if (chains_.labels && c < chains_.labels->size() && !(*chains_.labels)[c].empty()) {
                ids_[c] = (*chains_.labels)[c].front();
            } else {
                ids_[c] = letter_for(c);
            }
        }
    }

    std::string chain_id(std::uint32_t c) const { return c < ids_.size() ? ids_[c] : letter_for(c); }

    std::string_view seq_of(std::uint32_t r) const {
        return r < res_.seqs.size() ? std::string_view(res_.seqs[r]) : std::string_view{};
    }
    std::int32_t seq_n_of(std::uint32_t r) const { return r < res_.seq_ns.size() ? res_.seq_ns[r] : 0; }
    std::string_view code_of(std::uint32_t r) const {
        return r < res_.insertion_codes.size() ? std::string_view(res_.insertion_codes[r]) : std::string_view{};
    }

    // SEQRES lists a chain's leading run of consecutively numbered residues: a reader numbers
    // SEQRES positions consecutively from the first residue, so a residue past a numbering
    // gap (waters and ligands numbered apart, a jump in the numbering) would be read back
    // into phantom residues without atoms.
    void seqres() {
        for (std::size_t c = 0; c < chains_.chains.size(); ++c) {
            const Chain& chain = chains_.chains[c];
            if (chain.empty()) continue;
            std::size_t run = 1;
            const std::int64_t first = seq_n_of(chain[0]);
            while (run < chain.size() && std::int64_t(seq_n_of(chain[run])) == first + std::int64_t(run)) ++run;
            Seqres s;
            s.chain_id = ids_[c];
            s.num_res = std::uint32_t(run);
            for (std::size_t i = 0; i < run; i += 13) {
                s.ser_num = std::uint32_t(i / 13 + 1);
                s.res_names.clear();
                for (std::size_t k = i; k < std::min(run, i + 13); ++k) s.res_names.emplace_back(seq_of(chain[k]));
                line(Line{s});
            }
        }
    }

    std::expected<void, std::string> helices() {
        if (!chains_.alpha_helices) return {};
        const AlphaHelices& h = *chains_.alpha_helices;
        const std::size_t n = h.helix_ids.size();
        if (h.chain_refs.size() != n || h.start_residues.size() != n || h.end_residues.size() != n ||
            h.classes.size() != n || h.lengths.size() != n) {
            return std::unexpected(std::string("alpha helix table lists have different lengths"));
        }
        for (std::size_t i = 0; i < n; ++i) {
            Helix x;
            x.ser_num = std::int32_t(i + 1);
            x.helix_id = std::string(text::prefix_chars(h.helix_ids[i], 3));
            x.init_chain_id = x.end_chain_id = chain_id(h.chain_refs[i]);
            const std::uint32_t s = h.start_residues[i], e = h.end_residues[i];
            x.init_res_name = seq_of(s);
            x.init_seq_num = seq_n_of(s);
            x.init_i_code = code_of(s);
            x.end_res_name = seq_of(e);
            x.end_seq_num = seq_n_of(e);
            x.end_i_code = code_of(e);
            x.helix_class = h.classes[i] ? std::int32_t(*h.classes[i]) : 0;
            x.length = h.lengths[i] ? std::int32_t(*h.lengths[i]) : 0;
            line(Line{std::move(x)});
        }
        return {};
    }

    std::expected<void, std::string> sheets() {
        if (!chains_.beta_sheets) return {};
        const BetaSheets& b = *chains_.beta_sheets;
        const std::size_t n = b.sheet_ids.size();
        if (b.strand_ids.size() != n || b.strand_ordinals.size() != n || b.num_strands.size() != n ||
            b.chain_refs.size() != n || b.start_residues.size() != n || b.end_residues.size() != n ||
            b.senses.size() != n) {
            return std::unexpected(std::string("beta sheet table lists have different lengths"));
        }
        for (std::size_t i = 0; i < n; ++i) {
            Sheet x;
            if (b.strand_ordinals[i]) {
                x.strand = std::int32_t(*b.strand_ordinals[i]);
            } else if (auto id = text::parse_int<std::uint32_t>(b.strand_ids[i])) {
                x.strand = std::int32_t(*id);
            } else {
                x.strand = std::int32_t(i + 1);
            }
            x.sheet_id = std::string(text::prefix_chars(b.sheet_ids[i], 3));
            x.num_strands = b.num_strands[i] ? std::int32_t(*b.num_strands[i]) : 0;
            x.init_chain_id = x.end_chain_id = chain_id(b.chain_refs[i]);
            const std::uint32_t s = b.start_residues[i], e = b.end_residues[i];
            x.init_res_name = seq_of(s);
            x.init_seq_num = seq_n_of(s);
            x.init_i_code = code_of(s);
            x.end_res_name = seq_of(e);
            x.end_seq_num = seq_n_of(e);
            x.end_i_code = code_of(e);
            if (b.senses[i]) {
                switch (*b.senses[i]) {
                    case StrandSense::AntiParallel: x.sense = -1; break;
                    case StrandSense::First: x.sense = 0; break;
                    case StrandSense::Parallel: x.sense = 1; break;
                }
            }
            x.cur_i_code.push_back('~');  // registration fields are not kept: blank
            x.prev_i_code.push_back('~');
            line(Line{std::move(x)});
        }
        return {};
    }

    std::expected<void, std::string> atoms() {
        const std::size_t r_count = res_.residues.size();
        std::vector<std::uint32_t> chain_of(r_count, none);
        for (std::size_t c = 0; c < chains_.chains.size(); ++c) {
            for (std::uint32_t r : chains_.chains[c]) {
                if (r < r_count && chain_of[r] == none) chain_of[r] = std::uint32_t(c);
            }
        }
        const bool has_labels = top_.labels.has_value();
        const bool has_charges = top_.formal_charges.has_value();
        Atom a;
        for (std::size_t r = 0; r < r_count; ++r) {
            a.res_name = seq_of(std::uint32_t(r));
            a.res_seq = seq_n_of(std::uint32_t(r));
            a.i_code = std::string(code_of(std::uint32_t(r)));
            if (chain_of[r] == none) {
                a.chain_id.assign(1, 'A');
            } else {
                a.chain_id = text::prefix_chars(ids_[chain_of[r]], 1);
            }
            a.hetatm = !is_amino_acid(a.res_name);
            a.occupancy = 1.0f;
            a.temp_factor = 0.0f;
            for (std::uint32_t i : res_.residues[r]) {
                a.serial = i;
                if (has_labels && i < top_.labels->size()) {
                    a.name = (*top_.labels)[i];
                } else {
                    a.name = element_symbol(top_.symbols[i]);
                }
                a.x = top_.geometry[3 * std::size_t(i)];
                a.y = top_.geometry[3 * std::size_t(i) + 1];
                a.z = top_.geometry[3 * std::size_t(i) + 2];
                a.element = top_.symbols[i];
                a.charge = has_charges && i < top_.formal_charges->size() ? (*top_.formal_charges)[i] : 0;
                if (auto ok = append_atom(out_, a); !ok) return ok;
                out_.push_back('\n');
            }
        }
        return {};
    }

    std::expected<void, std::string> conects() {
        if (!top_.connectivity) return {};
        const std::size_t n = top_.symbols.size();
        // Bonds within and between amino acids are left to perception when the text is read
        // back; it keeps sulfur-sulfur bonds (disulfides) without rebuilding them, so those
        // are written. Each atom counts in the first residue that lists it.
        std::vector<std::uint8_t> state(n, 0);  // 0 no residue yet, 1 amino acid, 2 other
        for (std::size_t r = 0; r < res_.residues.size(); ++r) {
            const std::uint8_t kind = is_amino_acid(seq_of(std::uint32_t(r))) ? 1 : 2;
            for (std::uint32_t atom : res_.residues[r]) {
                if (state[atom] == 0) state[atom] = kind;
            }
        }
        Line record{Conect{{0, 0}}};
        auto& serials = std::get<Conect>(record.value).serials;
        // Repeated CONECT lines mean a higher bond order to a reader, so a pair that appears
        // twice in the bond list (perception adds a peptide bond beside a kept one) is
        // written once, for its first bond.
        std::unordered_set<std::uint64_t> written;
        for (const Bond& b : *top_.connectivity) {
            const bool sulfur_pair = top_.symbols[b.first] == Element::S && top_.symbols[b.second] == Element::S;
            if (state[b.first] == 1 && state[b.second] == 1 && !sulfur_pair) continue;
            const std::uint64_t pair = (std::uint64_t(std::min(b.first, b.second)) << 32) | std::max(b.first, b.second);
            if (!written.insert(pair).second) continue;
            serials[0] = b.first;
            serials[1] = b.second;
            // Bond orders 1 to 6 are written as that many repetitions.
            const std::uint8_t code = bond_order_code(b.order);
            const int times = code >= 1 && code <= 6 ? code : 1;
            for (int k = 0; k < times; ++k) line(record);
        }
        return {};
    }

    const Topology& top_;
    const Residues& res_;
    const Chains& chains_;
    std::vector<std::string> ids_;
    std::string out_;
};

}  // namespace

std::expected<std::string, std::string> to_pdb(const TRC& trc) {
    Writer writer(trc);
    return writer.run();
}

}  // namespace zyk::pdb
