// Plays one sound at a time through MCI.
#pragma once

#include <windows.h>

#include <string>

class MciAudioPlayer {
public:
    MciAudioPlayer() = default;
    ~MciAudioPlayer() { close(); }
    MciAudioPlayer(const MciAudioPlayer&) = delete;
    MciAudioPlayer& operator=(const MciAudioPlayer&) = delete;

    // Opens path (MCI picks the device), sets the volume, starts playing and
    // returns the length in the device's default time format; 0 when the
    // file could not be opened (nothing plays then).
    unsigned play(const std::wstring& path, int volume);
    // Stops and closes an open sound.
    void close();

    unsigned deviceId() const { return m_deviceId; }
    int lastVolume() const { return m_lastVolume; }

private:
    unsigned m_deviceId = 0;
    int m_lastVolume = -1;
};
