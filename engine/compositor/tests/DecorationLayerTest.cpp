#include "DecorationLayer.h"
#include "EngineLog.h"
#include "EngineLogTesting.h"
#include "MarkResource.h"
#include "OtherPictures.h"
#include "ModuleInstance.h"
#include "ShareHandle.h"
#include "testing/SlotCall.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

const int kSize = CMarkPicture::kMarkSize;

void Pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
}

MarkBitmap Solid(int width, int height, uint8_t b, uint8_t g, uint8_t r, uint8_t a = 255)
{
    MarkBitmap bitmap;
    bitmap.width = width;
    bitmap.height = height;
    for (int i = 0; i < width * height; ++i)
        bitmap.pixels.insert(bitmap.pixels.end(), {b, g, r, a});
    return bitmap;
}

class FakeEnhancer : public ISmoothEnhancer {
public:
    bool enabled = false, autoMode = false;
    int strength = -1, mix = -1, processed = 0, lastStride = 0;
    bool IsSmoothEnabled() override { return enabled; }
    bool ProcessFrame(uint8_t* pixels, int, int, int stride) override
    {
        ++processed;
        lastStride = stride;
        pixels[0] = pixels[1] = pixels[2] = 100;  // marks where the first pixel ends up
        return true;
    }
    void SetSmoothEnabled(bool on) override { enabled = on; }
    void SetAutoMode(bool on) override { autoMode = on; }
    void SetSmoothStrength(int percent) override { strength = percent; }
    void SetSmoothMix(int percent) override { mix = percent; }
    bool IsReady() override { return true; }
    void SetGpuStateHandler(GpuStateHandler handler) override { gpuState = handler; }
    ~FakeEnhancer() override
    {
        if (handlerAtDeath)
            *handlerAtDeath = bool(gpuState);
    }
    GpuStateHandler gpuState;
    bool* handlerAtDeath = nullptr;
};

class Compositor : public ::testing::Test {
protected:
    void SetUp() override
    {
        CompositorParts parts;
        parts.clock = [this] { return now; };
        enhancer = new FakeEnhancer;
        parts.enhancer.reset(enhancer);
        parts.markLoader = [](MarkBitmap& out) { out = Solid(kSize, kSize, 10, 20, 30); return true; };
        layer.reset(new CDecorationLayer(std::move(parts)));
    }
    void TearDown() override { layer.reset(); Pump(); }

    LayerPlacement Placement(const std::string& path)
    {
        for (const LayerPlacement& placement : layer->LayerPlacements())
            if (placement.path == path)
                return placement;
        ADD_FAILURE() << "no layer " << path;
        return LayerPlacement{};
    }
    void HostAndApply()
    {
        layer->SetFlashHostWindow(layer->Hwnd());
        Pump();
    }

    uint32_t now = 0;
    FakeEnhancer* enhancer = nullptr;
    std::unique_ptr<CDecorationLayer> layer;
};

// Itanium member pointers to virtual functions hold 1 + the byte offset of the slot.
template <class Member>
int SlotOf(Member member)
{
    uintptr_t raw;
    memcpy(&raw, &member, sizeof raw);
    return int((raw - 1) / sizeof(void*));
}

TEST(DecorationInterface, SlotsInOrder)
{
    const std::vector<std::pair<const char*, int>> slots = {
        {"RemoveAllLayers", SlotOf(&IDecorationLayer::RemoveAllLayers)},
        {"AddLayer", SlotOf(&IDecorationLayer::AddLayer)},
        {"RemoveLayer", SlotOf(&IDecorationLayer::RemoveLayer)},
        {"MoveLayer", SlotOf(&IDecorationLayer::MoveLayer)},
        {"ClearLayers", SlotOf(&IDecorationLayer::ClearLayers)},
        {"StopStretch", SlotOf(&IDecorationLayer::StopStretch)},
        {"SetStretch", SlotOf(&IDecorationLayer::SetStretch)},
        {"StopTint", SlotOf(&IDecorationLayer::StopTint)},
        {"SetTint", SlotOf(&IDecorationLayer::SetTint)},
        {"SetTintParams", SlotOf(&IDecorationLayer::SetTintParams)},
        {"SetFlip", SlotOf(&IDecorationLayer::SetFlip)},
        {"SetMirror", SlotOf(&IDecorationLayer::SetMirror)},
        {"SetText", SlotOf(&IDecorationLayer::SetText)},
        {"ShowText", SlotOf(&IDecorationLayer::ShowText)},
        {"SetTextBackColor", SlotOf(&IDecorationLayer::SetTextBackColor)},
        {"SetTextColor", SlotOf(&IDecorationLayer::SetTextColor)},
        {"SetTextFont", SlotOf(&IDecorationLayer::SetTextFont)},
        {"SetTextSpeed", SlotOf(&IDecorationLayer::SetTextSpeed)},
        {"SetTextScroll", SlotOf(&IDecorationLayer::SetTextScroll)},
        {"SetTextBottom", SlotOf(&IDecorationLayer::SetTextBottom)},
        {"SetTextValue", SlotOf(&IDecorationLayer::SetTextValue)},
        {"SetSymmetry", SlotOf(&IDecorationLayer::SetSymmetry)},
        {"SetSmoothEnabled", SlotOf(&IDecorationLayer::SetSmoothEnabled)},
        {"SetAutoSmooth", SlotOf(&IDecorationLayer::SetAutoSmooth)},
        {"SetSmoothStrength", SlotOf(&IDecorationLayer::SetSmoothStrength)},
        {"SetSmoothMix", SlotOf(&IDecorationLayer::SetSmoothMix)},
        {"IsSmoothReady", SlotOf(&IDecorationLayer::IsSmoothReady)},
        {"ShowLyrics", SlotOf(&IDecorationLayer::ShowLyrics)},
        {"SetLyrics", SlotOf(&IDecorationLayer::SetLyrics)},
        {"SetLyricColor", SlotOf(&IDecorationLayer::SetLyricColor)},
        {"SetLyricSungColor", SlotOf(&IDecorationLayer::SetLyricSungColor)},
        {"SetMarkCorner", SlotOf(&IDecorationLayer::SetMarkCorner)},
        {"SetMarkPicture", SlotOf(&IDecorationLayer::SetMarkPicture)},
        {"GetLayerUsage", SlotOf(&IDecorationLayer::GetLayerUsage)},
        {"GetStretchUsage", SlotOf(&IDecorationLayer::GetStretchUsage)},
        {"GetTextUsage", SlotOf(&IDecorationLayer::GetTextUsage)},
        {"GetSmoothUsage", SlotOf(&IDecorationLayer::GetSmoothUsage)},
        {"GetTintUsage", SlotOf(&IDecorationLayer::GetTintUsage)},
        {"GetMarkPictureUsage", SlotOf(&IDecorationLayer::GetMarkPictureUsage)},
        {"GetLayerNames", SlotOf(&IDecorationLayer::GetLayerNames)},
        {"SetTextStyle", SlotOf(&IDecorationLayer::SetTextStyle)},
        {"CheckGpuUsefull", SlotOf(&IDecorationLayer::CheckGpuUsefull)},
        {"SetGpuListener", SlotOf(&IDecorationLayer::SetGpuListener)},
        {"SelectFlashEffect", SlotOf(&IDecorationLayer::SelectFlashEffect)},
        {"ClearFlashEffect", SlotOf(&IDecorationLayer::ClearFlashEffect)},
        {"PlayFlash", SlotOf(&IDecorationLayer::PlayFlash)},
        {"StopFlash", SlotOf(&IDecorationLayer::StopFlash)},
        {"MakeFlashThumbnail", SlotOf(&IDecorationLayer::MakeFlashThumbnail)},
        {"SetFinalMirror", SlotOf(&IDecorationLayer::SetFinalMirror)},
    };
    ASSERT_EQ(49u, slots.size());
    for (size_t i = 0; i < slots.size(); ++i)
        EXPECT_EQ(int(i), slots[i].second) << slots[i].first;
}

TEST_F(Compositor, InterfaceTableIsAtTheObjectsStart)
{
    // Callers get the object's address and index its first table.
    EXPECT_EQ(static_cast<void*>(layer.get()), static_cast<void*>(static_cast<IDecorationLayer*>(layer.get())));
}

TEST_F(Compositor, QueueKeepsTheLastRequestPerPath)
{
    layer->AddLayer("a.png", 480, 360, 480, 360, false, 1, 1);
    layer->AddLayer("b.gif", 480, 360, 480, 360, false, 0, 0);
    layer->AddLayer("a.png", 480, 360, 480, 360, false, 7, 8);
    std::vector<LayerChange> pending = layer->PendingChanges();
    ASSERT_EQ(2u, pending.size());
    EXPECT_EQ("b.gif", pending[0].path);
    EXPECT_EQ("a.png", pending[1].path);
    EXPECT_EQ(7, pending[1].x);
    EXPECT_EQ(8, pending[1].y);
    layer->RemoveLayer("b.gif");
    pending = layer->PendingChanges();
    ASSERT_EQ(2u, pending.size());
    EXPECT_EQ("b.gif", pending[1].path);
    EXPECT_EQ(1, pending[1].op);
}

TEST_F(Compositor, AddLayerNeedsAThreeLetterExtension)
{
    const struct { const char* path; bool queued; } cases[] = {
        {"C:\\fx\\heart.png", true}, {"movie.swf", true}, {"photo.jpeg", false}, {"noext", false},
        {"a.gi", false}, {"dir.abc\\file", false}, {"..abc", true}};
    for (const auto& c : cases) {
        layer->RemoveAllLayers();
        EXPECT_TRUE(layer->AddLayer(c.path, 480, 360, 480, 360, false, 0, 0));
        EXPECT_EQ(c.queued ? 1u : 0u, layer->PendingChanges().size()) << c.path;
    }
}

TEST_F(Compositor, ChangesWaitForTheFlashHostWindow)
{
    layer->AddLayer("a.png", 480, 360, 480, 360, false, 0, 0);
    Pump();
    EXPECT_TRUE(layer->LayerPlacements().empty());
    HostAndApply();
    ASSERT_EQ(1u, layer->LayerPlacements().size());
    EXPECT_TRUE(layer->PendingChanges().empty());
}

TEST_F(Compositor, AddConvertsPreviewUnitsToFramePixels)
{
    HostAndApply();
    layer->AddLayer("f.swf", 640, 480, 240, 180, true, 100, 150);
    layer->AddLayer("s.png", 640, 480, 240, 180, false, 100, 150);
    Pump();
    const LayerPlacement flash = Placement("f.swf");
    EXPECT_EQ(CPictureLayer::PositionedFlash, flash.mode);
    EXPECT_EQ(160, flash.x);
    EXPECT_EQ(240, flash.y);
    EXPECT_EQ(320, flash.flashWidth);
    EXPECT_EQ(240, flash.flashHeight);
    EXPECT_EQ(640, flash.frameWidth);
    const LayerPlacement still = Placement("s.png");
    EXPECT_EQ(480, still.flashWidth);  // only positioned requests carry a rectangle
    EXPECT_EQ(160, still.x);
}

TEST_F(Compositor, ApplyKeepsReplacesAndRemoves)
{
    HostAndApply();
    layer->AddLayer("a.png", 480, 360, 480, 360, false, 40, 30);
    Pump();
    EXPECT_EQ(48, Placement("a.png").x);

    layer->AddLayer("a.png", 480, 360, 480, 360, false, 100, 100);  // same size: the shown layer stays
    Pump();
    ASSERT_EQ(1u, layer->LayerPlacements().size());
    EXPECT_EQ(48, Placement("a.png").x);
    EXPECT_EQ(36, Placement("a.png").y);

    layer->MoveLayer("a.png", 100, 100);
    EXPECT_EQ(120, Placement("a.png").x);
    EXPECT_EQ(120, Placement("a.png").y);
    layer->MoveLayer("unknown.png", 1, 1);  // ignored

    layer->AddLayer("a.png", 640, 480, 480, 360, false, 0, 0);  // another size: replaced
    Pump();
    ASSERT_EQ(1u, layer->LayerPlacements().size());
    EXPECT_EQ(640, Placement("a.png").frameWidth);
    EXPECT_EQ(0, Placement("a.png").x);

    layer->RemoveLayer("a.png");
    Pump();
    EXPECT_TRUE(layer->LayerPlacements().empty());
}

TEST_F(Compositor, LayerNamesAreBaseNames)
{
    HostAndApply();
    for (const char* path : {"C:\\fx\\heart.png", "/tmp/star.gif", "C:\\fx/sub\\.png", "C:/fx/moon.swf"})
        layer->AddLayer(path, 480, 360, 480, 360, false, 0, 0);
    Pump();
    std::vector<std::string> names = {"kept"};
    layer->GetLayerNames(names);
    std::sort(names.begin() + 1, names.end());
    EXPECT_EQ((std::vector<std::string>{"kept", "heart", "moon", "star"}), names);
}

TEST_F(Compositor, ComposeRequeuesLayersMadeForAnotherSize)
{
    HostAndApply();
    layer->AddLayer("s.png", 480, 360, 480, 360, false, 40, 30);
    layer->AddLayer("f.swf", 480, 360, 240, 180, true, 100, 50);
    Pump();
    std::vector<uint8_t> frame(640 * 480 * 3, 0);
    layer->Compose(frame.data(), 640, 480);
    EXPECT_EQ(2u, layer->PendingChanges().size());
    Pump();
    const LayerPlacement still = Placement("s.png");
    EXPECT_EQ(640, still.frameWidth);
    EXPECT_EQ(480, still.frameHeight);
    EXPECT_EQ(0, still.x);  // back full-frame
    EXPECT_EQ(0, still.y);
    const LayerPlacement flash = Placement("f.swf");
    EXPECT_EQ(640, flash.frameWidth);
    EXPECT_EQ(320, flash.flashWidth);  // the same share of the frame as before
    EXPECT_EQ(240, flash.flashHeight);
    EXPECT_EQ(160, flash.x);           // 100 preview units on a 640-wide frame
    EXPECT_EQ(80, flash.y);

    layer->Compose(frame.data(), 640, 480);
    EXPECT_TRUE(layer->PendingChanges().empty());  // made for this size now
}

TEST_F(Compositor, PicturesOfOtherFormatsNamedAsGifsAreComposedOverTheFrame)
{
    HostAndApply();
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {{"tq-compose-bmp.gif", Bmp43()}, {"tq-compose-tga.gif", Tga43()}, {"tq-compose-psd.gif", Psd43()}};
    for (const auto& c : cases) {
        const std::string path = std::string(temp) + c.name;
        {
            std::ofstream file(path.c_str(), std::ios::binary);
            file.write(reinterpret_cast<const char*>(c.bytes.data()), std::streamsize(c.bytes.size()));
        }
        layer->RemoveAllLayers();
        layer->AddLayer(path, 8, 6, 480, 360, false, 0, 0);
        Pump();
        DeleteFileA(path.c_str());
        ASSERT_EQ(1u, layer->LayerPlacements().size()) << c.name;
        std::vector<uint8_t> frame(8 * 6 * 3);
        for (size_t i = 0; i < frame.size(); ++i)
            frame[i] = uint8_t(i * 5);
        const std::vector<uint8_t> want = Mixed43(frame);
        layer->Compose(frame.data(), 8, 6);
        EXPECT_EQ(want, frame) << c.name;
    }
}

TEST_F(Compositor, ClearLayersEmptiesEverythingThroughTheWindow)
{
    HostAndApply();
    layer->AddLayer("a.png", 480, 360, 480, 360, false, 0, 0);
    Pump();
    layer->AddLayer("b.png", 480, 360, 480, 360, false, 0, 0);  // applied before the clear
    EXPECT_TRUE(layer->ClearLayers());
    Pump();
    EXPECT_TRUE(layer->LayerPlacements().empty());
    EXPECT_TRUE(layer->PendingChanges().empty());
}

struct UsageCase {
    const char* name;
    std::function<void(CDecorationLayer&)> start;
    std::function<int(CDecorationLayer&)> query;
    uint32_t elapsed;
    int expected;
};

TEST_F(Compositor, UsageFloors)
{
    HostAndApply();
    const auto addLayer = [this](CDecorationLayer& l) { l.AddLayer("a.png", 480, 360, 480, 360, false, 0, 0); Pump(); };
    const MarkBitmap second = Solid(kSize, kSize, 1, 2, 3);
    const std::vector<UsageCase> cases = {
        {"tint 1.5 s", [](CDecorationLayer& l) { l.SetTint(1, 2, 3); }, &CDecorationLayer::GetTintUsage, 1500, 0},
        {"tint 2.4 s", [](CDecorationLayer& l) { l.SetTint(1, 2, 3); }, &CDecorationLayer::GetTintUsage, 2400, 2},
        {"layers 29 s", addLayer, &CDecorationLayer::GetLayerUsage, 29000, 0},
        {"layers 31 s", addLayer, &CDecorationLayer::GetLayerUsage, 31000, 31},
        {"stretch 2.4 s", [](CDecorationLayer& l) { l.SetStretch(10); }, &CDecorationLayer::GetStretchUsage, 2400, 2},
        {"smooth 3 s", [](CDecorationLayer& l) { l.SetSmoothEnabled(true); }, &CDecorationLayer::GetSmoothUsage, 3000, 3},
        {"text 1.9 s", [](CDecorationLayer& l) { l.SetText("hello"); }, &CDecorationLayer::GetTextUsage, 1900, 0},
        {"text 4 s", [](CDecorationLayer& l) { l.SetText("hello"); }, &CDecorationLayer::GetTextUsage, 4000, 4},
        {"mark 2 s", [&](CDecorationLayer& l) { l.SetMarkPicture(second.pixels.data(), kSize, kSize, 32, 0); },
         &CDecorationLayer::GetMarkPictureUsage, 2000, 2},
    };
    for (const UsageCase& c : cases) {
        c.query(*layer);  // forget earlier use
        c.start(*layer);
        now += c.elapsed;
        EXPECT_EQ(c.expected, c.query(*layer)) << c.name;
        EXPECT_EQ(0, c.query(*layer)) << c.name << ": reported once";
        now += 100000;
    }
}

TEST_F(Compositor, UsageReportsOnlyTheTimeSinceTheLastQuery)
{
    layer->SetTint(1, 1, 1);
    now = 3000;
    layer->SetTint(5, 5, 5);  // still on: the clock keeps running from the first call
    now = 5000;
    EXPECT_EQ(5, layer->GetTintUsage());
    now = 8000;
    layer->StopTint();
    now = 20000;
    EXPECT_EQ(3, layer->GetTintUsage());
}

TEST_F(Compositor, LayersClockStopsWhenTheLastLayerGoes)
{
    HostAndApply();
    layer->AddLayer("a.png", 480, 360, 480, 360, false, 0, 0);
    Pump();
    now = 40000;
    layer->RemoveLayer("a.png");
    Pump();
    now = 100000;
    EXPECT_EQ(40, layer->GetLayerUsage());
}

TEST_F(Compositor, ComposeRunsThePassesInOrder)
{
    // A 4 x 3 numbered frame: smoothing marks pixel 0, the flip and the
    // mirror carry it to the last pixel, the tint then adds to its red.
    std::vector<uint8_t> frame(4 * 3 * 3);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = uint8_t(i);
    layer->SetSmoothEnabled(true);
    layer->SetFlip(true);
    layer->SetMirror(true);
    layer->SetTint(5, 0, 0);
    layer->Compose(frame.data(), 4, 3);
    EXPECT_EQ(1, enhancer->processed);
    EXPECT_EQ(12, enhancer->lastStride);
    EXPECT_EQ((std::vector<uint8_t>{100, 100, 105}), std::vector<uint8_t>(frame.end() - 3, frame.end()));
    // Row 2 (pixels 8..11) becomes row 0, mirrored: pixel 11 first.
    EXPECT_EQ((std::vector<uint8_t>{33, 34, 40}), std::vector<uint8_t>(frame.begin(), frame.begin() + 3));

    layer->SetSmoothEnabled(false);
    layer->Compose(frame.data(), 4, 3);
    EXPECT_EQ(1, enhancer->processed);
}

TEST_F(Compositor, SymmetryAndStretchFollowTheirSetters)
{
    std::vector<uint8_t> frame(4 * 3);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = uint8_t(i);
    layer->SetSymmetry(true);
    layer->Compose(frame.data(), 4, 1);
    EXPECT_EQ((std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 3, 4, 5, 0, 1, 2}), frame);
    layer->SetSymmetry(false);
    layer->SetStretch(0);
    const std::vector<uint8_t> before = frame;
    layer->Compose(frame.data(), 4, 1);
    EXPECT_EQ(before, frame);
}

TEST_F(Compositor, FinalMirrorComesAfterTheMark)
{
    std::vector<uint8_t> frame(480 * 360 * 3, 0);
    layer->SetFinalMirror(true);
    layer->DrawMark(frame.data(), 480, 360);     // corner 2: columns 400..473
    layer->ApplyFinalMirror(frame.data(), 480, 360);
    const uint8_t* shown = &frame[(size_t(300) * 480 + 6) * 3];
    EXPECT_EQ(10, shown[0]);
    EXPECT_EQ(20, shown[1]);
    EXPECT_EQ(30, shown[2]);
    EXPECT_EQ(0, frame[(size_t(300) * 480 + 420) * 3]);
}

TEST_F(Compositor, SmoothingSettingsReachTheEnhancer)
{
    layer->SetSmoothStrength(150);
    EXPECT_EQ(100, enhancer->strength);
    layer->SetSmoothMix(-5);
    EXPECT_EQ(0, enhancer->mix);
    layer->SetAutoSmooth(true);
    EXPECT_TRUE(enhancer->enabled);
    EXPECT_TRUE(enhancer->autoMode);
    EXPECT_TRUE(layer->IsSmoothEnabled());
    EXPECT_TRUE(layer->IsSmoothReady());
}

TEST(CompositorWithoutEnhancer, SmoothingAnswersFalse)
{
    CompositorParts parts;
    parts.markLoader = [](MarkBitmap&) { return false; };
    CDecorationLayer layer(std::move(parts));
    layer.SetSmoothEnabled(true);
    layer.SetSmoothStrength(50);
    EXPECT_FALSE(layer.IsSmoothEnabled());
    EXPECT_FALSE(layer.IsSmoothReady());
    std::vector<uint8_t> frame(480 * 360 * 3, 9);
    layer.Compose(frame.data(), 480, 360);
    layer.DrawMark(frame.data(), 480, 360);  // no mark picture: frame as it was
    EXPECT_EQ(std::vector<uint8_t>(480 * 360 * 3, 9), frame);
}

// The compositor as the manager builds it runs the engine's video processing
// first: once the benchmark has reported, a composed frame comes out through
// the instance's default passes (gamma 1.2 alone lifts mid-grey 128 to 143,
// the smoothing's own brightening adds to that), and switching smoothing off
// leaves frames alone.
TEST(CompositorWithProductEnhancer, ComposedFramesGoThroughTheVideoProcessing)
{
    CDecorationLayer layer;
    const DWORD start = GetTickCount();
    while (!layer.IsSmoothReady() && GetTickCount() - start < 60000)
        Sleep(20);
    ASSERT_TRUE(layer.IsSmoothReady());
    EXPECT_TRUE(layer.IsSmoothEnabled());

    std::vector<uint8_t> frame(480 * 360 * 3, 128);
    layer.Compose(frame.data(), 480, 360);
    const uint8_t* middle = &frame[(size_t(180) * 480 + 240) * 3];
    for (int c = 0; c < 3; ++c)
        EXPECT_GE(middle[c], 143) << c;

    layer.SetSmoothEnabled(false);
    EXPECT_FALSE(layer.IsSmoothEnabled());
    std::fill(frame.begin(), frame.end(), 128);
    layer.Compose(frame.data(), 480, 360);
    EXPECT_EQ(std::vector<uint8_t>(480 * 360 * 3, 128), frame);
}

class GpuListener : public IGpuStateListener {
public:
    std::vector<bool> states;
    void OnGpuState(bool useful) override { states.push_back(useful); }
};

TEST_F(Compositor, GpuVerdictReachesTheListenerOnCheck)
{
    GpuListener listener;
    layer->SetGpuListener(&listener);
    layer->CheckGpuUsefull();
    Pump();
    layer->SetIsGpuUseless(false);
    EXPECT_EQ(1u, listener.states.size());  // nothing posted by the verdict itself
    layer->CheckGpuUsefull();
    Pump();
    EXPECT_EQ((std::vector<bool>{false, true}), listener.states);
    layer->SetGpuListener(nullptr);
    layer->CheckGpuUsefull();
    Pump();
    EXPECT_EQ(2u, listener.states.size());
}

// A host compiled elsewhere calls the compositor by slot number and hands it
// a listener that is only a table of plain functions.
struct HostGpuListener {
    static void TQ_THISCALL OnGpuState(HostGpuListener* self, bool useful) { self->states.push_back(useful); }
    static const void* const kTable[];
    const void* const* table = kTable;
    std::vector<bool> states;
};
const void* const HostGpuListener::kTable[] = {reinterpret_cast<const void*>(&HostGpuListener::OnGpuState)};

TEST_F(Compositor, OperationsRunAtTheirSlotNumbers)
{
    void* object = static_cast<IDecorationLayer*>(layer.get());
    const std::string path = "C:\\sticker.png";
    EXPECT_TRUE((CallSlot<bool, const std::string*, int, int, int, int, bool, int, int>(object, 1, &path, 480, 360,
                                                                                        100, 75, true, 10, 20)));
    std::vector<LayerChange> pending = layer->PendingChanges();
    ASSERT_EQ(1u, pending.size());
    EXPECT_EQ(path, pending[0].path);
    EXPECT_EQ(0, pending[0].op);
    EXPECT_EQ(100 * 480 / 480, pending[0].flashWidth);
    EXPECT_EQ(10, pending[0].x);
    EXPECT_EQ(20, pending[0].y);
    EXPECT_TRUE((CallSlot<bool, const std::string*>(object, 2, &path)));
    pending = layer->PendingChanges();
    ASSERT_EQ(1u, pending.size()) << "the last request for a path wins";
    EXPECT_EQ(1, pending[0].op);
    CallSlot<void>(object, 0);  // RemoveAllLayers
    EXPECT_TRUE(layer->PendingChanges().empty());

    // Flip (10) and mirror (11), then the tint (8) on the last pixel's red.
    std::vector<uint8_t> frame(4 * 3 * 3);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = uint8_t(i);
    CallSlot<void, bool>(object, 10, true);
    CallSlot<void, bool>(object, 11, true);
    CallSlot<void, unsigned, unsigned, unsigned>(object, 8, 5u, 0u, 0u);
    layer->Compose(frame.data(), 4, 3);
    EXPECT_EQ((std::vector<uint8_t>{0, 1, 7}), std::vector<uint8_t>(frame.end() - 3, frame.end()));
    EXPECT_EQ((std::vector<uint8_t>{33, 34, 40}), std::vector<uint8_t>(frame.begin(), frame.begin() + 3));
    CallSlot<void>(object, 7);  // StopTint
    CallSlot<void, bool>(object, 10, false);
    CallSlot<void, bool>(object, 11, false);
    layer->Compose(frame.data(), 4, 3);
    EXPECT_EQ((std::vector<uint8_t>{0, 1, 7}), std::vector<uint8_t>(frame.end() - 3, frame.end())) << "all off";

    HostGpuListener host;
    CallSlot<void, void*>(object, 42, &host);  // SetGpuListener
    CallSlot<void>(object, 41);                // CheckGpuUsefull
    Pump();
    EXPECT_EQ((std::vector<bool>{false}), host.states);
    CallSlot<void, void*>(object, 42, nullptr);
    CallSlot<void>(object, 41);
    Pump();
    EXPECT_EQ(1u, host.states.size());
}

TEST_F(Compositor, EnhancersVerdictReachesTheListenerUntilTheCompositorGoes)
{
    ASSERT_TRUE(enhancer->gpuState);
    GpuListener listener;
    layer->SetGpuListener(&listener);
    enhancer->gpuState(false);  // the benchmark found a useful GPU
    layer->CheckGpuUsefull();
    Pump();
    enhancer->gpuState(true);
    layer->CheckGpuUsefull();
    Pump();
    EXPECT_EQ((std::vector<bool>{true, false}), listener.states);

    // The handler is gone before the compositor is: a late verdict cannot
    // reach a compositor being torn down.
    bool handlerAtDeath = true;
    enhancer->handlerAtDeath = &handlerAtDeath;
    enhancer = nullptr;
    layer.reset();
    EXPECT_FALSE(handlerAtDeath);
}

TEST_F(Compositor, LinesGoToTheEngineLog)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"tq_compositor_log_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CloseEngineLogForTest();  // the next line opens the file in this folder
    SetEngineLogFolderForTest(folder);
    StartLogger();
    layer->SetIsGpuUseless(false);
    layer->CheckGpuUsefull();
    Pump();
    StopLogger();
    CloseEngineLogForTest();
    SetEngineLogFolderForTest(std::wstring());

    std::ifstream in((folder + L"tqsorva.log").c_str(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    DeleteFileW((folder + L"tqsorva.log").c_str());
    RemoveDirectoryW(folder.c_str());
    for (const char* line : {"info  - CDecorationLayer::SetIsGpuUseless gpu usefull\n", "info  - CheckGpuUsefull\n",
                             "info  - CDecorationLayer::OnNotifyGpuUseless Gpu usefull\n"})
        EXPECT_NE(std::string::npos, text.find(line)) << line << "in:\n" << text;
}

TEST_F(Compositor, MarkCornerIsPublishedInTheRequestRecord)
{
    tq::CShareHandle& record = tq::GetVcamParaShareMemory();
    ASSERT_NE(nullptr, record.Get());
    const auto markCorner = [&] {
        tq::CMappedView view(record.Get(), FILE_MAP_READ);
        return std::vector<uint8_t>(view.Get() + 12, view.Get() + 16);
    };
    layer->SetMarkCorner(7);
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 7}), markCorner());
    std::vector<uint8_t> frame(480 * 360 * 3, 0);
    layer->DrawMark(frame.data(), 480, 360);
    EXPECT_EQ(10, frame[(size_t(300) * 480 + 420) * 3]);  // still top-right

    layer->SetMarkCorner(3);
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 3}), markCorner());
    std::fill(frame.begin(), frame.end(), 0);
    layer->DrawMark(frame.data(), 480, 360);
    EXPECT_EQ(10, frame[(size_t(10) * 480 + 10) * 3]);
}

TEST(MarkResource, DefaultPictureDecodes)
{
    MarkBitmap mark;
    ASSERT_TRUE(LoadMarkResource(GetModuleHandleW(nullptr), mark));
    EXPECT_EQ(kSize, mark.width);
    EXPECT_EQ(kSize, mark.height);
    EXPECT_EQ(0, mark.pixels[3]);                                       // a transparent corner
    EXPECT_GT(mark.pixels[(size_t(37) * kSize + 37) * 4 + 3], 100);  // an opaque middle

    MarkBitmap none;
    EXPECT_FALSE(LoadMarkResource(GetModuleHandleW(L"kernel32.dll"), none));
}

TEST(MarkResource, CompositorDrawsTheEngineModulesMark)
{
    tq::SetEngineModule(GetModuleHandleW(nullptr));
    CDecorationLayer layer{CompositorParts()};  // the product's loader; no video processing needed
    std::vector<uint8_t> frame(480 * 360 * 3, 0);
    layer.DrawMark(frame.data(), 480, 360);
    size_t changed = 0;
    for (int y = 280; y < 354; ++y)
        for (int x = 400; x < 474; ++x)
            changed += frame[(size_t(y) * 480 + x) * 3 + 2] != 0;
    EXPECT_GT(changed, 74u * 74u / 2);
}

// Pictures are set on this thread while another composes frames of two sizes:
// no crash, and every frame shows one whole mark (all its pixels alike, give
// or take the scaler's rounding at a picture's edges).
TEST_F(Compositor, PicturesChangeWhileFramesAreComposed)
{
    std::atomic<bool> stop(false);
    std::atomic<int> frames(0), torn(0), missing(0);
    std::string firstTear;  // written by the producer only, read after it ended
    std::thread producer([&] {
        std::vector<uint8_t> big(640 * 480 * 3), small(480 * 360 * 3);
        while (!stop) {
            for (int pass = 0; pass < 2; ++pass) {
                std::vector<uint8_t>& frame = pass ? small : big;
                const int width = pass ? 480 : 640, height = pass ? 360 : 480;
                std::fill(frame.begin(), frame.end(), 0);
                layer->Compose(frame.data(), width, height);
                layer->DrawMark(frame.data(), width, height);
                layer->ApplyFinalMirror(frame.data(), width, height);
                // Corner 2 (or, mirrored, corner 1): rows height-80 .. height-7.
                const int column = (frame[(size_t(height - 7 - 37) * width + 6 + 37) * 3 + 2] != 0) ? 6 : width - 80;
                const uint8_t* first = &frame[(size_t(height - 80) * width + column) * 3];
                if (first[0] == 0 && first[1] == 0 && first[2] == 0)
                    ++missing;
                for (int y = height - 80; y < height - 6; ++y)
                    for (int x = column; x < column + kSize; ++x) {
                        const uint8_t* p = &frame[(size_t(y) * width + x) * 3];
                        if (abs(p[0] - first[0]) > 8 || abs(p[1] - first[1]) > 8 || abs(p[2] - first[2]) > 8) {
                            if (torn++ == 0)
                                firstTear = std::to_string(width) + "x" + std::to_string(height) + " at " +
                                            std::to_string(x - column) + "," + std::to_string(y - (height - 80)) +
                                            ": " + std::to_string(p[0]) + "," + std::to_string(p[1]) + "," +
                                            std::to_string(p[2]) + " against " + std::to_string(first[0]) + "," +
                                            std::to_string(first[1]) + "," + std::to_string(first[2]);
                            y = height;
                            break;
                        }
                    }
                ++frames;
            }
        }
    });

    const MarkBitmap pictures[] = {Solid(kSize, kSize, 200, 100, 50), Solid(100, 50, 50, 100, 200),
                                   Solid(160, 160, 250, 250, 250)};
    // Until the 10 s tick has come and its fade has passed half way (the mix
    // then varies too) and the producer has composed enough frames; a loaded
    // machine only takes longer.
    const DWORD start = GetTickCount();
    int sets = 0;
    bool faded = false;
    while (!faded || sets < 3000 || frames.load() < 100) {
        if (GetTickCount() - start > 120000)
            break;
        faded = faded || layer->MarkMix() > 0.5f;
        const int k = sets % 4;
        if (k == 3)
            layer->SetMarkPicture(nullptr, 0, 0, 0, 0);
        else
            layer->SetMarkPicture(pictures[k].pixels.data(), pictures[k].width, pictures[k].height, 32, 0);
        layer->SetFinalMirror(sets % 7 == 0);
        layer->SetMirror(sets % 5 == 0);
        layer->SetStretch(sets % 3 ? 0 : 20);
        if (sets % 2)
            layer->SetTint(0, 0, 0);  // on, but the frame stays black around the mark
        else
            layer->StopTint();
        ++sets;
        Pump();
    }
    stop = true;
    producer.join();
    EXPECT_GE(frames.load(), 100);
    EXPECT_EQ(0, torn.load()) << firstTear;
    EXPECT_EQ(0, missing.load());
    EXPECT_TRUE(faded) << "the fade to the second picture ran";
}

}  // namespace
