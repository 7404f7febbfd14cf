// XYZ reading from any line source, and writing a topology that breaks its own invariant.
#include <string>
#include <vector>

#include "convert/xyz.hpp"
#include "harness.hpp"

using namespace zyk;

namespace {

class VectorLines final : public xyz::LineSource {
public:
    explicit VectorLines(std::vector<std::string> lines) : lines_(std::move(lines)) {}
    std::optional<std::string_view> next_line() override {
        if (next_ == lines_.size()) return std::nullopt;
        return std::string_view(lines_[next_++]);
    }
    std::size_t remaining_bytes() const override {
        std::size_t n = 0;
        for (std::size_t i = next_; i < lines_.size(); ++i) n += lines_[i].size() + 1;
        return n;
    }

private:
    std::vector<std::string> lines_;
    std::size_t next_ = 0;
};

}  // namespace

ZYK_TEST(read_xyz_reads_any_line_source_like_the_string_form) {
    VectorLines lines({"2", "comment", "C 1 2 3", "o 4 5 6", "ignored"});
    auto top = xyz::read_xyz(lines);
    EXPECT(top.has_value());
    EXPECT((top->symbols == std::vector<Element>{Element::C, Element::O}));
    EXPECT((top->geometry == std::vector<float>{1, 2, 3, 4, 5, 6}));
    EXPECT(*top == *xyz::from_xyz("2\ncomment\nC 1 2 3\no 4 5 6\nignored"));
    VectorLines empty({});
    EXPECT_EQ(xyz::message(xyz::read_xyz(empty).error()), "parsing atom count: cannot parse integer from empty string");
}

ZYK_TEST(a_huge_count_reserves_only_what_the_text_can_hold) {
    auto top = xyz::from_xyz("4000000000\nc\nC 0 0 0\n");
    EXPECT(!top.has_value());
    EXPECT(top.error().kind == xyz::Error::Kind::MissingAtomLine);
    // The reservation is bounded by the remaining text; a count within it is honoured.
    xyz::StringLines lines("3\nc\nC 0 0 0\nC 0 0 0\nC 0 0 0");
    auto small = xyz::read_xyz(lines);
    EXPECT(small.has_value());
    EXPECT(small->symbols.capacity() <= 4);
}

ZYK_TEST(writing_never_reads_past_the_geometry) {
    Topology t = make_topology({Element::C, Element::O}, {0, 0, 0, 1, 1});
    EXPECT_EQ(xyz::message(xyz::to_xyz(t).error()), "geometry length does not symbol length * 3: 5 != 2 * 3");
    t.geometry.push_back(1);
    EXPECT_EQ(*xyz::to_xyz(t), "2\nzyk molecule\nC     0.00000    0.00000    0.00000\nO     1.00000    1.00000    1.00000");
}

ZYK_TEST(xyz_errors_print_their_messages) {
    using K = xyz::Error::Kind;
    EXPECT_EQ(xyz::message(xyz::Error{K::ParseAtomCount, "x"}), "parsing atom count: x");
    EXPECT_EQ(xyz::message(xyz::Error{K::MissingComment, "line is empty"}), "missing comment: line is empty");
    EXPECT_EQ(xyz::message(xyz::Error{K::MissingAtomLine, ""}), "missing atom line");
    EXPECT_EQ(xyz::message(xyz::Error{K::ParseAtomLine, "invalid float literal"}), "parsing atom line: invalid float literal");
}
