#pragma once
// The verbs of `orv`; each takes the arguments after the verb and returns the exit status
// (0 done, 1 refused or failed, 2 wrong usage).
int OrvBuild(int argc, char** argv);
int OrvCheck(int argc, char** argv);
int OrvInspect(int argc, char** argv);
int OrvPack(int argc, char** argv);
// orv try: the installer installed and uninstalled under Wine (the kit's try/orv_try.py).
int OrvTry(int argc, char** argv);
// orv --version: the kit's version and the file versions of its stub and uninstaller.
int OrvVersion(int argc, char** argv);
int OrvResources(int argc, char** argv);
