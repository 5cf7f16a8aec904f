#include "util/str_format.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/russian_locale.h"
#include "util/config.h"
#include "util/ini_file.h"

namespace sorvex {
namespace {

TEST(StrFormat, TextOfAnyLengthIsNeverCut) {
  const std::string big(5000, 'a');
  const std::string text = "x" + StrFormat("%s|%d", big.c_str(), 7);
  EXPECT_EQ(text.size(), 1 + 5000 + 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "|7");
  // Multi-byte text counts in bytes, as printf does.
  EXPECT_EQ(StrFormat("КП%u", 31u), "КП31");
  EXPECT_EQ(StrFormat("%s", ""), "");
}

// A program on a Russian desktop runs with the C library's locale Russian
// (decimal comma); its files and journals must not notice.
TEST(StrFormat, NumbersAreWrittenAndReadAsCDoesInARussianLocale) {
  testing::TRussianLocale russian;
  if (!russian.Active()) GTEST_SKIP() << testing::TRussianLocale::kMissing;
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.2f", 0.5);
  ASSERT_EQ(std::string(probe), "0,50");  // the locale is in force
  EXPECT_EQ(StrFormat("%.2fdb %g", -5.25, 0.37), "-5.25db 0.37");
  EXPECT_EQ(FormatIniFloat(0.25), "0.25");
  EXPECT_DOUBLE_EQ(StrToDouble("0.25", nullptr), 0.25);
  EXPECT_DOUBLE_EQ(ParseLeadingFloat("0.25"), 0.25);
  EXPECT_EQ(ParseLeadingFloat("1.5e-999"), 0.0);  // below the range: 0, not the largest value
}

}  // namespace
}  // namespace sorvex
