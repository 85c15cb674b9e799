#include "install/logic/name_list.h"

#include <stdlib.h>
#include <string.h>

bool NameList::Append(const char* name) {
  unsigned n = (unsigned)strlen(name) + 1;
  if (used_ + n > cap_) {
    unsigned cap = cap_ ? cap_ : 260;
    while (cap < used_ + n) cap *= 2;
    char* grown = static_cast<char*>(realloc(data_, cap));
    if (!grown) return false;
    data_ = grown;
    cap_ = cap;
  }
  memcpy(data_ + used_, name, n);
  used_ += n;
  count_++;
  return true;
}

void NameList::Clear() {
  free(data_);
  data_ = nullptr;
  used_ = cap_ = count_ = 0;
}

const char* NameList::Next(const char* name) const {
  const char* next = name + strlen(name) + 1;
  return next < data_ + used_ ? next : nullptr;
}
