// What the setup windows ask of the controller (on the UI thread).
#pragma once

#include <cstdint>
#include <string>

class SorvaSetupCommands {
public:
    virtual void restartCheck(int32_t param) = 0;
    virtual void setPath(const std::wstring& path) = 0;
    virtual void forceQuit() = 0;
    virtual void startDecompress(bool async) = 0;
    virtual void stopDecompress() = 0;
    virtual void runTqRun() = 0;
    virtual void openFullInstaller() = 0;

protected:
    ~SorvaSetupCommands() = default;
};
