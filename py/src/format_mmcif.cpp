#include "args.hpp"
#include "bridges.hpp"
#include "convert/mmcif/builder.hpp"
#include "ops.hpp"
#include "trc_object.hpp"

namespace zp {

nb::object format_from_mmcif(nb::handle contents) {
    const std::string_view text = str_argument(contents, "contents");
    std::expected<std::vector<zyk::TRC>, zyk::mmcif::MmCifError> result;
    {
        LogBridge bridge;
        result = zyk::mmcif::from_mmcif(text);
    }
    if (!result) raise_value_error("mmCIF parse error: " + zyk::mmcif::message(result.error()));
    return wrap_trcs(std::move(*result));
}

}  // namespace zp
