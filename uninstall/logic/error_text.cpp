#include "uninstall/logic/error_text.h"

#include <string.h>

bool ErrorText::AddErrorText(const char* message, const char* subject) {
  if (subject == nullptr) subject = "";
  size_t messageLength = strlen(message);
  size_t subjectLength = strlen(subject);
  // Compared piece by piece so that no sum can wrap, however long a script line is.
  size_t room = kLengthLimit - 1 - length_;
  if (messageLength > room || subjectLength > room - messageLength ||
      2 > room - messageLength - subjectLength) {
    return false;
  }
  char* p = text_ + length_;
  memcpy(p, message, messageLength);
  p += messageLength;
  memcpy(p, subject, subjectLength);
  p += subjectLength;
  *p++ = '\r';
  *p++ = '\n';
  *p = 0;
  length_ += (unsigned)(messageLength + subjectLength + 2);
  return true;
}
