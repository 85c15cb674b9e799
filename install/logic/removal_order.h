#pragma once
// The order in which recorded directories are removed: every directory after everything
// that lies inside it, so that the uninstaller finds each one empty. No platform headers.
#include "install/logic/dir_list.h"

// True when path lies inside dir, at any depth. Letters compare without regard to case, as
// the file system does; dir may end with a backslash.
bool PathIsInside(const char* path, const char* dir);

// Puts n paths into removal order in out (n slots): the paths are placed one by one, in
// the given order, each at the end or, when an already placed path holds it, just before
// the first such path. A sequence already in removal order comes out unchanged, and
// unrelated paths keep their relative order.
void OrderForRemoval(const char* const* paths, unsigned n, const char** out);

// Adds the directories carried over from a previous uninstall script (carried, in the
// order in which they stood in that file) to the front of list, then puts the whole list
// into removal order: a directory recorded earlier in this run that lies inside a carried
// one moves in front of it. Without memory for the reordering, the carried directories are
// simply put in front (those that fit) and the list keeps its order.
void AddCarriedDirectories(DirList& list, const char* const* carried, unsigned n);
