// The compositor's interface as the main-window library drives it. The slot
// order is fixed: outside callers index the table, so there is no virtual
// destructor here (the owner deletes the concrete class).
#pragma once

#include "FlashThumbnailListener.h"

#include <string>
#include <vector>

class IGpuStateListener {
public:
    virtual void OnGpuState(bool gpuUseful) = 0;
protected:
    ~IGpuStateListener() = default;
};

class IDecorationLayer {
public:
    virtual void RemoveAllLayers() = 0;                                                    // 0
    virtual bool AddLayer(const std::string& path, int frameWidth, int frameHeight, int width, int height,
                          bool positioned, int x, int y) = 0;                              // 1
    virtual bool RemoveLayer(const std::string& path) = 0;                                 // 2
    virtual void MoveLayer(const std::string& path, int x, int y) = 0;                     // 3
    virtual bool ClearLayers() = 0;                                                        // 4
    virtual void StopStretch() = 0;                                                        // 5
    virtual void SetStretch(int amount) = 0;                                               // 6
    virtual void StopTint() = 0;                                                           // 7
    virtual void SetTint(unsigned r, unsigned g, unsigned b) = 0;                          // 8
    virtual void SetTintParams(int a, unsigned b, unsigned c) = 0;                         // 9
    virtual void SetFlip(bool on) = 0;                                                     // 10
    virtual void SetMirror(bool on) = 0;                                                   // 11
    virtual void SetText(std::string text) = 0;                                            // 12
    virtual void ShowText(bool shown) = 0;                                                 // 13
    virtual void SetTextBackColor(int r, int g, int b) = 0;                                // 14
    virtual void SetTextColor(int r, int g, int b) = 0;                                    // 15
    virtual void SetTextFont(int size, int style, const char* face, bool strikeOut, bool underline) = 0;  // 16
    virtual void SetTextSpeed(float pixelsPerFrame) = 0;                                   // 17
    virtual void SetTextScroll(unsigned mode) = 0;                                         // 18
    virtual void SetTextBottom(unsigned pixels) = 0;                                       // 19
    virtual void SetTextValue(double value) = 0;                                           // 20
    virtual void SetSymmetry(bool on) = 0;                                                 // 21
    virtual void SetSmoothEnabled(bool on) = 0;                                            // 22
    virtual void SetAutoSmooth(bool on) = 0;                                               // 23
    virtual void SetSmoothStrength(int percent) = 0;                                       // 24
    virtual void SetSmoothMix(int percent) = 0;                                            // 25
    virtual bool IsSmoothReady() = 0;                                                      // 26
    virtual void ShowLyrics(bool shown) = 0;                                               // 27
    virtual void SetLyrics(const std::string& line1, const std::string& line2, double progress,
                           bool firstLineActive) = 0;                                      // 28
    virtual void SetLyricColor(unsigned r, unsigned g, unsigned b) = 0;                    // 29
    virtual void SetLyricSungColor(unsigned r, unsigned g, unsigned b) = 0;                // 30
    virtual void SetMarkCorner(int corner) = 0;                                            // 31
    virtual void SetMarkPicture(const void* pixels, int width, int height, int bitsPerPixel, int ignored) = 0;  // 32
    virtual int GetLayerUsage() = 0;                                                       // 33
    virtual int GetStretchUsage() = 0;                                                     // 34
    virtual int GetTextUsage() = 0;                                                        // 35
    virtual int GetSmoothUsage() = 0;                                                      // 36
    virtual int GetTintUsage() = 0;                                                        // 37
    virtual int GetMarkPictureUsage() = 0;                                                 // 38
    virtual void GetLayerNames(std::vector<std::string>& out) = 0;                         // 39
    virtual void SetTextStyle(int type) = 0;                                               // 40
    virtual void CheckGpuUsefull() = 0;                                                    // 41
    virtual void SetGpuListener(IGpuStateListener* listener) = 0;                          // 42
    virtual bool SelectFlashEffect(const std::wstring& name) = 0;                          // 43
    virtual bool ClearFlashEffect() = 0;                                                   // 44
    virtual bool PlayFlash(const std::wstring& path, const std::string& params) = 0;       // 45
    virtual bool StopFlash() = 0;                                                          // 46
    virtual void MakeFlashThumbnail(const std::wstring& path, const std::wstring& name,
                                    IFlashThumbnailListener* listener) = 0;                // 47
    virtual void SetFinalMirror(bool on) = 0;                                              // 48
protected:
    ~IDecorationLayer() = default;
};
