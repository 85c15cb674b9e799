#pragma once
// The uninstall script's line rules as read, shared by the uninstaller (which works
// through the whole script) and the installer (which carries the directories of a previous
// script over). No platform headers: compiled into both programs and the host tests.
//
// The script is read whole into a writable buffer with a NUL after its last byte. Lines are
// cut in place: each line is returned as a pointer into that buffer, its CR overwritten by
// the terminator. The rules, line by line:
//   - a line runs from the cursor up to the next CR; that CR becomes the terminator and the
//     cursor moves two bytes past it, over the LF that the writer always puts after it;
//   - a CR that is the last byte of the text ends the text (the cursor stops on the
//     terminating NUL instead of passing it);
//   - a line without a CR after it runs to the end of the text, and the cursor is cleared:
//     the next read returns nothing;
//   - an empty line (CR LF alone) is returned as an empty text; it does not end the text;
//   - a cursor on the terminating NUL, or a cleared cursor, returns nothing.
// A NUL byte inside the file therefore ends the text as the terminator does. A CR followed
// by anything but LF still moves the cursor two bytes on: the byte after it is lost, which
// the writer never produces.

class UninstallLineCursor {
 public:
  // text: the buffer to cut, NUL-terminated and writable; NULL gives an empty script.
  explicit UninstallLineCursor(char* text) : next_(text) {}

  // The next line, or NULL at the end of the text.
  char* ReadUninstallLine();

  // True once ReadUninstallLine would return NULL.
  bool AtEnd() const { return next_ == nullptr || *next_ == 0; }

 private:
  char* next_;
};

// True when the line closes a section: exactly "." (a full stop and nothing else, not
// even a blank). NULL (the end of the text) is not a section end.
bool IsSectionEnd(const char* line);
