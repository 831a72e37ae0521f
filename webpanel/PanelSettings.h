// What the panel takes from the product's settings: the application data
// folder, configuration values and the effect-depot page's address.
#pragma once

#include "KqString.h"

namespace PanelSettings {

// "<user application data>\\brenlo\\tqsorva".
KqString appFolder();
// Configuration value under HKCU "Software\\brenlo\\TqSorva" (a number as
// text or a DWORD); the default when absent or not a number.
double configNumber(const wchar_t* name, double defaultValue);
KqString pathJoin(const KqString& folder, const KqString& name);
// The product's service address: the TQ_SERVICE_URL variable when set, else
// the one the build names; no trailing slash.
KqString serviceUrl();
KqString effectDepotUrl();

// Test seam: another application data folder (empty: back to the real one).
void setAppFolderForTest(const KqString& folder);

}  // namespace PanelSettings

constexpr wchar_t kPanelConfigKey[] = L"Software\\brenlo\\TqSorva";
