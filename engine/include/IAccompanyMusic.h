// The karaoke accompaniment as the host drives it: the slots of the object
// that IVcamManger::GetAccompanyMusic returns, in their fixed order, and the
// listener the host hands to it.
#pragma once

#include <string>
#include <vector>

class CAccompanyMusic;

// Called on the host's thread, from its message loop.
class IAccompanyMusicListener {
public:
    virtual void OnAccompanyPosition(double seconds) = 0;
    virtual void OnAccompanyEnd() = 0;
    virtual void OnAccompanyDuration(const char* fileName, double milliseconds) = 0;
protected:
    ~IAccompanyMusicListener() = default;
};

// Play types: the original recording or the karaoke backing track is audible.
constexpr int kPlayKaraoke = 0;
constexpr int kPlayOriginal = 1;

class IAccompanyMusic {
public:
    virtual int StartAccompanyMusic(const char* origFile, const char* kalaokFile, int playType) = 0;
    virtual void SwitchPlayType(int playType) = 0;
    virtual int StopAccompanyMusic() = 0;
    virtual int PauseAccompanyMusic() = 0;
    virtual int ContinueAccompanyMusic() = 0;
    virtual int SetPlayPosition(double fraction) = 0;
    virtual double GetPlayPosition() = 0;
    virtual void SetAccompanyVolume(double volume) = 0;
    virtual void GetPreMusicDuration(const std::vector<std::string>& fileNames) = 0;
    virtual void SetListener(IAccompanyMusicListener* listener) = 0;
    virtual void Quit() = 0;
    virtual int GetPlayedSeconds() = 0;
protected:
    ~IAccompanyMusic() = default;
};

constexpr int kAccompanyMusicSlots = 12;
constexpr int kAccompanyListenerSlots = 3;

// The engine's accompaniment object starts with these slots (IAccompanyMusic
// is its first base), so the host sees it through the interface without its class.
inline IAccompanyMusic* AsAccompanyMusic(CAccompanyMusic* music)
{
    return reinterpret_cast<IAccompanyMusic*>(music);
}
