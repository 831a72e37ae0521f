// Seconds of use of one effect, read (and reset) by the host.
#pragma once

#include <cstdint>

struct UsageClock {
    bool on = false;
    uint32_t start = 0;  // ms, when switched on
    uint32_t total = 0;  // ms gathered since the last query

    void SwitchOn(uint32_t now)
    {
        if (!on)
            start = now;
        on = true;
    }
    void SwitchOff(uint32_t now)
    {
        if (on)
            total += now - start;
        on = false;
    }
    // Whole seconds since the previous query; a stretch below the floor is forgotten.
    int Query(uint32_t now, uint32_t floorSeconds)
    {
        if (on) {
            total += now - start;
            start = now;
        }
        if (total / 1000 < floorSeconds)
            total = 0;
        const int seconds = int(total / 1000);
        total = 0;
        return seconds;
    }
};
