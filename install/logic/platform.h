#pragma once
// The platform decision: which of the known systems is running, and whether the install
// script's platforms line allows it. No platform headers.
#include "common/fixed_text.h"

// The platforms the install script allows, one flag per code of item 1.
struct AllowedPlatforms {
  bool Win95;    // "95"
  bool Win98;    // "98"
  bool WinNT4;   // "NT"
  bool Win2000;  // "W2"
};

// The running platform as the driver step needs it; at most one of the three systems.
enum RunningPlatform {
  kRunningOther,    // Windows 95 itself, older or unknown systems
  kRunningWin98,    // Windows 98 or later of the Windows 95 family (Me included)
  kRunningWinNT4,   // Windows NT 4
  kRunningWin2000,  // Windows 2000 or later of the NT family
};

// What reading the platforms line finds. Every outcome but kPlatformsRead is a fault of the
// script, and its value is the number the installer reports it with (its table of result
// numbers names them kPlatformCodeNotTwoCharacters, kPlatformCodeUnknown, kPlatformLineEmpty;
// the platform check asserts at compile time that the two agree).
enum PlatformsLineOutcome {
  kPlatformsRead = 0,
  kPlatformsCodeNotTwoCharacters = 1,
  kPlatformsCodeUnknown = 2,  // a two-character code other than "95", "98", "NT", "W2" (case matters)
  kPlatformsNoCode = 3,       // no code at all
};

// Reads the platforms line (the token split cuts it in place) into allowed, which starts
// all false. Returns a PlatformsLineOutcome; the first bad code ends the reading.
int ParsePlatformsLine(char* line, AllowedPlatforms& allowed);

struct PlatformDecision {
  RunningPlatform running;  // set whether or not the platform is allowed
  bool allowed;
};

// platformId 1 is the Windows 95 family, 2 the NT family; major and minor are the
// system's version numbers.
PlatformDecision DecidePlatform(const AllowedPlatforms& allowed, unsigned long platformId,
                                unsigned long major, unsigned long minor);

// The refusal: the fixed first line, CR LF, then the name of every allowed platform in
// the fixed order 95, 98, NT, W2, joined with nothing between them (three of the names end
// with two blanks of their own). The longest text is 149 characters.
typedef FixedText<160> RefusalText;
void BuildRefusalText(const AllowedPlatforms& allowed, RefusalText& out);
