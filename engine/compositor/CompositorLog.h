// Info lines of the compositor, written to the engine log.
#pragma once

void CompositorLog(const char* format, ...)
#ifdef __MINGW_PRINTF_FORMAT
    __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)))
#endif
    ;
