// Stored dates: one written form, read back exactly, and the other common
// forms read leniently.
#include <gtest/gtest.h>

#include <cmath>

#include "data/uDateTime.h"

namespace {

struct ParseRow {
  const char* Name;
  const char* Text;
  bool Ok;
  int Y, M, D, H, N, S, Ms;
};

const ParseRow kParseRows[] = {
    {"IsoDateTime", "2024-05-01 13:45:30", true, 2024, 5, 1, 13, 45, 30, 0},
    {"IsoDateOnly", "2024-05-01", true, 2024, 5, 1, 0, 0, 0, 0},
    {"IsoWithT", "2024-05-01T13:45:30", true, 2024, 5, 1, 13, 45, 30, 0},
    {"FractionAfterPoint", "2024-05-01 13:45:30.250", true, 2024, 5, 1, 13, 45, 30, 250},
    {"FractionAfterComma", "2024-05-01 13:45:30,25", true, 2024, 5, 1, 13, 45, 30, 250},
    {"NoSeconds", "2024-05-01 7:05", true, 2024, 5, 1, 7, 5, 0, 0},
    {"SurroundingBlanks", "  2024-05-01  13:45:30 ", true, 2024, 5, 1, 13, 45, 30, 0},
    {"DayFirstWithPoints", "01.05.2024 13:45:30", true, 2024, 5, 1, 13, 45, 30, 0},
    {"MonthFirstWithSlashes", "5/1/2024 1:45:30 PM", true, 2024, 5, 1, 13, 45, 30, 0},
    {"DayFirstWhenNoMonth", "13/1/2024", true, 2024, 1, 13, 0, 0, 0, 0},
    {"TwelveAm", "2024-05-01 12:10 am", true, 2024, 5, 1, 0, 10, 0, 0},
    {"TwoDigitYear", "01.05.24", true, 2024, 5, 1, 0, 0, 0, 0},
    {"NoDay", "2024-02-30", false},
    {"HourOutOfRange", "2024-05-01 25:00", false},
    {"TrailingWords", "2024-05-01 13:45:30 xyz", false},
    {"Empty", "", false},
    {"Words", "yesterday", false},
    {"MixedSeparators", "2024-05/01", false},
    {"YearZero", "0000-01-01", false},
};

class DateParseTest : public ::testing::TestWithParam<ParseRow> {};

TEST_P(DateParseTest, Reads) {
  const ParseRow& row = GetParam();
  TDateTime value = -1;
  ASSERT_EQ(TryParseDateTime(row.Text, value), row.Ok);
  if (!row.Ok) return;
  platform::LocalTime t = DecodeDateTime(value);
  EXPECT_EQ((std::array<int, 7>{t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second, t.Millisecond}),
            (std::array<int, 7>{row.Y, row.M, row.D, row.H, row.N, row.S, row.Ms}));
}

INSTANTIATE_TEST_SUITE_P(Rows, DateParseTest, ::testing::ValuesIn(kParseRows),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(DateTimeTest, DayNumbersCountFromTheEndOf1899) {
  TDateTime value;
  ASSERT_TRUE(TryEncodeDate(1899, 12, 30, value));
  EXPECT_EQ(value, 0);
  ASSERT_TRUE(TryEncodeDate(2024, 5, 1, value));
  EXPECT_EQ(value, 45413);
  ASSERT_TRUE(TryEncodeDate(1, 1, 1, value));
  EXPECT_EQ(value, -693593);
  EXPECT_FALSE(TryEncodeDate(2023, 2, 29, value));
  EXPECT_TRUE(TryEncodeDate(2000, 2, 29, value));
  EXPECT_FALSE(TryEncodeDate(1900, 2, 29, value));
}

TEST(DateTimeTest, WrittenFormReadsBackTheSameValue) {
  const std::pair<TDateTime, const char*> rows[] = {
      {0, "1899-12-30 00:00:00"},
      {45413.5, "2024-05-01 12:00:00"},
      {45413 + 13.0 / 24 + 45.0 / 1440 + 30.0 / 86400, "2024-05-01 13:45:30"},
      {-1.25, "1899-12-29 06:00:00"},
      {2958465 + 86399.0 / 86400, "9999-12-31 23:59:59"},
  };
  for (const auto& [value, text] : rows) {
    EXPECT_EQ(FormatIsoDateTime(value), text);
    TDateTime back = -7;
    ASSERT_TRUE(TryParseDateTime(text, back)) << text;
    EXPECT_NEAR(back, value, 1e-9) << text;
  }
  EXPECT_EQ(FormatIsoDate(45413.99), "2024-05-01");
  EXPECT_EQ(FormatIsoDate(45413 + 86399.6 / 86400), "2024-05-01");  // the date alone is not rounded
  EXPECT_EQ(FormatIsoDate(-1.25), "1899-12-29");
  // Rounded to the second, also across midnight.
  EXPECT_EQ(FormatIsoDateTime(45413 + 86399.6 / 86400), "2024-05-02 00:00:00");
}

TEST(DateTimeTest, NowIsToday) {
  platform::LocalTime now = platform::NowLocal();
  platform::LocalTime t = DecodeDateTime(NowDateTime());
  EXPECT_EQ(t.Year, now.Year);
  EXPECT_EQ(t.Month, now.Month);
}

}  // namespace
