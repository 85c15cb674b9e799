#pragma once
// The verbs of `orv`; each takes the arguments after the verb and returns the exit status
// (0 done, 1 refused or failed, 2 wrong usage).
int OrvBuild(int argc, char** argv);
int OrvCheck(int argc, char** argv);
int OrvInspect(int argc, char** argv);
int OrvPack(int argc, char** argv, const char* program);
int OrvResources(int argc, char** argv);
