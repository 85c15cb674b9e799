// orv-pack: the same as `orv pack`, kept as a command of its own.
#include "tools/orv_verbs.h"

int main(int argc, char** argv) { return OrvPack(argc - 1, argv + 1, "orv-pack"); }
