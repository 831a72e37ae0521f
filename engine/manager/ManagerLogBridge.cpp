// Temporary bridge until the engine log lands: lines go nowhere.
#include "ManagerLog.h"

void WriteLog(int, const char*, ...) {}
void StartLogger() {}
void StopLogger() {}
void LogLine(const char*) {}
