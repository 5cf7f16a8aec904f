#include "util/str_format.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace sorvex
