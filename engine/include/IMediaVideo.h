// The media-file source as the host drives it: the slots of the object that
// IVcamManger::GetMediaVideo returns, in their fixed order, and the listener
// the host hands to it.
#pragma once

#include "ICaptureVideo.h"  // ISnapshotSink

#include <cstdint>
#include <string>
#include <vector>

class CMediaVideo;

// Called on the host's thread, from its message loop.
class IMediaVideoListener {
public:
    virtual void OnMediaProgress(double milliseconds) = 0;
    virtual void OnMediaEnd() = 0;
    virtual void OnMediaOpenFailed() = 0;
    virtual void OnMediaDuration(const char* fileName, double milliseconds) = 0;
protected:
    ~IMediaVideoListener() = default;
};

class IMediaVideo {
public:
    virtual void Quit() = 0;
    virtual int Init(const char* fileName, int flag) = 0;
    virtual int StopMediaVideo() = 0;
    virtual void Pause() = 0;
    virtual void Continue() = 0;
    virtual void SetVolume(double volume) = 0;
    virtual void Snapshot(bool take) = 0;
    virtual void SetSnapshotSink(ISnapshotSink* sink) = 0;
    virtual bool SetPosition(double milliseconds) = 0;
    virtual void SetListener(IMediaVideoListener* listener) = 0;
    virtual void GetPreMediaDuration(const std::vector<std::string>& fileNames) = 0;
    virtual int GetPlayedSeconds() = 0;
    virtual bool IsPlaying() = 0;
protected:
    ~IMediaVideo() = default;
};

constexpr int kMediaVideoSlots = 13;
constexpr int kMediaVideoListenerSlots = 4;

// The engine's media object starts with these slots (IMediaVideo is its
// first base), so the host sees it through the interface without its class.
inline IMediaVideo* AsMediaVideo(CMediaVideo* media)
{
    return reinterpret_cast<IMediaVideo*>(media);
}
