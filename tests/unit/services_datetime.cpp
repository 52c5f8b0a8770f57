#include <gtest/gtest.h>

#include <ctime>

#include "platform/services/datetime.h"

namespace dd {
namespace {

struct TextCase {
    int hour;
    int minute;
    int second;
    const char* expected;
};

class DateTimeText : public testing::TestWithParam<TextCase> {};

TEST_P(DateTimeText, WritesTheTimeDownToItsLastNonZeroField) {
    const TextCase& c = GetParam();
    EXPECT_EQ(dateTimeText(DateTime{2013, 9, 8, c.hour, c.minute, c.second}), c.expected);
}

INSTANTIATE_TEST_SUITE_P(EighthOfSeptember2013, DateTimeText,
                         testing::Values(TextCase{14, 5, 3, "2013年9月8日14时5分3秒"},
                                         TextCase{14, 0, 9, "2013年9月8日14时0分9秒"},
                                         TextCase{14, 5, 0, "2013年9月8日14时5分"},
                                         TextCase{14, 0, 0, "2013年9月8日14时"},
                                         TextCase{0, 0, 7, "2013年9月8日0时0分7秒"},
                                         TextCase{0, 5, 0, "2013年9月8日0时5分"},
                                         TextCase{0, 0, 0, "2013年9月8日"}));

TEST(DateTimeText, WritesNumbersWithoutLeadingZeros) {
    EXPECT_EQ(dateTimeText(DateTime{2024, 12, 31, 23, 59, 59}), "2024年12月31日23时59分59秒");
    EXPECT_EQ(dateTimeText(DateTime{987, 1, 2, 3, 4, 5}), "987年1月2日3时4分5秒");
}

TEST(CurrentDateTime, IsTheLocalWallClockToTheSecond) {
    // Read back through the C library's own local-time conversion: a month or year off by one,
    // or universal time in place of local time (the tests run with TZ set to UTC+8), lands
    // outside the bracket.
    const std::time_t before = std::time(nullptr);
    const DateTime now = currentDateTime();
    const std::time_t after = std::time(nullptr);
    std::tm parts{};
    parts.tm_year = now.year - 1900;
    parts.tm_mon = now.month - 1;
    parts.tm_mday = now.day;
    parts.tm_hour = now.hour;
    parts.tm_min = now.minute;
    parts.tm_sec = now.second;
    parts.tm_isdst = -1;
    const std::time_t read = std::mktime(&parts);
    EXPECT_LE(before, read);
    EXPECT_LE(read, after);
}

} // namespace
} // namespace dd
