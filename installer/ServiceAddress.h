// Base address of the statistics, component and download services: the
// build's default (empty unless configured), replaced by the environment
// variable TQ_SERVICE_URL when the build lets it (TQ_SERVICE_URL_FROM_ENV,
// for test builds that point the installer at a loopback server). Only an
// http:// or https:// address is ever used. No trailing slash. Empty means
// that requests to the services are skipped.
#pragma once

#include <string>

std::wstring serviceBaseUrl();

// True for "http://host..." or "https://host..." with a host and nothing
// that could make the text another kind of address or a command line
// (blanks, quotes, control characters, user names).
bool isHttpUrl(const std::wstring& url);
