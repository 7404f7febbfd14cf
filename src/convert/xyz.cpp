#include "convert/xyz.hpp"

#include <algorithm>

#include "text.hpp"

namespace zyk::xyz {

std::string message(const Error& e) {
    switch (e.kind) {
        case Error::Kind::ParseAtomCount: return "parsing atom count: " + e.text;
        case Error::Kind::MissingComment: return "missing comment: " + e.text;
        case Error::Kind::MissingAtomLine: return "missing atom line";
        case Error::Kind::ParseAtomLine: return "parsing atom line: " + e.text;
    }
    return "invalid XYZ text";
}

std::optional<std::string_view> StringLines::next_line() {
    if (done_) return std::nullopt;
    const std::size_t lf = rest_.find('\n');
    if (lf == std::string_view::npos) {
        done_ = true;
        if (rest_.empty()) return std::nullopt;
        const std::string_view line = rest_;
        rest_ = {};
        return line;
    }
    const std::string_view line = rest_.substr(0, lf);
    rest_.remove_prefix(lf + 1);
    return line;
}

std::expected<Topology, Error> read_xyz(LineSource& lines) {
    auto fail = [](Error::Kind kind, std::string_view text = {}) {
        return std::unexpected(Error{kind, std::string(text)});
    };

    const std::string_view count_line = text::trim(lines.next_line().value_or(std::string_view{}));
    const auto count = text::parse_int<std::size_t>(count_line);
    if (!count) return fail(Error::Kind::ParseAtomCount, text::message(count.error()));

    const auto comment = lines.next_line();
    if (!comment || text::trim(*comment).empty()) return fail(Error::Kind::MissingComment, "line is empty");

    // The shortest atom line ("C 0 0 0") and its line feed take 8 bytes, so the text left
    // bounds how many atoms can follow, whatever the count line claims.
    const std::size_t possible = lines.remaining_bytes() / 8 + 1;
    Topology topology = make_topology({}, {});
    topology.symbols.reserve(std::min(*count, possible));
    topology.geometry.reserve(3 * std::min(*count, possible));

    for (std::size_t i = 0; i < *count; ++i) {
        std::string_view rest = lines.next_line().value_or(std::string_view{});
        const std::string_view symbol = text::next_token(rest);
        if (symbol.empty()) return fail(Error::Kind::MissingAtomLine);
        const auto element = element_from_text(symbol);
        if (!element) return fail(Error::Kind::ParseAtomLine, "invalid atom symbol " + std::string(symbol));
        topology.symbols.push_back(*element);
        for (int axis = 0; axis < 3; ++axis) {
            const std::string_view token = text::next_token(rest);
            if (token.empty()) return fail(Error::Kind::MissingAtomLine);
            const auto value = text::parse_f32(token);
            if (!value) return fail(Error::Kind::ParseAtomLine, text::message(value.error()));
            topology.geometry.push_back(*value);
        }
    }
    return topology;
}

std::expected<Topology, Error> from_xyz(std::string_view contents) {
    StringLines lines(contents);
    return read_xyz(lines);
}

std::expected<std::string, WriteError> to_xyz(const Topology& topology) {
    const std::size_t n = topology.symbols.size();
    if (topology.geometry.size() != 3 * n) {
        return std::unexpected(WriteError{message(TopologyError{TopologyError::Kind::InvalidGeometryLength,
                                                                topology.geometry.size(), n})});
    }
    std::string out;
    out.reserve(24 + 34 * n);
    text::append_int(out, n);
    out += "\nzyk molecule\n";
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) out.push_back('\n');
        text::append_left(out, element_symbol(topology.symbols[i]), 2);
        for (std::size_t axis = 0; axis < 3; ++axis) {
            out.push_back(' ');
            const std::size_t start = out.size();
            text::append_fixed(out, double(topology.geometry[3 * i + axis]), 5);
            const std::size_t width = out.size() - start;
            if (width < 10) out.insert(start, 10 - width, ' ');
        }
    }
    return out;
}

}  // namespace zyk::xyz
