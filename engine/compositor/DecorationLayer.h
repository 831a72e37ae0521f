// The compositor: every effect and overlay drawn over the source picture.
// The host drives it through IDecorationLayer on its UI thread (which owns the
// window and the timers); the frame roads call Compose, DrawMark and
// ApplyFinalMirror on their own threads.
#pragma once

#include "CritSec.h"
#include "FlashEffects.h"
#include "IDecorationLayer.h"
#include "LyricLayer.h"
#include "MarkPicture.h"
#include "MessageWindow.h"
#include "PictureLayer.h"
#include "PictureScaler.h"
#include "PixelEffects.h"
#include "SmoothEnhancer.h"
#include "TextCaption.h"
#include "ThreadTimer.h"
#include "UsageClock.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

const UINT WM_LAYER_APPLY = 3125;
const UINT WM_LAYER_CLEAR = 3126;
const UINT WM_LAYER_GPUSTATE = 3135;

// One queued add or remove request.
struct LayerChange {
    std::string path;
    int32_t flashWidth = 0, flashHeight = 0;  // frame pixels
    int32_t x = 0, y = 0;                     // 400 x 300 preview units
    int32_t frameWidth = 0, frameHeight = 0;
    bool positioned = false;
    int32_t op = 0;  // 0 add, 1 remove
};

// What the compositor is built from; empty members take the product's own,
// except the enhancer: only the default constructor makes the product's
// (CEnhanceVideo over a video-processing instance).
struct CompositorParts {
    std::function<uint32_t()> clock;             // ms; timeGetTime
    std::unique_ptr<ISmoothEnhancer> enhancer;   // none: smoothing answers false
    std::unique_ptr<CPictureScaler> scaler;      // the FFmpeg scaler
    CMarkPicture::Loader markLoader;             // PNG resource 101 of the engine module
};

// Where a named layer stands (for the host's tools and the tests).
struct LayerPlacement {
    std::string path;
    int mode, x, y, frameWidth, frameHeight, flashWidth, flashHeight;
};

class CDecorationLayer : public IDecorationLayer, public tq::CMessageWindow, public tq::ITimerCallback {
public:
    CDecorationLayer();
    explicit CDecorationLayer(CompositorParts parts);
    ~CDecorationLayer() override;

    // IDecorationLayer, in slot order.
    void RemoveAllLayers() override;
    bool AddLayer(const std::string& path, int frameWidth, int frameHeight, int width, int height,
                  bool positioned, int x, int y) override;
    bool RemoveLayer(const std::string& path) override;
    void MoveLayer(const std::string& path, int x, int y) override;
    bool ClearLayers() override;
    void StopStretch() override;
    void SetStretch(int amount) override;
    void StopTint() override;
    void SetTint(unsigned r, unsigned g, unsigned b) override;
    void SetTintParams(int a, unsigned b, unsigned c) override;
    void SetFlip(bool on) override;
    void SetMirror(bool on) override;
    void SetText(std::string text) override;
    void ShowText(bool shown) override;
    void SetTextBackColor(int r, int g, int b) override;
    void SetTextColor(int r, int g, int b) override;
    void SetTextFont(int size, int style, const char* face, bool strikeOut, bool underline) override;
    void SetTextSpeed(float pixelsPerFrame) override;
    void SetTextScroll(unsigned mode) override;
    void SetTextBottom(unsigned pixels) override;
    void SetTextValue(double value) override;
    void SetSymmetry(bool on) override;
    void SetSmoothEnabled(bool on) override;
    void SetAutoSmooth(bool on) override;
    void SetSmoothStrength(int percent) override;
    void SetSmoothMix(int percent) override;
    bool IsSmoothReady() override;
    void ShowLyrics(bool shown) override;
    void SetLyrics(const std::string& line1, const std::string& line2, double progress, bool firstLineActive) override;
    void SetLyricColor(unsigned r, unsigned g, unsigned b) override;
    void SetLyricSungColor(unsigned r, unsigned g, unsigned b) override;
    void SetMarkCorner(int corner) override;
    void SetMarkPicture(const void* pixels, int width, int height, int bitsPerPixel, int ignored) override;
    int GetLayerUsage() override;
    int GetStretchUsage() override;
    int GetTextUsage() override;
    int GetSmoothUsage() override;
    int GetTintUsage() override;
    int GetMarkPictureUsage() override;
    void GetLayerNames(std::vector<std::string>& out) override;
    void SetTextStyle(int type) override;
    void CheckGpuUsefull() override;
    void SetGpuListener(IGpuStateListener* listener) override;
    bool SelectFlashEffect(const std::wstring& name) override;
    bool ClearFlashEffect() override;
    bool PlayFlash(const std::wstring& path, const std::string& params) override;
    bool StopFlash() override;
    void MakeFlashThumbnail(const std::wstring& path, const std::wstring& name,
                            IFlashThumbnailListener* listener) override;
    void SetFinalMirror(bool on) override;

    // The manager and the frame roads.
    void SetFlashHostWindow(HWND window);
    void Compose(uint8_t* pixels, int width, int height);
    void DrawMark(uint8_t* pixels, int width, int height);
    void ApplyFinalMirror(uint8_t* pixels, int width, int height);
    bool IsSmoothEnabled();

    // The video-processing owner's benchmark verdict (any thread).
    void SetIsGpuUseless(bool useless);

    std::vector<LayerChange> PendingChanges();
    std::vector<LayerPlacement> LayerPlacements();
    float MarkMix();

protected:
    bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void OnTimer(UINT_PTR timerId) override;

private:
    void QueueChange(const LayerChange& change);
    void ApplyPendingChanges();
    void ClearAllLayers();
    void DestroyNamedLayers();
    void UpdateLayersClock();
    void DrawNamedLayers(uint8_t* pixels, int width, int height);
    void OnNotifyGpuUseless();
    HWND FlashHost();
    uint32_t Now() const { return m_clock(); }

    std::function<uint32_t()> m_clock;
    std::unique_ptr<CPictureScaler> m_scaler;
    tq::CCritSec m_lock;  // recursive: the named-layer pass queues changes under it
    CStretchEffect m_stretch;
    CTintEffect m_tint;
    CMarkPicture m_mark;
    CFlipMirror m_flips;
    CTextCaption m_caption;
    uint32_t m_symmetry = 0;
    CLyricLayer m_lyrics;
    std::unique_ptr<ISmoothEnhancer> m_enhancer;
    HWND m_flashHost = nullptr;
    UsageClock m_layersClock;
    UsageClock m_smoothClock;
    bool m_gpuUseless = true;
    std::vector<LayerChange> m_pending;
    std::vector<std::unique_ptr<CFlashThumbnailJob>> m_thumbnailJobs;
    std::set<CPictureLayer*> m_layers;  // owned; at most one per path
    IGpuStateListener* m_gpuListener = nullptr;
    std::unique_ptr<CFlashEffectTable> m_flashTable;
    std::unique_ptr<CFlashHolder> m_flashHolder;
    CFlipMirror m_finalMirror;
    bool m_comInitialised = false;
    UINT_PTR m_crossFadeTimer = 0;
    UINT_PTR m_fadeInTimer = 0;
    UINT_PTR m_fadeOutTimer = 0;
};
