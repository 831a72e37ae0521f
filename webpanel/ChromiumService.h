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
// The parts of that command line, for the tests: one argument quoted for a
// command line that the C runtime's rules split; the command that runs a
// Linux program under Wine with the profile folder (both Unix paths).
std::wstring quoteArgument(const std::wstring& argument);
std::wstring wineStartCommand(const std::wstring& unixProgram, const std::wstring& unixProfile);
// The Unix path of a Windows path under Wine; empty when there is none.
std::wstring unixPathOf(const std::wstring& windowsPath);

}  // namespace ChromiumService
