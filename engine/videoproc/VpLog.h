// Info-level log lines of the video processing, printf style.
#pragma once

#include <string>

namespace vp {

void LogInfo(const char* format, ...);

// Tests watch the lines through this hook (null restores the default sink).
typedef void (*LogHook)(const std::string& line);
void SetLogHook(LogHook hook);

}  // namespace vp
