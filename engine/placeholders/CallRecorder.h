// Stand-in members of the manager record the calls they receive, so the
// manager's wiring and dispatch can be checked before the real members exist.
#pragma once

#include <string>
#include <vector>

class CCallRecorder {
public:
    std::vector<std::string> calls;
protected:
    void Record(const std::string& call) { calls.push_back(call); }
    static std::string Num(long long v) { return std::to_string(v); }
};
