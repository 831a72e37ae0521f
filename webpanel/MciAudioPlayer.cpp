#include "MciAudioPlayer.h"

#include <digitalv.h>
#include <mmsystem.h>

unsigned MciAudioPlayer::play(const std::wstring& path, int volume)
{
    m_lastVolume = volume;
    MCI_OPEN_PARMSW open = {};
    open.lpstrElementName = path.c_str();
    if (mciSendCommandW(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_WAIT, reinterpret_cast<DWORD_PTR>(&open)) != 0)
        return 0;
    m_deviceId = open.wDeviceID;

    MCI_DGV_SETAUDIO_PARMSW audio = {};
    audio.dwItem = MCI_DGV_SETAUDIO_VOLUME;
    audio.dwValue = static_cast<DWORD>(volume);
    mciSendCommandW(m_deviceId, MCI_SETAUDIO, MCI_DGV_SETAUDIO_ITEM | MCI_DGV_SETAUDIO_VALUE,
                    reinterpret_cast<DWORD_PTR>(&audio));

    MCI_STATUS_PARMS status = {};
    status.dwItem = MCI_STATUS_LENGTH;
    unsigned length = 0;
    if (mciSendCommandW(m_deviceId, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&status)) == 0)
        length = static_cast<unsigned>(status.dwReturn);

    MCI_PLAY_PARMS playParms = {};
    mciSendCommandW(m_deviceId, MCI_PLAY, 0, reinterpret_cast<DWORD_PTR>(&playParms));
    return length;
}

void MciAudioPlayer::close()
{
    if (m_deviceId == 0)
        return;
    MCI_GENERIC_PARMS generic = {};
    mciSendCommandW(m_deviceId, MCI_STOP, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&generic));
    mciSendCommandW(m_deviceId, MCI_CLOSE, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&generic));
    m_deviceId = 0;
}
