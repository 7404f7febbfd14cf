#include "args.hpp"
#include "convert/xyz.hpp"
#include "ops.hpp"
#include "trc_object.hpp"

namespace zp {

nb::object format_from_xyz(nb::handle contents) {
    const std::string_view text = str_argument(contents, "contents");
    auto topology = zyk::xyz::from_xyz(text);
    if (!topology) raise_value_error("XYZ parse error: " + zyk::xyz::message(topology.error()));
    return wrap_trc(zyk::TRC{std::move(*topology), zyk::Residues{}, zyk::Chains{}});
}

nb::object format_to_xyz(nb::handle trc) {
    const zyk::TRC& record = trc_argument(trc, "trc");
    auto text = zyk::xyz::to_xyz(record.topology);
    if (!text) raise_value_error("XYZ write error: " + zyk::xyz::message(text.error()));
    return nb::str(text->data(), text->size());
}

}  // namespace zp
