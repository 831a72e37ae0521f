// The mood-music player as the host drives it: the slots of the object that
// IVcamManger::GetMoodMusic returns, in their fixed order.
#pragma once

#include <string>

class IMoodMusic {
public:
    virtual int StartMoodMusic(const char* fileName) = 0;
    virtual void StopMoodMusic() = 0;
    virtual std::wstring GetMoodMusicName() = 0;
    // Seconds, measured on the calling thread; 0 when it cannot be read.
    virtual double GetDuration(const char* fileName) = 0;
    virtual void SetMoodMusicVolume(double volume) = 0;
    virtual void Quit() = 0;
protected:
    ~IMoodMusic() = default;
};

constexpr int kMoodMusicSlots = 6;
