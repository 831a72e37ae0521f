// Tells links and junctions apart from plain files and folders.
#pragma once

#include <string>

// True when path itself is a link or junction (of a file or a folder), or
// when that cannot be told: its resolved location is not its folder's
// resolved location plus its own name. Links higher up the path do not count.
// False for a path that does not exist.
bool isLinkItself(const std::wstring& path);
