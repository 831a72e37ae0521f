// Plays one Flash movie without showing it: the control is hosted windowless
// and painted, transparently, into an off-screen canvas that each frame is
// copied into and back out of. Also renders a still of a movie into a BMP file.
// No lock of its own: its owner serialises the calls.
#pragma once

#include "DibCanvas.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

class CFlashControl;

class CFlashPlayerHost {
public:
    CFlashPlayerHost();
    virtual ~CFlashPlayerHost();
    CFlashPlayerHost(const CFlashPlayerHost&) = delete;
    CFlashPlayerHost& operator=(const CFlashPlayerHost&) = delete;

    // Picture layers: looping, no script call.
    bool LoadMovie(HWND parent, const char* path, int width, int height, int x, int y, bool loop);
    // Effects and the holder: `params`, when not empty, goes to the movie's script.
    bool PlayMovie(HWND parent, const wchar_t* path, int width, int height, int x, int y, bool loop,
                   std::string params);
    // Thumbnails: the movie stops on its middle frame.
    bool LoadStill(HWND parent, const wchar_t* path, const wchar_t* name, int width, int height, int x, int y,
                   bool loop);

    void SetPlacement(int left, int top, int right, int bottom);
    // Composites the control into a bottom-up RGB24 frame of width x height. A
    // frame of another size than the canvas re-makes the canvas at the frame's
    // size, with the control placed over all of it.
    void DrawInto(uint8_t* frame, int width, int height);
    bool Restart();
    bool Stop();
    bool IsPlaying();
    // Renders the control over white into a 24-bit BMP file of width x height.
    bool SaveFrame(std::wstring path, int width, int height);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    bool IsActive() const;
    RECT Placement() const;

private:
    enum class Start { FromStart, MiddleFrame };
    bool Load(HWND parent, const std::wstring& path, const wchar_t* name, int width, int height, int x, int y,
              bool loop, const std::string& params, Start start);

    int m_width = 480, m_height = 360;
    std::unique_ptr<CFlashControl> m_control;
    CDibCanvas m_canvas;
};

// The version number the Flash control reports, 0 when it cannot be created.
long GetFlashVersion();
