// Lets the bridge open the installer's windows (the program calls it once).
#pragma once

void installSetupWindows();
