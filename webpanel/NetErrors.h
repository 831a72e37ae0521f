// Chromium's network error names ("net::ERR_NAME_NOT_RESOLVED") and numbers
// (-105), for the load errors the DevTools protocol reports by name.
#pragma once

#include <string>

// The number of a "net::ERR_*" name (the prefix may be left out); -2 (a
// plain failure) for a name not in the table.
int NetErrorNumber(const std::string& name);

// The number the panel's rules see for a failed load: an aborted load of a
// URL whose scheme the engine cannot show counts as -302 (unknown scheme),
// which is what the engine hands to the system for such links.
int PanelLoadErrorNumber(const std::string& errorName, const std::string& url);
