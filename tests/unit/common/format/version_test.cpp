#include <gtest/gtest.h>

#include "common/format/version.h"

namespace {

struct DecimalCase {
  const char* text;
  int asInt;
  unsigned asUnsigned;
};

TEST(ReadDecimal, StandardConversion) {
  const DecimalCase cases[] = {
      {"0", 0, 0},
      {"29696", 29696, 29696},
      {"  \t42", 42, 42},
      {"+7", 7, 7},
      {"-5", -5, 0xFFFFFFFBu},
      {"12abc", 12, 12},
      {"", 0, 0},
      {"abc", 0, 0},
      {"-", 0, 0},
      {" - 5", 0, 0},
      {"2147483647", 2147483647, 2147483647u},
      {"2147483648", 2147483647, 2147483648u},
      {"-2147483648", -2147483647 - 1, 2147483648u},
      {"-2147483649", -2147483647 - 1, 2147483647u},
      {"4294967295", 2147483647, 4294967295u},
      {"4294967296", 2147483647, 4294967295u},
      {"99999999999999999999999999", 2147483647, 4294967295u},
      {"1.5", 1, 1},
  };
  for (const DecimalCase& c : cases) {
    EXPECT_EQ(c.asInt, ReadDecimalInt(c.text)) << "text \"" << c.text << "\"";
    EXPECT_EQ(c.asUnsigned, ReadDecimalUnsigned(c.text)) << "text \"" << c.text << "\"";
  }
}

TEST(ReadDecimal, EndAndSign) {
  const char* text = "  -123,4";
  const char* end = nullptr;
  bool neg = false;
  EXPECT_EQ(123u, ReadDecimal(text, &neg, &end));
  EXPECT_TRUE(neg);
  EXPECT_EQ(text + 6, end);
  EXPECT_EQ(0u, ReadDecimal("x", &neg, &end));
  EXPECT_FALSE(neg);
}

struct VersionTextCase {
  const char* text;
  unsigned fields;
  unsigned v[4];
};

TEST(ParseVersionText, FieldsAndMissingNumbers) {
  const VersionTextCase cases[] = {
      {"1, 0, 0, 3", 4, {1, 0, 0, 3}},
      {"1,0,2,0", 4, {1, 0, 2, 0}},
      {"1,,,0,,2,0", 4, {1, 0, 2, 0}},
      {",,1,2,3,4", 4, {1, 2, 3, 4}},
      {"1, 2, 3, 4, 5", 4, {1, 2, 3, 4}},
      {"4.00.950", 1, {4, 0, 0, 0}},
      {"5, 1", 2, {5, 1, 0, 0}},
      {"", 0, {0, 0, 0, 0}},
      {",,,", 0, {0, 0, 0, 0}},
      {"7, 8, 9,", 3, {7, 8, 9, 0}},
      {"65535, 65535, 65535, 65535", 4, {65535, 65535, 65535, 65535}},
      {"1, x, 3, 4", 4, {1, 0, 3, 4}},
  };
  for (const VersionTextCase& c : cases) {
    unsigned got[4] = {99, 99, 99, 99};
    EXPECT_EQ(c.fields, ParseVersionText(c.text, got)) << "text \"" << c.text << "\"";
    for (int i = 0; i < 4; i++)
      EXPECT_EQ(c.v[i], got[i]) << "text \"" << c.text << "\" number " << i;
  }
}

struct CompareCase {
  unsigned a[4];
  unsigned b[4];
  int expected;
};

TEST(CompareVersions, FirstDifferenceDecides) {
  const CompareCase cases[] = {
      {{1, 0, 2, 0}, {1, 0, 2, 0}, 0},
      {{1, 0, 2, 0}, {1, 0, 2, 1}, -1},
      {{1, 0, 2, 1}, {1, 0, 2, 0}, 1},
      {{2, 0, 0, 0}, {1, 9, 9, 9}, 1},
      {{1, 9, 9, 9}, {2, 0, 0, 0}, -1},
      {{0, 0, 0, 0xFFFFFFFFu}, {0, 0, 1, 0}, -1},
      {{0xFFFFFFFFu, 0, 0, 0}, {1, 0, 0, 0}, 1},
      {{1, 2, 0, 0}, {1, 1, 5, 5}, 1},
  };
  for (const CompareCase& c : cases) {
    EXPECT_EQ(c.expected, CompareVersions(c.a, c.b))
        << c.a[0] << "." << c.a[1] << "." << c.a[2] << "." << c.a[3] << " vs " << c.b[0] << "." << c.b[1]
        << "." << c.b[2] << "." << c.b[3];
  }
}

}  // namespace
