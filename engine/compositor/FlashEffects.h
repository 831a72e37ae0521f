// Flash movies the compositor plays besides its named layers: the effect
// table (full-frame effects kept by path, one of them current), the holder
// (one movie with a script parameter) and the thumbnail jobs. All players are
// created, started and stopped on the UI thread; the frame thread draws them.
#pragma once

#include "CritSec.h"
#include "FlashPlayerHost.h"
#include "FlashThumbnailListener.h"

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

class CFlashEffectTable {
public:
    CFlashEffectTable() = default;
    ~CFlashEffectTable() = default;
    CFlashEffectTable(const CFlashEffectTable&) = delete;
    CFlashEffectTable& operator=(const CFlashEffectTable&) = delete;

    // Makes `path` the current effect: a new player the first time, the kept
    // one rewound and played again later.
    bool Select(const std::wstring& path, HWND hostWindow);
    // Stops the current effect; false without one.
    bool Clear();
    // Draws the current effect while it plays.
    void Draw(uint8_t* pixels, int width, int height);

    size_t PlayerCount();
    CFlashPlayerHost* Player(const std::wstring& path);
    std::wstring Current();

private:
    tq::CCritSec m_lock;
    std::wstring m_current;
    std::map<std::wstring, std::unique_ptr<CFlashPlayerHost>> m_players;
};

class CFlashHolder {
public:
    CFlashHolder() = default;
    CFlashHolder(const CFlashHolder&) = delete;
    CFlashHolder& operator=(const CFlashHolder&) = delete;

    bool Play(const std::wstring& path, const std::string& params, HWND hostWindow);
    // Stops and deletes the movie; false without one.
    bool Stop();
    void Draw(uint8_t* pixels, int width, int height);
    CFlashPlayerHost* Player();

private:
    tq::CCritSec m_lock;
    std::unique_ptr<CFlashPlayerHost> m_player;
};

class CFlashThumbnailJob {
public:
    explicit CFlashThumbnailJob(IFlashThumbnailListener* listener) : m_listener(listener) {}
    ~CFlashThumbnailJob();
    CFlashThumbnailJob(const CFlashThumbnailJob&) = delete;
    CFlashThumbnailJob& operator=(const CFlashThumbnailJob&) = delete;

    // Writes the movie's middle frame as "<movie folder>\<name>.bmp" and tells
    // the listener; false (nothing written, nobody told) when it cannot.
    bool Run(const std::wstring& moviePath, const std::wstring& name, HWND hostWindow);

private:
    tq::CCritSec m_lock;
    std::unique_ptr<CFlashPlayerHost> m_player;
    IFlashThumbnailListener* m_listener;  // not owned
};
