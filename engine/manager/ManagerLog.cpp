#include "ManagerLog.h"
#include "LumeoLog.h"

void LogLine(const char* text)
{
    LUMEO_LOG_LINE().AppendNarrow(text);
}
