#include "install/logic/platform.h"

#include <string.h>

#include "common/format/install_script.h"

int ParsePlatformsLine(char* line, AllowedPlatforms& allowed) {
  allowed = AllowedPlatforms{false, false, false, false};
  TokenSplit split(line);
  char* code = split.Next();
  if (!code) return kPlatformsNoCode;
  for (; code; code = split.Next()) {
    if (strlen(code) != 2) return kPlatformsCodeNotTwoCharacters;
    if (strcmp(code, "95") == 0) {
      allowed.Win95 = true;
    } else if (strcmp(code, "98") == 0) {
      allowed.Win98 = true;
    } else if (strcmp(code, "NT") == 0) {
      allowed.WinNT4 = true;
    } else if (strcmp(code, "W2") == 0) {
      allowed.Win2000 = true;
    } else {
      return kPlatformsCodeUnknown;
    }
  }
  return 0;
}

PlatformDecision DecidePlatform(const AllowedPlatforms& allowed, unsigned long platformId,
                                unsigned long major, unsigned long minor) {
  if (platformId == 1) {
    if (major < 4) return {kRunningOther, false};
    if (major == 4 && minor == 0) return {kRunningOther, allowed.Win95};
    return {kRunningWin98, allowed.Win98};
  }
  if (platformId == 2) {
    if (major < 4) return {kRunningOther, false};
    if (major == 4) return {kRunningWinNT4, allowed.WinNT4};
    return {kRunningWin2000, allowed.Win2000};
  }
  return {kRunningOther, false};
}

void BuildRefusalText(const AllowedPlatforms& allowed, RefusalText& out) {
  out.Set("Sorry, this installation program must be run in one of these operating systems:\r\n");
  if (allowed.Win95) out.Append("Windows 95  ");
  if (allowed.Win98) out.Append("Windows 98 or later  ");
  if (allowed.WinNT4) out.Append("Windows NT 4  ");
  if (allowed.Win2000) out.Append("Windows 2000 or later");
}
