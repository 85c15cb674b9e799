#pragma once
// What the uninstaller accepts from an uninstall script: only lines that an installation
// can have written. Any earlier program may have damaged the script, and the uninstaller
// runs with administrator rights; a line that fails these rules is refused and reported
// like a failed removal. No platform headers.

// A file-section line: an absolute path, either a drive letter, a colon and a backslash
// ("C:\..."), or "\\server\share\..." with a server name other than "." and "?" (those are
// the platform's device and raw-path forms), server and share each ended by "\" or "/". A
// relative path would be resolved against whatever the current directory is. (The
// uninstaller passes over an empty line before asking: it names nothing.)
bool IsRemovablePath(const char* line);

// A registry key line below a root: not empty, no leading backslash, no empty part between
// backslashes and no trailing backslash. Anything else names the root itself or no key, and
// a root key is never deleted.
bool NamesSubkey(const char* key);

// A driver-section line: a name that is not empty and holds neither "\" nor "/", so that the
// driver file stays in the drivers directory and the service key below Services.
bool IsDriverName(const char* name);
