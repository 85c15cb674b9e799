#include "install/logic/removal_order.h"

#include <stdlib.h>
#include <string.h>

namespace {

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c; }

}  // namespace

bool PathIsInside(const char* path, const char* dir) {
  size_t n = strlen(dir);
  if (n && dir[n - 1] == '\\') n--;
  if (n == 0) return false;
  for (size_t i = 0; i < n; i++)
    if (!path[i] || Fold(path[i]) != Fold(dir[i])) return false;
  return path[n] == '\\' && path[n + 1] != 0;
}

void OrderForRemoval(const char* const* paths, unsigned n, const char** out) {
  unsigned placed = 0;
  for (unsigned i = 0; i < n; i++) {
    unsigned at = placed;
    for (unsigned j = 0; j < placed; j++) {
      if (PathIsInside(paths[i], out[j])) {
        at = j;
        break;
      }
    }
    memmove(out + at + 1, out + at, (placed - at) * sizeof *out);
    out[at] = paths[i];
    placed++;
  }
}

void AddCarriedDirectories(DirList& list, const char* const* carried, unsigned n) {
  if (n == 0) return;
  unsigned total = n + list.count();
  const char** input = static_cast<const char**>(malloc(total * sizeof *input));
  const char** ordered = static_cast<const char**>(malloc(total * sizeof *ordered));
  bool done = false;
  if (input && ordered) {
    unsigned k = 0;
    for (unsigned i = 0; i < n; i++) input[k++] = carried[i];
    DirList::Cursor it;
    for (const char* p = list.First(it); p; p = list.Next(it)) input[k++] = p;
    OrderForRemoval(input, total, ordered);
    // The new list is built completely before it replaces the old one, which owns half of
    // the texts it is built from.
    DirList rebuilt;
    done = true;
    for (unsigned i = total; i-- > 0;) {
      if (!rebuilt.Prepend(ordered[i])) {
        done = false;
        break;
      }
    }
    if (done) list.Swap(rebuilt);
  }
  free(input);
  free(ordered);
  if (done) return;
  for (unsigned i = n; i-- > 0;) list.Prepend(carried[i]);
}
