#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <vector>

#include "tools/script_check/script_check.h"
#include "tools/script_check/text_1252.h"

namespace {

std::string Formatted(const Diagnostics& diags) {
  std::string all;
  for (const Diagnostic& d : diags.All()) all += Diagnostics::Format(d) + "\n";
  return all;
}

std::string Printable(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 32 || c >= 127) {
      char buf[8];
      snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

struct NormaliseRow {
  const char* what;
  std::string raw;
  std::string expected;
  std::vector<std::string> diagnostics;  // each the whole formatted diagnostic, in order of reporting
};

TEST(TextNormalise, LineEndsAndCharacters) {
  const NormaliseRow rows[] = {
      {"CR LF stays", "a\r\nb\r\n", "a\r\nb\r\n", {}},
      {"LF alone becomes CR LF, one warning", "a\nb\nc\n", "a\r\nb\r\nc\r\n",
       {"T:1: warning: 3 lines end with LF alone; converted to CR LF (the installer reads only CR LF as a line end)"}},
      {"mixed line ends", "a\r\nb\nc\r\nd\n", "a\r\nb\r\nc\r\nd\r\n",
       {"T:2: warning: 2 lines end with LF alone; converted to CR LF (the installer reads only CR LF as a line "
        "end)"}},
      {"a CR alone is an error", "ab\rc\r\n", "ab\r\nc\r\n",
       {"T:1:3: error: a CR not followed by LF; lines must end with CR LF (the installer would not read this line "
        "end as the editor shows it)"}},
      {"a CR alone at the very end", "a\r", "a\r\n",
       {"T:1:2: error: a CR not followed by LF; lines must end with CR LF (the installer would not read this line "
        "end as the editor shows it)"}},
      {"last line without a line end", "a\r\nb", "a\r\nb\r\n",
       {"T:2: warning: the last line does not end with CR LF; CR LF added"}},
      {"byte-order mark dropped", "\xEF\xBB\xBF" "a\r\n", "a\r\n",
       {"T:1: warning: UTF-8 byte-order mark dropped (the installer reads Windows code page 1252)"}},
      {"only a byte-order mark", "\xEF\xBB\xBF", "",
       {"T:1: warning: UTF-8 byte-order mark dropped (the installer reads Windows code page 1252)"}},
      {"UTF-8 converted", "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D \xC5\xB8\r\n",
       "caf\xE9 \x80 \x93q\x94 \x9F\r\n", {}},
      {"UTF-8 with a character 1252 lacks", "x\r\n\xC3\xA9" "b\xC4\x81" "c\r\n", "x\r\n\xE9" "b?c\r\n",
       {"T:2:3: error: the character U+0101 '\xC4\x81' cannot be written in Windows code page 1252, which the "
        "installer reads"}},
      {"UTF-8 outside the BMP", "\xF0\x9F\x98\x80\r\n", "?\r\n",
       {"T:1:1: error: the character U+1F600 '\xF0\x9F\x98\x80' cannot be written in Windows code page 1252, "
        "which the installer reads"}},
      {"UTF-8 C1 control", "\xC2\x81\r\n", "?\r\n",
       {"T:1:1: error: the character U+0081 '\xC2\x81' cannot be written in Windows code page 1252, which the "
        "installer reads"}},
      {"1252 input kept", "caf\xE9 \x80\r\n", "caf\xE9 \x80\r\n", {}},
      {"1252 input with a lone UTF-8 lead byte", "\xC3 x\r\n", "\xC3 x\r\n", {}},
      {"overlong UTF-8 form is taken as 1252", "\xC0\xAF\r\n", "\xC0\xAF\r\n", {}},
      {"byte-order mark, then not UTF-8", "\xEF\xBB\xBF" "ab\r\n\xC3\xA9x\xE9\r\n", "ab\r\n\xC3\xA9x\xE9\r\n",
       {"T:1: warning: UTF-8 byte-order mark dropped (the installer reads Windows code page 1252)",
        "T:2:3: error: byte 0xE9 is not UTF-8, though the file starts with a UTF-8 byte-order mark"}},
      {"NUL byte", std::string("ab\0c\r\n", 6), std::string("ab\0c\r\n", 6),
       {"T:1:3: error: a NUL character (code 0): the installer would take the text as ending here"}},
      {"UTF-16 little-endian", std::string("\xFF\xFE" "a\0\xE9\0\r\0\n\0", 10), "a\xE9\r\n",
       {"T:1: warning: converted from UTF-16 (the installer reads Windows code page 1252)"}},
      {"UTF-16 big-endian with a character 1252 lacks", std::string("\xFE\xFF\0a\x01\x01\0\r\0\n", 10), "a?\r\n",
       {"T:1: warning: converted from UTF-16 (the installer reads Windows code page 1252)",
        "T:1:2: error: the character U+0101 '\xC4\x81' cannot be written in Windows code page 1252, which the "
        "installer reads"}},
      {"UTF-16 with a lone surrogate", std::string("\xFF\xFE" "a\0\x00\xD8", 6), "",
       {"T: error: the file starts with a UTF-16 byte-order mark but is not valid UTF-16 (at byte 4); save it as "
        "UTF-8 or Windows code page 1252"}},
      {"UTF-16 of odd length", std::string("\xFF\xFE" "a\0b", 5), "",
       {"T: error: the file starts with a UTF-16 byte-order mark but is not valid UTF-16 (at byte 4); save it as "
        "UTF-8 or Windows code page 1252"}},
      {"empty", "", "", {}},
  };
  for (const NormaliseRow& row : rows) {
    Diagnostics diags;
    std::string got = NormaliseText(row.raw, "T", &diags);
    EXPECT_EQ(Printable(row.expected), Printable(got)) << row.what;
    std::vector<std::string> gotDiags;
    for (const Diagnostic& d : diags.All()) gotDiags.push_back(Diagnostics::Format(d));
    EXPECT_EQ(row.diagnostics, gotDiags) << row.what << "\ngot:\n" << Formatted(diags);
  }
}

// Every byte of code page 1252 against the C library's own conversion, both ways.
TEST(TextNormalise, CodePageAgreesWithIconv) {
  iconv_t cd = iconv_open("UTF-32LE", "CP1252");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  int compared = 0;
  for (int b = 1; b < 256; b++) {
    char in = static_cast<char>(b);
    unsigned char out[8] = {0};
    char* inp = &in;
    char* outp = reinterpret_cast<char*>(out);
    size_t inLeft = 1, outLeft = sizeof out;
    size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (r == static_cast<size_t>(-1)) {
      // Undefined in 1252 (0x81, 0x8D, 0x8F, 0x90, 0x9D): never produced from Unicode.
      EXPECT_EQ(-1, UnicodeTo1252(Cp1252ToUnicode(static_cast<unsigned char>(b)))) << "byte " << b;
      continue;
    }
    uint32_t cp = out[0] | (out[1] << 8) | (out[2] << 16) | (static_cast<uint32_t>(out[3]) << 24);
    EXPECT_EQ(cp, Cp1252ToUnicode(static_cast<unsigned char>(b))) << "byte " << b;
    EXPECT_EQ(b, UnicodeTo1252(cp)) << "byte " << b << " U+" << std::hex << cp;
    compared++;
  }
  iconv_close(cd);
  EXPECT_EQ(250, compared);
}

TEST(TextNormalise, RoundTripThroughUtf8) {
  std::string all;
  for (int b = 1; b < 256; b++)
    if (b != '\r' && b != '\n' && UnicodeTo1252(Cp1252ToUnicode(static_cast<unsigned char>(b))) == b) all += static_cast<char>(b);
  all += "\r\n";
  std::string utf8 = Cp1252ToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(utf8, nullptr));
  Diagnostics diags;
  EXPECT_EQ(Printable(all), Printable(NormaliseText(utf8, "T", &diags)));
  EXPECT_EQ("", Formatted(diags));
}

TEST(LicenceCheck, Cases) {
  const NormaliseRow rows[] = {
      {"CR LF kept", "Terms\r\nMore\r\n", "Terms\r\nMore\r\n", {}},
      {"LF and no last line end", "Terms\nMore", "Terms\r\nMore\r\n",
       {"LICENCE:1: warning: 1 line ends with LF alone; converted to CR LF (the installer reads only CR LF as a "
        "line end)",
        "LICENCE:2: warning: the last line does not end with CR LF; CR LF added"}},
      {"UTF-8 licence", "\xC2\xA9 Kestrel\r\n", "\xA9 Kestrel\r\n", {}},
      {"empty licence", "", "", {"LICENCE: warning: the licence is empty: the licence box would stay empty"}},
      {"too long for Windows 95", std::string(70000, 'x') + "\r\n", std::string(70000, 'x') + "\r\n",
       {"LICENCE: warning: the licence is 70002 bytes long: the licence box of Windows 95, 98 and Me holds at most "
        "65535"}},
  };
  for (const NormaliseRow& row : rows) {
    Diagnostics diags;
    std::string got;
    CheckLicence(row.raw, "LICENCE", &got, &diags);
    EXPECT_TRUE(got == row.expected) << row.what << ": got " << Printable(got.substr(0, 80));
    std::vector<std::string> gotDiags;
    for (const Diagnostic& d : diags.All()) gotDiags.push_back(Diagnostics::Format(d));
    EXPECT_EQ(row.diagnostics, gotDiags) << row.what << "\ngot:\n" << Formatted(diags);
  }
}

}  // namespace
