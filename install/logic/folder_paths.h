#pragma once
// The program folder's pure pieces: the folder name rule and the bounded building of the
// link and target paths from a prefix that stays in place.
#include "common/fixed_text.h"

// True when the text holds a backslash, which a folder name may not.
bool HasBackslash(const char* text);

// True when the folder name names no folder of its own: empty, or made only of full stops,
// blanks and tabs. ".", ".." and blanks name the Programs folder or its parent, and the
// platform drops trailing full stops and blanks from a name, so "..." or ". ." do the same;
// either would then be recorded for removal.
bool IsEmptyFolderName(const char* text);

// Replaces what follows the first `keep` characters of path with the parts given
// (b may be null). When the result does not fit, path is cut back to those `keep`
// characters and the answer is false.
bool ReplaceTail(PathText& path, unsigned keep, const char* a, const char* b = nullptr);
