// Receiver of the workers' reports (the environment checker and the
// decompressor); called on their threads, or on the main thread in silent
// installs.
#pragma once

#include <string>

class SorvaSetupListener {
public:
    virtual ~SorvaSetupListener() = default;
    virtual void onCheckResult(int code) = 0;
    virtual void onTqRunning() = 0;
    virtual void onProgress(double fraction, const std::wstring& text) = 0;
    virtual void onDecompressFinish(int code) = 0;
    virtual bool isSilent() = 0;
};
