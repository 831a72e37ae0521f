#include "DecorationLayer.h"
#include "CompositorLog.h"
#include "EnhanceVideo.h"
#include "MarkResource.h"
#include "ModuleInstance.h"
#include "ShareHandle.h"

#include <mmsystem.h>
#include <objbase.h>

#include <algorithm>
#include <cmath>

namespace {
const UINT kCrossFadeMs = 10000;
const UINT kRampMs = 10;

bool HasThreeLetterExtension(const std::string& path)
{
    const size_t dot = path.rfind('.');
    return dot != std::string::npos && path.size() - dot - 1 == 3;
}

std::string BaseName(const std::string& path)
{
    size_t slash = path.rfind('\\');
    if (slash == std::string::npos)
        slash = path.rfind('/');
    const size_t begin = slash == std::string::npos ? 0 : slash + 1;
    size_t end = path.rfind('.');
    if (end == std::string::npos || end < begin)
        end = path.size();
    return path.substr(begin, end - begin);
}

int Clamp(int value, int low, int high) { return std::max(low, std::min(high, value)); }
}

namespace {
CompositorParts ProductParts()
{
    CompositorParts parts;
    parts.enhancer.reset(new CEnhanceVideo);
    return parts;
}
}

CDecorationLayer::CDecorationLayer() : CDecorationLayer(ProductParts()) {}

CDecorationLayer::CDecorationLayer(CompositorParts parts)
    : m_clock(parts.clock ? std::move(parts.clock) : std::function<uint32_t()>([] { return uint32_t(timeGetTime()); })),
      m_scaler(parts.scaler ? std::move(parts.scaler) : std::unique_ptr<CPictureScaler>(new CPictureScaler)),
      m_stretch(m_scaler.get()),
      m_mark(m_scaler.get(), parts.markLoader ? std::move(parts.markLoader)
                                              : CMarkPicture::Loader([](MarkBitmap& out) {
                                                    return LoadMarkResource(tq::GetEngineModule(), out);
                                                })),
      m_caption(m_clock),
      m_enhancer(std::move(parts.enhancer)),
      m_flashTable(new CFlashEffectTable),
      m_flashHolder(new CFlashHolder)
{
    // The benchmark verdict of the video processing comes back to us.
    if (m_enhancer)
        m_enhancer->SetGpuStateHandler([this](bool useless) { SetIsGpuUseless(useless); });
    // Flash players are OLE objects of this thread.
    m_comInitialised = SUCCEEDED(CoInitialize(nullptr));
    CreateMessageWindow(tq::CMessageWindow::MessageOnly);
    m_crossFadeTimer = tq::SetThreadTimer(kCrossFadeMs, this);
}

CDecorationLayer::~CDecorationLayer()
{
    // A verdict arriving from now on must not reach a compositor being torn down.
    if (m_enhancer)
        m_enhancer->SetGpuStateHandler(nullptr);
    tq::KillThreadTimer(m_crossFadeTimer);
    tq::KillThreadTimer(m_fadeInTimer);
    tq::KillThreadTimer(m_fadeOutTimer);
    m_crossFadeTimer = m_fadeInTimer = m_fadeOutTimer = 0;
    m_flashTable.reset();
    m_flashHolder.reset();
    m_thumbnailJobs.clear();
    DestroyNamedLayers();
    if (m_comInitialised)
        CoUninitialize();
    DestroyMessageWindow();
}

// ---- Named layers ----

void CDecorationLayer::DestroyNamedLayers()
{
    for (CPictureLayer* layer : m_layers)
        delete layer;
    m_layers.clear();
}

void CDecorationLayer::UpdateLayersClock()
{
    if (m_layers.empty())
        m_layersClock.SwitchOff(Now());
    else
        m_layersClock.SwitchOn(Now());
}

void CDecorationLayer::RemoveAllLayers()
{
    tq::CCritSecLock lock(m_lock);
    DestroyNamedLayers();
    m_pending.clear();
    UpdateLayersClock();  // nothing is shown any more
}

void CDecorationLayer::QueueChange(const LayerChange& change)
{
    // The last request for a path wins.
    tq::CCritSecLock lock(m_lock);
    m_pending.erase(std::remove_if(m_pending.begin(), m_pending.end(),
                                   [&](const LayerChange& queued) { return queued.path == change.path; }),
                    m_pending.end());
    m_pending.push_back(change);
    if (m_flashHost)
        Post(WM_LAYER_APPLY);
}

bool CDecorationLayer::AddLayer(const std::string& path, int frameWidth, int frameHeight, int width, int height,
                                bool positioned, int x, int y)
{
    if (!HasThreeLetterExtension(path))
        return true;
    LayerChange change;
    change.path = path;
    change.flashWidth = int(frameWidth / 480.0 * width);
    change.flashHeight = int(frameHeight / 360.0 * height);
    change.x = x;
    change.y = y;
    change.frameWidth = frameWidth;
    change.frameHeight = frameHeight;
    change.positioned = positioned;
    change.op = 0;
    QueueChange(change);
    return true;
}

bool CDecorationLayer::RemoveLayer(const std::string& path)
{
    LayerChange change;
    change.path = path;
    change.op = 1;
    QueueChange(change);
    return true;
}

void CDecorationLayer::MoveLayer(const std::string& path, int x, int y)
{
    tq::CCritSecLock lock(m_lock);
    for (CPictureLayer* layer : m_layers) {
        if (layer->path != path)
            continue;
        if (layer->IsMovable()) {
            layer->x = int(layer->frameWidth / 400.0 * x);
            layer->y = int(layer->frameHeight / 300.0 * y);
        }
        return;
    }
}

bool CDecorationLayer::ClearLayers()
{
    tq::CCritSecLock lock(m_lock);
    Post(WM_LAYER_CLEAR);
    return true;
}

void CDecorationLayer::ClearAllLayers()
{
    tq::CCritSecLock lock(m_lock);
    DestroyNamedLayers();
    m_pending.clear();
    m_layersClock.SwitchOff(Now());
}

void CDecorationLayer::ApplyPendingChanges()
{
    std::vector<LayerChange> changes;
    {
        tq::CCritSecLock lock(m_lock);
        changes.swap(m_pending);
        for (const LayerChange& change : changes) {
            if (change.op != 1)
                continue;
            for (auto it = m_layers.begin(); it != m_layers.end(); ++it) {
                if ((*it)->path == change.path) {
                    delete *it;
                    m_layers.erase(it);
                    break;
                }
            }
        }
    }

    // Loading reads files and starts players: done outside the lock so frames go on.
    const HWND flashHost = FlashHost();
    std::vector<CPictureLayer*> added;
    for (const LayerChange& change : changes) {
        if (change.op != 0)
            continue;
        CPictureLayer* layer = new CPictureLayer;
        layer->x = int(change.frameWidth / 400.0 * change.x);
        layer->y = int(change.frameHeight / 300.0 * change.y);
        if (change.positioned) {
            layer->flashWidth = change.flashWidth;
            layer->flashHeight = change.flashHeight;
        }
        layer->Load(change.path, flashHost, change.frameWidth, change.frameHeight, change.positioned);
        added.push_back(layer);
    }

    tq::CCritSecLock lock(m_lock);
    for (CPictureLayer* layer : added) {
        auto existing = std::find_if(m_layers.begin(), m_layers.end(),
                                     [&](const CPictureLayer* shown) { return shown->path == layer->path; });
        if (existing == m_layers.end()) {
            m_layers.insert(layer);
        } else if ((*existing)->frameWidth == layer->frameWidth && (*existing)->frameHeight == layer->frameHeight) {
            delete layer;  // the shown layer keeps its place; MoveLayer moves it
        } else {
            delete *existing;
            m_layers.erase(existing);
            m_layers.insert(layer);
        }
    }
    UpdateLayersClock();
}

void CDecorationLayer::DrawNamedLayers(uint8_t* pixels, int width, int height)
{
    int layerHeight = width * 360 / 480;
    layerHeight += layerHeight & 1;
    std::vector<CPictureLayer*> resized;
    for (CPictureLayer* layer : m_layers) {
        if (layer->frameWidth == width && layer->frameHeight == layerHeight)
            layer->Draw(pixels, width, height);
        else
            resized.push_back(layer);
    }
    // Layers made for another size come back for this one. A positioned Flash
    // movie is given its rectangle and position in the host's units again
    // (converted back from its own frame size), every other kind full-frame.
    for (CPictureLayer* layer : resized) {
        const std::string path = layer->path;
        RemoveLayer(path);
        if (layer->IsPositionedFlash() && layer->frameWidth > 0 && layer->frameHeight > 0) {
            const double w = layer->frameWidth, h = layer->frameHeight;
            AddLayer(path, width, layerHeight, int(std::lround(layer->flashWidth * 480.0 / w)),
                     int(std::lround(layer->flashHeight * 360.0 / h)), true, int(std::lround(layer->x * 400.0 / w)),
                     int(std::lround(layer->y * 300.0 / h)));
        } else {
            AddLayer(path, width, layerHeight, 480, 360, false, 0, 0);
        }
    }
}

std::vector<LayerChange> CDecorationLayer::PendingChanges()
{
    tq::CCritSecLock lock(m_lock);
    return m_pending;
}

std::vector<LayerPlacement> CDecorationLayer::LayerPlacements()
{
    tq::CCritSecLock lock(m_lock);
    std::vector<LayerPlacement> placements;
    for (const CPictureLayer* layer : m_layers)
        placements.push_back({layer->path, layer->mode, layer->x, layer->y, layer->frameWidth, layer->frameHeight,
                              layer->flashWidth, layer->flashHeight});
    return placements;
}

void CDecorationLayer::GetLayerNames(std::vector<std::string>& out)
{
    tq::CCritSecLock lock(m_lock);
    for (const CPictureLayer* layer : m_layers) {
        std::string name = BaseName(layer->path);
        if (!name.empty())
            out.push_back(name);
    }
}

void CDecorationLayer::SetFlashHostWindow(HWND window)
{
    tq::CCritSecLock lock(m_lock);
    m_flashHost = window;
    Post(WM_LAYER_APPLY);
}

// ---- Pixel effects (every setting under the lock: frames read them) ----

void CDecorationLayer::StopStretch()
{
    tq::CCritSecLock lock(m_lock);
    m_stretch.Stop(Now());
}

void CDecorationLayer::SetStretch(int amount)
{
    tq::CCritSecLock lock(m_lock);
    m_stretch.Set(amount, Now());
}

void CDecorationLayer::StopTint()
{
    tq::CCritSecLock lock(m_lock);
    m_tint.Stop(Now());
}

void CDecorationLayer::SetTint(unsigned r, unsigned g, unsigned b)
{
    tq::CCritSecLock lock(m_lock);
    m_tint.SetColor(r, g, b, Now());
}

void CDecorationLayer::SetTintParams(int a, unsigned b, unsigned c)
{
    tq::CCritSecLock lock(m_lock);
    m_tint.SetParams(a, b, c, Now());
}

void CDecorationLayer::SetFlip(bool on)
{
    tq::CCritSecLock lock(m_lock);
    m_flips.flip = on;
}

void CDecorationLayer::SetMirror(bool on)
{
    tq::CCritSecLock lock(m_lock);
    m_flips.mirror = on;
}

void CDecorationLayer::SetSymmetry(bool on)
{
    tq::CCritSecLock lock(m_lock);
    m_symmetry = on ? 1 : 0;
}

void CDecorationLayer::SetFinalMirror(bool on)
{
    tq::CCritSecLock lock(m_lock);
    m_finalMirror.mirror = on;
}

// ---- Text caption (the caption takes its own lock) ----

void CDecorationLayer::SetText(std::string text) { m_caption.SetText(text); }

void CDecorationLayer::ShowText(bool shown) { m_caption.Show(shown); }

void CDecorationLayer::SetTextBackColor(int r, int g, int b) { m_caption.SetBackColor(r, g, b); }

void CDecorationLayer::SetTextColor(int r, int g, int b) { m_caption.SetColor(r, g, b); }

void CDecorationLayer::SetTextFont(int size, int style, const char* face, bool strikeOut, bool underline)
{
    m_caption.SetFont(size, style, face ? face : "", strikeOut, underline);
}

void CDecorationLayer::SetTextSpeed(float pixelsPerFrame) { m_caption.SetSpeed(pixelsPerFrame); }

void CDecorationLayer::SetTextScroll(unsigned mode) { m_caption.SetScrollMode(mode); }

void CDecorationLayer::SetTextBottom(unsigned pixels) { m_caption.SetBottom(pixels); }

void CDecorationLayer::SetTextValue(double value) { m_caption.SetValue(value); }

void CDecorationLayer::SetTextStyle(int type) { m_caption.SetStyle(type); }

// ---- Skin smoothing ----

void CDecorationLayer::SetSmoothEnabled(bool on)
{
    if (m_enhancer)
        m_enhancer->SetSmoothEnabled(on);
    tq::CCritSecLock lock(m_lock);
    if (on)
        m_smoothClock.SwitchOn(Now());
    else
        m_smoothClock.SwitchOff(Now());
}

void CDecorationLayer::SetAutoSmooth(bool on)
{
    if (m_enhancer)
        m_enhancer->SetAutoMode(on);
    SetSmoothEnabled(on);
}

void CDecorationLayer::SetSmoothStrength(int percent)
{
    if (m_enhancer)
        m_enhancer->SetSmoothStrength(Clamp(percent, 0, 100));
}

void CDecorationLayer::SetSmoothMix(int percent)
{
    if (m_enhancer)
        m_enhancer->SetSmoothMix(Clamp(percent, 0, 100));
}

bool CDecorationLayer::IsSmoothReady()
{
    return m_enhancer && m_enhancer->IsReady();
}

bool CDecorationLayer::IsSmoothEnabled()
{
    return m_enhancer && m_enhancer->IsSmoothEnabled();
}

// ---- Lyrics (drawn under the layer lock, so set under it) ----

void CDecorationLayer::ShowLyrics(bool shown)
{
    tq::CCritSecLock lock(m_lock);
    m_lyrics.Show(shown);
}

void CDecorationLayer::SetLyrics(const std::string& line1, const std::string& line2, double progress,
                                 bool firstLineActive)
{
    tq::CCritSecLock lock(m_lock);
    m_lyrics.SetLines(line1, line2, progress, firstLineActive);
}

void CDecorationLayer::SetLyricColor(unsigned r, unsigned g, unsigned b)
{
    tq::CCritSecLock lock(m_lock);
    m_lyrics.SetColor(r, g, b);
}

void CDecorationLayer::SetLyricSungColor(unsigned r, unsigned g, unsigned b)
{
    tq::CCritSecLock lock(m_lock);
    m_lyrics.SetSungColor(r, g, b);
}

// ---- Picture mark ----

void CDecorationLayer::SetMarkCorner(int corner)
{
    {
        tq::CCritSecLock lock(m_lock);
        m_mark.SetCorner(corner);
    }
    // Takes ShareMemoryMutex, which is never taken under the layer lock.
    tq::GetVcamParaShareMemory().WriteMarkCorner(uint32_t(corner));
}

void CDecorationLayer::SetMarkPicture(const void* pixels, int width, int height, int bitsPerPixel, int)
{
    // The frame threads draw from the mark's buffers: replace them under the lock.
    tq::CCritSecLock lock(m_lock);
    m_mark.SetSecondPicture(pixels, width, height, bitsPerPixel, Now());
}

float CDecorationLayer::MarkMix()
{
    tq::CCritSecLock lock(m_lock);
    return m_mark.mix;
}

void CDecorationLayer::OnTimer(UINT_PTR timerId)
{
    if (!timerId)
        return;
    if (timerId == m_crossFadeTimer) {
        CMarkPicture::Ramp ramp;
        {
            tq::CCritSecLock lock(m_lock);
            ramp = m_mark.StartCrossFade();
        }
        UINT_PTR& rampTimer = ramp == CMarkPicture::Ramp::FadeIn ? m_fadeInTimer : m_fadeOutTimer;
        tq::KillThreadTimer(rampTimer);
        rampTimer = tq::SetThreadTimer(kRampMs, this);
    } else if (timerId == m_fadeInTimer || timerId == m_fadeOutTimer) {
        const bool fadeIn = timerId == m_fadeInTimer;
        bool goesOn;
        {
            tq::CCritSecLock lock(m_lock);
            goesOn = m_mark.StepRamp(fadeIn ? CMarkPicture::Ramp::FadeIn : CMarkPicture::Ramp::FadeOut);
        }
        if (!goesOn) {
            UINT_PTR& rampTimer = fadeIn ? m_fadeInTimer : m_fadeOutTimer;
            tq::KillThreadTimer(rampTimer);
            rampTimer = 0;
        }
    }
}

// ---- Usage ----

int CDecorationLayer::GetLayerUsage()
{
    tq::CCritSecLock lock(m_lock);
    return m_layersClock.Query(Now(), 30);
}

int CDecorationLayer::GetStretchUsage()
{
    tq::CCritSecLock lock(m_lock);
    return m_stretch.Clock().Query(Now(), 2);
}

int CDecorationLayer::GetTextUsage() { return m_caption.Usage(); }

int CDecorationLayer::GetSmoothUsage()
{
    tq::CCritSecLock lock(m_lock);
    return m_smoothClock.Query(Now(), 2);
}

int CDecorationLayer::GetTintUsage()
{
    tq::CCritSecLock lock(m_lock);
    return m_tint.Clock().Query(Now(), 2);
}

int CDecorationLayer::GetMarkPictureUsage()
{
    tq::CCritSecLock lock(m_lock);
    return m_mark.Clock().Query(Now(), 2);
}

// ---- GPU verdict ----

void CDecorationLayer::SetIsGpuUseless(bool useless)
{
    tq::CCritSecLock lock(m_lock);
    m_gpuUseless = useless;
    CompositorLog("CDecorationLayer::SetIsGpuUseless gpu %s", useless ? "useless" : "usefull");
}

void CDecorationLayer::CheckGpuUsefull()
{
    CompositorLog("CheckGpuUsefull");
    Post(WM_LAYER_GPUSTATE);
}

void CDecorationLayer::SetGpuListener(IGpuStateListener* listener)
{
    tq::CCritSecLock lock(m_lock);
    m_gpuListener = listener;
}

void CDecorationLayer::OnNotifyGpuUseless()
{
    bool useless;
    IGpuStateListener* listener;
    {
        tq::CCritSecLock lock(m_lock);
        useless = m_gpuUseless;
        listener = m_gpuListener;
    }
    CompositorLog("CDecorationLayer::OnNotifyGpuUseless Gpu %s", useless ? "useless" : "usefull");
    if (listener)
        listener->OnGpuState(!useless);
}

// ---- Flash ----

HWND CDecorationLayer::FlashHost()
{
    tq::CCritSecLock lock(m_lock);
    return m_flashHost;
}

bool CDecorationLayer::SelectFlashEffect(const std::wstring& name)
{
    return m_flashTable->Select(name, FlashHost());
}

bool CDecorationLayer::ClearFlashEffect()
{
    return m_flashTable->Clear();
}

bool CDecorationLayer::PlayFlash(const std::wstring& path, const std::string& params)
{
    return m_flashHolder->Play(path, params, FlashHost());
}

bool CDecorationLayer::StopFlash()
{
    return m_flashHolder->Stop();
}

void CDecorationLayer::MakeFlashThumbnail(const std::wstring& path, const std::wstring& name,
                                          IFlashThumbnailListener* listener)
{
    std::unique_ptr<CFlashThumbnailJob> job(new CFlashThumbnailJob(listener));
    job->Run(path, name, FlashHost());
    m_thumbnailJobs.push_back(std::move(job));
}

// ---- Frame passes ----

void CDecorationLayer::Compose(uint8_t* pixels, int width, int height)
{
    if (!pixels || width <= 0 || height <= 0)
        return;
    tq::CCritSecLock lock(m_lock);
    if (m_enhancer && m_enhancer->IsSmoothEnabled())
        m_enhancer->ProcessFrame(pixels, width, height, width * 3);
    ApplyPixelEffects(pixels, width, height, m_flips, m_stretch, m_tint, m_symmetry != 0);
    DrawNamedLayers(pixels, width, height);
    m_caption.Draw(pixels, width, height);  // takes the caption lock inside the layer lock
    m_flashTable->Draw(pixels, width, height);
    m_flashHolder->Draw(pixels, width, height);
    m_lyrics.Draw(pixels, width, height);
}

void CDecorationLayer::DrawMark(uint8_t* pixels, int width, int height)
{
    tq::CCritSecLock lock(m_lock);
    m_mark.Draw(pixels, width, height);
}

void CDecorationLayer::ApplyFinalMirror(uint8_t* pixels, int width, int height)
{
    if (!pixels || width <= 0 || height <= 0)
        return;
    CFlipMirror finalMirror;
    {
        tq::CCritSecLock lock(m_lock);
        finalMirror = m_finalMirror;
    }
    finalMirror.ApplyMirror(pixels, width, height);
}

// ---- Window ----

bool CDecorationLayer::OnWindowMessage(UINT message, WPARAM, LPARAM, LRESULT* result)
{
    switch (message) {
    case WM_LAYER_APPLY: ApplyPendingChanges(); break;
    case WM_LAYER_CLEAR: ClearAllLayers(); break;
    case WM_LAYER_GPUSTATE: OnNotifyGpuUseless(); break;
    default: return false;
    }
    *result = 0;
    return true;
}
