#include "tools/script_check/text_1252.h"

#include <stdio.h>

namespace {

// Code page 1252 from 0x80 to 0x9F; 0 where the code page defines no character.
const uint16_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

const char kBom[] = "\xEF\xBB\xBF";

// Decodes one UTF-8 sequence at s[i]; returns its length, or 0 when it is not valid.
size_t DecodeUtf8(const std::string& s, size_t i, uint32_t* cp) {
  unsigned char b = static_cast<unsigned char>(s[i]);
  if (b < 0x80) {
    *cp = b;
    return 1;
  }
  size_t n;
  uint32_t min;
  if ((b & 0xE0) == 0xC0) {
    n = 2, min = 0x80, *cp = b & 0x1F;
  } else if ((b & 0xF0) == 0xE0) {
    n = 3, min = 0x800, *cp = b & 0x0F;
  } else if ((b & 0xF8) == 0xF0) {
    n = 4, min = 0x10000, *cp = b & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; k++) {
    unsigned char c = static_cast<unsigned char>(s[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    *cp = (*cp << 6) | (c & 0x3F);
  }
  if (*cp < min || *cp > 0x10FFFF || (*cp >= 0xD800 && *cp <= 0xDFFF)) return 0;
  return n;
}

std::string Hex(uint32_t cp) {
  char buf[16];
  snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
  return buf;
}

// Line and column of the characters of a text as it is walked; a CR LF pair, an LF alone
// and a CR alone each end one line.
class Position {
 public:
  void Take(const std::string& s, size_t i) {
    char c = s[i];
    if (c == '\n' || (c == '\r' && !(i + 1 < s.size() && s[i + 1] == '\n'))) {
      line_++;
      column_ = 1;
    } else if (c != '\r' && (static_cast<unsigned char>(c) & 0xC0) != 0x80) {
      // A UTF-8 continuation byte belongs to the character before it.
      column_++;
    }
  }
  int line() const { return line_; }
  int column() const { return column_; }

 private:
  int line_ = 1;
  int column_ = 1;
};

// UTF-8 to 1252, each character that 1252 cannot hold reported and replaced by '?'.
std::string ConvertUtf8(const std::string& s, const std::string& fileName, Diagnostics* diags) {
  std::string out;
  out.reserve(s.size());
  Position at;
  for (size_t i = 0; i < s.size();) {
    uint32_t cp = 0;
    size_t n = DecodeUtf8(s, i, &cp);
    int byte = UnicodeTo1252(cp);
    if (byte < 0) {
      diags->Error(fileName, at.line(), at.column(),
                   "the character " + Hex(cp) + " '" + s.substr(i, n) +
                       "' cannot be written in Windows code page 1252, which the installer reads");
      byte = '?';
    }
    out += static_cast<char>(byte);
    at.Take(s, i);
    i += n;
  }
  return out;
}

}  // namespace

int UnicodeTo1252(uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (int i = 0; i < 32; i++)
    if (kHigh[i] != 0 && kHigh[i] == cp) return 0x80 + i;
  return -1;
}

uint32_t Cp1252ToUnicode(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0 && kHigh[byte - 0x80] != 0) return kHigh[byte - 0x80];
  return byte;
}

std::string Cp1252ToUtf8(const std::string& text) {
  std::string out;
  for (unsigned char b : text) {
    uint32_t cp = Cp1252ToUnicode(b);
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

bool IsValidUtf8(const std::string& bytes, size_t* firstBad) {
  for (size_t i = 0; i < bytes.size();) {
    uint32_t cp;
    size_t n = DecodeUtf8(bytes, i, &cp);
    if (n == 0) {
      if (firstBad) *firstBad = i;
      return false;
    }
    i += n;
  }
  return true;
}

namespace {

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (cp >> 18));
    *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// UTF-16 after its byte-order mark, as UTF-8; false at the first unit that does not decode
// (an odd last byte, a surrogate without its partner), with *badUnit its number.
bool Utf16ToUtf8(const std::string& bytes, bool bigEndian, std::string* out, size_t* badUnit) {
  size_t units = bytes.size() / 2;
  auto unit = [&](size_t i) {
    unsigned char a = static_cast<unsigned char>(bytes[2 * i]), b = static_cast<unsigned char>(bytes[2 * i + 1]);
    return bigEndian ? static_cast<uint32_t>(a << 8 | b) : static_cast<uint32_t>(b << 8 | a);
  };
  for (size_t i = 0; i < units; i++) {
    uint32_t cp = unit(i);
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
      i++;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      *badUnit = i;
      return false;
    }
    AppendUtf8(cp, out);
  }
  if (bytes.size() % 2) {
    *badUnit = units;
    return false;
  }
  return true;
}

}  // namespace

std::string NormaliseText(const std::string& raw, const std::string& fileName, Diagnostics* diags) {
  std::string text = raw;
  bool utf16le = text.compare(0, 2, "\xFF\xFE") == 0, utf16be = text.compare(0, 2, "\xFE\xFF") == 0;
  if (utf16le || utf16be) {
    std::string utf8;
    size_t bad = 0;
    if (!Utf16ToUtf8(text.substr(2), utf16be, &utf8, &bad)) {
      diags->Error(fileName, 0, 0,
                   "the file starts with a UTF-16 byte-order mark but is not valid UTF-16 (at byte " +
                       std::to_string(2 + 2 * bad) + "); save it as UTF-8 or Windows code page 1252");
      return "";
    }
    diags->Warning(fileName, 1, 0, "converted from UTF-16 (the installer reads Windows code page 1252)");
    text = utf8;
  }
  bool bom = text.compare(0, 3, kBom) == 0;
  if (bom) {
    text.erase(0, 3);
    diags->Warning(fileName, 1, 0, "UTF-8 byte-order mark dropped (the installer reads Windows code page 1252)");
  }

  bool high = false;
  for (unsigned char b : text) high = high || b >= 0x80;
  if (high) {
    size_t bad = 0;
    if (IsValidUtf8(text, &bad)) {
      text = ConvertUtf8(text, fileName, diags);
    } else if (bom) {
      Position at;
      for (size_t i = 0; i < bad; i++) at.Take(text, i);
      char byte[8];
      snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(text[bad]));
      diags->Error(fileName, at.line(), at.column(),
                   std::string("byte ") + byte + " is not UTF-8, though the file starts with a UTF-8 byte-order mark");
    }
    // Otherwise the bytes are code page 1252 already.
  }

  std::string out;
  out.reserve(text.size() + text.size() / 16 + 2);
  int line = 1, column = 1;
  int lfAlone = 0, firstLfLine = 0;
  bool nulReported = false;
  for (size_t i = 0; i < text.size(); i++) {
    char c = text[i];
    if (c == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') {
        i++;
      } else {
        diags->Error(fileName, line, column,
                     "a CR not followed by LF; lines must end with CR LF (the installer would not read this "
                     "line end as the editor shows it)");
      }
      out += "\r\n";
      line++;
      column = 1;
    } else if (c == '\n') {
      if (lfAlone++ == 0) firstLfLine = line;
      out += "\r\n";
      line++;
      column = 1;
    } else {
      if (c == 0 && !nulReported) {
        diags->Error(fileName, line, column, "a NUL character (code 0): the installer would take the text as ending here");
        nulReported = true;
      }
      out += c;
      column++;
    }
  }
  if (lfAlone) {
    diags->Warning(fileName, firstLfLine, 0,
                   std::to_string(lfAlone) + (lfAlone == 1 ? " line ends" : " lines end") +
                       " with LF alone; converted to CR LF (the installer reads only CR LF as a line end)");
  }
  if (!out.empty() && (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0)) {
    diags->Warning(fileName, line, 0, "the last line does not end with CR LF; CR LF added");
    out += "\r\n";
  }
  return out;
}
