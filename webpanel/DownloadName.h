// Names of downloaded files come from the page, so they are checked before
// anything is written: a name must stay a plain file name inside the music
// folder.
#pragma once

#include <string>

// False for empty names, names with path separators, "..", a drive colon or
// other characters Windows refuses in file names, control characters,
// trailing dots or blanks, and reserved device names (con, nul, com1, ...
// with or without an extension, in any case).
bool IsSafeDownloadName(const std::wstring& name);

// The file extension a download gets: from the URL's path only (query and
// fragment left out), its text from the last "." on, the dot included; a
// path without a dot gives the whole path. Only letters and digits may
// follow the dot; anything else gives no extension.
std::wstring DownloadExtension(const std::wstring& url);
