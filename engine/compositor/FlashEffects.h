// The Flash effect table, the Flash holder and the thumbnail jobs.
// Placeholders: they answer false and draw nothing until the Flash effects
// are built.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class IFlashThumbnailListener {
public:
    virtual void OnFlashThumbnail(const std::wstring& moviePath, std::wstring thumbnailPath, std::wstring name) = 0;
protected:
    ~IFlashThumbnailListener() = default;
};

class CFlashEffectTable {
public:
    bool Select(const std::wstring&, HWND) { return false; }
    bool Clear() { return false; }
    void Draw(uint8_t*, int, int) {}
};

class CFlashHolder {
public:
    bool Play(const std::wstring&, const std::string&, HWND) { return false; }
    bool Stop() { return false; }
    void Draw(uint8_t*, int, int) {}
};

class CFlashThumbnailJob {
public:
    explicit CFlashThumbnailJob(IFlashThumbnailListener* listener) : m_listener(listener) {}
    void Run(const std::wstring&, const std::wstring&, HWND) {}
private:
    IFlashThumbnailListener* m_listener;  // not owned
};
