// Collects the video-processing log lines while a test runs.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "VpLog.h"

class LogCapture {
public:
    LogCapture() { vp::SetLogHook(&LogCapture::Add); Lines().clear(); }
    ~LogCapture() { vp::SetLogHook(nullptr); }
    std::vector<std::string> Take()
    {
        std::lock_guard<std::mutex> lock(Mutex());
        return Lines();
    }

private:
    static void Add(const std::string& line)
    {
        std::lock_guard<std::mutex> lock(Mutex());
        Lines().push_back(line);
    }
    static std::vector<std::string>& Lines() { static std::vector<std::string> lines; return lines; }
    static std::mutex& Mutex() { static std::mutex m; return m; }
};
