// The engine process: the panel uses a Chromium-based browser listening on
// 127.0.0.1:8088 when there is one, and otherwise starts one headless with
// the product's own profile folder. What it started it stops once.
#pragma once

#include <atomic>
#include <string>

namespace ChromiumService {

// Connects to or starts the engine; waits (up to timeoutMs, giving up early
// when cancel becomes true) until it answers. True when it answers.
bool ensureRunning(int timeoutMs, const std::atomic<bool>* cancel = nullptr);
// Asks the engine this process started to close (Browser.close); nothing
// for an engine that was already running. Harmless when called again.
void stop();
bool startedHere();

// The command line that starts the engine (for the logs and the tests).
std::wstring startCommandLine();
bool runningUnderWine();

}  // namespace ChromiumService
