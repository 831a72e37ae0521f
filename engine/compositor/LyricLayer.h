// The two lyric lines. Placeholder: keeps its settings and draws nothing
// until the text layer is built. Guarded by the compositor's layer lock.
#pragma once

#include <cstdint>
#include <string>

class CLyricLayer {
public:
    bool shown = false;
    std::string line1, line2;
    double progress = 0;
    bool firstLineActive = true;
    unsigned color[3] = {0, 0, 255};
    unsigned sungColor[3] = {255, 255, 0};

    void Draw(uint8_t*, int, int) {}
};
