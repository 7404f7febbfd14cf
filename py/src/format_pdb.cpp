#include "args.hpp"
#include "bridges.hpp"
#include "convert/pdb/reader.hpp"
#include "convert/pdb/writer.hpp"
#include "ops.hpp"
#include "perceive.hpp"
#include "trc_object.hpp"

namespace zp {

nb::object format_from_pdb(nb::handle contents) {
    const std::string_view text = str_argument(contents, "contents");
    auto models = [&] {
        LogBridge bridge;
        return zyk::pdb::from_pdb_with_options(text, true);
    }();
    if (!models) raise_value_error("PDB parse error: " + zyk::pdb::message(models.error()));
    // Perception completes the amino-acid bonds; a model it cannot perceive is kept as read.
    for (zyk::TRC& trc : *models) (void)zyk::perceive_bonds(trc, zyk::AtomCheckStrictness::Heavy);
    return wrap_trcs(std::move(*models));
}

nb::object format_to_pdb(nb::handle trc) {
    const zyk::TRC& record = trc_argument(trc, "trc");
    auto text = zyk::pdb::to_pdb(record);
    if (!text) raise_value_error("PDB write error: " + text.error());
    return nb::str(text->data(), text->size());
}

}  // namespace zp
