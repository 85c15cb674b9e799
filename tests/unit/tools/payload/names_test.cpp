#include <gtest/gtest.h>

#include <string>

#include "tools/payload/names.h"

namespace {

TEST(PayloadNames, DeviceNamesAsWindowsTakesThem) {
  struct Case {
    const char* part;
    bool device;
  };
  const Case cases[] = {
      {"CON", true},        {"con", true},           {"Prn.txt", true},       {"aux.tar.gz", true},
      {"NUL", true},        {"COM1", true},          {"lpt9.log", true},      {"CON .txt", true},
      {"nul   .log", true}, {"Com3 ", true},         {"COM\xB9", true},       {"lpt\xB2.txt", true},
      {"LPT\xB3", true},    {"CONSOLE", false},      {"CON_", false},         {"COM0", false},
      {"LPT10", false},     {"COM", false},          {" CON", false},         {"xCON.txt", false},
      {"COM\xB4", false},   {".CON", false},         {"", false},             {"AUXI.txt", false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.device, IsDeviceName(c.part)) << "'" << c.part << "'";
}

}  // namespace
