// Steps whose real code is still being written. Each ends the installation with an
// internal error rather than pretend that it did its work; each moves to its own file
// (payload.cpp, files.cpp, ...) as it is written, and this file then goes away.
#include "install/state.h"

