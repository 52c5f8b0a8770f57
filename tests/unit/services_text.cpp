#include <gtest/gtest.h>

#include "platform/services/text.h"

namespace dd {
namespace {

struct CompareCase {
    std::string_view a;
    std::string_view b;
    int expected;
};

class CompareText : public testing::TestWithParam<CompareCase> {};

TEST_P(CompareText, OrdersByFirstDifferingUnsignedByte) {
    const CompareCase& c = GetParam();
    EXPECT_EQ(compareText(c.a, c.b), c.expected) << "a=\"" << c.a << "\" b=\"" << c.b << "\"";
    // The order must be antisymmetric, or sorting and equality tests disagree.
    EXPECT_EQ(compareText(c.b, c.a), -c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompareText,
    testing::Values(CompareCase{std::string_view(), "", 0}, // absent equals empty
                    CompareCase{"停止", "停止", 0}, CompareCase{"停止", "停止回放", -1},
                    CompareCase{"录音", "停止", 1}, // first bytes 0xE5 vs 0xE5, then 0xBD vs 0x81
                    CompareCase{"a", "\xff", -1},   // 0xFF is above every ASCII byte
                    CompareCase{"\x7f", "\x80", -1}, CompareCase{"ab", "ac", -1},
                    CompareCase{"", "a", -1}));

TEST(ConcatText, JoinsPartsInOrder) {
    EXPECT_EQ(concatText({"/run", "/", "2013年9月8日", ".wav"}), "/run/2013年9月8日.wav");
    EXPECT_EQ(concatText({"", "/", "x"}), "/x");
    EXPECT_EQ(concatText({"only"}), "only");
}

TEST(ConcatText, OfEmptyPartsIsTheEmptyText) {
    EXPECT_EQ(concatText({"", std::string_view(), ""}), "");
    EXPECT_EQ(concatText({}), "");
}

TEST(ConcatText, KeepsBytesAfterAnEmbeddedZero) {
    // Texts are byte strings with a length; nothing may stop at a zero byte on the way.
    const std::string withZero("a\0b", 3);
    EXPECT_EQ(concatText({withZero, "c"}), std::string("a\0bc", 4));
}

} // namespace
} // namespace dd
