// Base address of the statistics, component and download services: the
// build's default (empty unless configured), replaced by the environment
// variable TQ_SERVICE_URL when that is set. No trailing slash. Empty means
// that requests to the services are skipped.
#pragma once

#include <string>

std::wstring serviceBaseUrl();
