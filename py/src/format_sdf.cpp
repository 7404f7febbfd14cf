#include <optional>
#include <string>
#include <vector>

#include "args.hpp"
#include "convert/sdf/reader.hpp"
#include "convert/sdf/writer.hpp"
#include "ops.hpp"
#include "trc_object.hpp"

namespace zp {

nb::object format_from_sdf(nb::handle contents) {
    const std::string_view text = str_argument(contents, "contents");
    auto records = zyk::sdf::from_sdf(text);
    if (!records) raise_value_error("SDF parse error: " + zyk::sdf::message(records.error()));
    // The data items are read (and validated) but Python only receives the structures.
    return wrap_trcs(std::move(records->structures));
}

nb::object format_to_sdf(nb::handle trc) {
    const zyk::TRC& record = trc_argument(trc, "trc");
    const std::optional<zyk::sdf::DataBlocks> no_data[1]{};
    std::string out;
    if (auto ok = zyk::sdf::to_sdf(out, std::span<const zyk::TRC>(&record, 1), no_data); !ok) {
        raise_value_error("SDF write error: " + zyk::sdf::message(ok.error()));
    }
    PyObject* text = PyUnicode_FromStringAndSize(out.data(), Py_ssize_t(out.size()));
    if (!text) throw nb::python_error();
    return nb::steal(text);
}

}  // namespace zp
