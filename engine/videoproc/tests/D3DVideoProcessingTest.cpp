#include <gtest/gtest.h>

#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

#include "D3DEffects.h"
#include "D3DVideoProcessing.h"
#include "FrameFixtures.h"
#include "LogCapture.h"

namespace {

const char kProbeName[] = "vp_d3d_probe.exe";
const char kProbeOverridesKey[] = "Software\\Wine\\AppDefaults\\vp_d3d_probe.exe\\DllOverrides";

// DLL overrides are a Wine feature: Wine's ntdll exports wine_get_version.
bool RunningUnderWine()
{
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// Wine's loader takes WINEDLLOVERRIDES from the Unix environment it was
// started with, not from the Windows environment block given to
// CreateProcess, so the probe's disabled libraries are set through the
// per-program override key and removed again after the run.
bool SetProbeOverrides(const std::vector<std::string>& disabled)
{
    RegDeleteKeyA(HKEY_CURRENT_USER, kProbeOverridesKey);
    if (disabled.empty())
        return true;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kProbeOverridesKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (const std::string& name : disabled)
        ok = RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1) == ERROR_SUCCESS && ok;
    RegCloseKey(key);
    return ok;
}

// Runs the probe with the named libraries disabled and returns its output lines.
std::vector<std::string> RunProbe(const std::vector<std::string>& disabled)
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self);
    dir = dir.substr(0, dir.find_last_of("\\/") + 1);
    std::string command = "\"" + dir + kProbeName + "\"";
    if (!SetProbeOverrides(disabled))
        return {"#overrides failed"};

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return {"#pipe failed"};
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    const BOOL started =
        CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    std::string output;
    if (started) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got)
            output.append(buffer, got);
        WaitForSingleObject(process.hProcess, 60000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    SetProbeOverrides({});
    std::vector<std::string> lines;
    std::istringstream stream(output);
    std::string text;
    while (std::getline(stream, text)) {
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        lines.push_back(text);
    }
    return lines;
}

std::string Join(const std::vector<std::string>& lines)
{
    std::string all;
    for (const std::string& l : lines)
        all += l + "\n";
    return all;
}

// Indexes of the lines that start with the prefix.
std::vector<size_t> Find(const std::vector<std::string>& lines, const std::string& prefix)
{
    std::vector<size_t> at;
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].compare(0, prefix.size(), prefix) == 0)
            at.push_back(i);
    return at;
}

TEST(D3DVideoProcessing, CapsCheck)
{
    const struct { DWORD devCaps; DWORD pixelShader; bool ok; } cases[] = {
        {D3DDEVCAPS_HWTRANSFORMANDLIGHT, D3DPS_VERSION(3, 0), true},
        {D3DDEVCAPS_HWTRANSFORMANDLIGHT | 0x1, D3DPS_VERSION(4, 0), true},
        {D3DDEVCAPS_HWTRANSFORMANDLIGHT, D3DPS_VERSION(2, 0), false},
        {0, D3DPS_VERSION(3, 0), false},
        {D3DDEVCAPS_HWTRANSFORMANDLIGHT, 0, false},
    };
    for (const auto& c : cases) {
        D3DCAPS9 caps = {};
        caps.DevCaps = c.devCaps;
        caps.PixelShaderVersion = c.pixelShader;
        EXPECT_EQ(D3DVideoProcessing::HasRequiredCaps(caps), c.ok) << std::hex << c.devCaps << " " << c.pixelShader;
    }
}

TEST(D3DVideoProcessing, StrengthAndMixMappings)
{
    D3DVideoProcessing gpu;
    EXPECT_EQ(gpu.MotionThreshold(), 24);
    const struct { int percent; float sigma, lerp; int threshold; } cases[] = {
        {0, 0.01f, 0.1f, 20}, {25, 0.03f, 0.125f, 23}, {100, 0.09f, 0.2f, 32}};
    for (const auto& c : cases) {
        gpu.SetStrength(c.percent);
        EXPECT_NEAR(gpu.NoiseSigma(), c.sigma, 1e-6) << c.percent;
        EXPECT_NEAR(gpu.LerpCoefficient(), c.lerp, 1e-6) << c.percent;
        EXPECT_EQ(gpu.MotionThreshold(), c.threshold) << c.percent;
    }
    gpu.SetStrength(0);
    EXPECT_NEAR(1.0f / (gpu.NoiseSigma() * gpu.NoiseSigma()), 10000.0f, 1.0f);
    gpu.SetMix(20);
    EXPECT_NEAR(gpu.Amount(), 0.17f, 1e-6);
    EXPECT_FLOAT_EQ(gpu.Radius(), 15.0f);
}

TEST(D3DVideoProcessing, EmptySizeIsRefusedAndLogged)
{
    LogCapture log;
    D3DVideoProcessing gpu;
    EXPECT_FALSE(gpu.Init(nullptr, 0, 480));
    EXPECT_FALSE(gpu.Init(nullptr, 640, -2));
    const std::vector<std::string> lines = log.Take();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "D3DVideoProcessing width: 0 height: 480");
    EXPECT_EQ(lines[1], "D3DVideoProcessing width: 640 height: -2");
    std::vector<uint8_t> frame(48 * 16);
    EXPECT_FALSE(gpu.ProcessStep(frame.data(), frame.data(), 16, 16, 48));  // no device
}

TEST(D3DVideoProcessing, EffectsDeclareWhatTheRendererSets)
{
    for (int i = 0; i < 3; ++i) {
        const std::string text = vp::kEffectSources[i];
        EXPECT_NE(text.find("technique vpProcess"), std::string::npos) << i;
        EXPECT_NE(text.find("texture Texture0;"), std::string::npos) << i;
        EXPECT_NE(text.find("compile ps_3_0"), std::string::npos) << i;
        EXPECT_NE(text.find("float g_fWidth;"), std::string::npos) << i;
    }
    EXPECT_NE(std::string(vp::kEffectSources[0]).find("float g_NoiseLevel;"), std::string::npos);
    EXPECT_NE(std::string(vp::kEffectSources[2]).find("texture Texture1;"), std::string::npos);
    EXPECT_NE(std::string(vp::kEffectSources[2]).find("float g_fAmount;"), std::string::npos);
}

// With only d3dx9_43 present the first three names fail in order, the fourth
// reaches the device and the effects; here D3DX cannot compile effect text,
// so the CPU kind takes over.
TEST(D3DVideoProcessingLoader, LibrariesAreTriedInOrder)
{
    if (!RunningUnderWine())
        GTEST_SKIP() << "the probe's libraries are disabled through Wine's DLL overrides";
    const std::vector<std::string> lines = RunProbe({"d3dx9_37", "d3dx9_41", "d3dx9_42"});
    const std::string all = Join(lines);
    const std::vector<size_t> failed = Find(lines, "LoadLibraryA failed: ");
    ASSERT_GE(failed.size(), 4u) << all;
    EXPECT_EQ(lines[failed[0]], "LoadLibraryA failed: d3dx9_37.dll") << all;
    EXPECT_EQ(lines[failed[1]], "LoadLibraryA failed: d3dx9_41.dll") << all;
    EXPECT_EQ(lines[failed[2]], "LoadLibraryA failed: d3dx9_42.dll") << all;
    EXPECT_EQ(lines[failed[3]], "LoadLibraryA failed: d3dx9_43.dll") << all;
    // The disabled libraries never got to the device; the present one did.
    EXPECT_EQ(failed[1], failed[0] + 1) << all;
    EXPECT_EQ(failed[2], failed[1] + 1) << all;
    EXPECT_EQ(lines[failed[3] - 1], "CreateD3D failed") << all;
    EXPECT_EQ(lines[failed[3] + 1], "d3dx9 4 dll load failed") << all;
    EXPECT_EQ(Find(lines, "#init 0").size(), 1u) << all;
    EXPECT_EQ(Find(lines, "#kind cpu").size(), 1u) << all;
}

TEST(D3DVideoProcessingLoader, EveryLibraryGetsTheDeviceAndFailsAtTheEffects)
{
    if (!RunningUnderWine())
        GTEST_SKIP() << "the probe's libraries are disabled through Wine's DLL overrides";
    const std::vector<std::string> lines = RunProbe({});
    const std::string all = Join(lines);
    EXPECT_EQ(Find(lines, "CreateD3D failed").size(), 4u) << all;  // by Init, one per library
    // The device exists before the effects are compiled: their failure is the
    // last step reached.
    const std::vector<size_t> effect = Find(lines, "m_Effect[0].Load failed");
    EXPECT_EQ(effect.size(), 4u) << all;
    EXPECT_TRUE(Find(lines, "m_pDev->CreateDevice failed").empty()) << all;
    // Effects that no library compiles fail for every frame size: the factory
    // goes to the CPU kind without making four devices again.
    const std::vector<size_t> skipped = Find(lines, "D3DVideoProcessing: Direct3D failed before for every size");
    ASSERT_EQ(skipped.size(), 1u) << all;
    EXPECT_GT(skipped[0], Find(lines, "#init 0").at(0)) << all;
    EXPECT_EQ(Find(lines, "#kind cpu").size(), 1u) << all;
}

TEST(D3DVideoProcessingLoader, MissingDirect3DStopsAtOnce)
{
    if (!RunningUnderWine())
        GTEST_SKIP() << "the probe's libraries are disabled through Wine's DLL overrides";
    const std::vector<std::string> lines = RunProbe({"d3d9"});
    const std::string all = Join(lines);
    ASSERT_GE(lines.size(), 2u) << all;
    EXPECT_EQ(lines[0], "LoadLibraryA d3d9.dll failed") << all;
    EXPECT_EQ(lines[1], "#init 0") << all;
    EXPECT_EQ(Find(lines, "LoadLibraryA failed: ").size(), 0u) << all;
    EXPECT_EQ(Find(lines, "#kind cpu").size(), 1u) << all;
}

// --- temporal pre-filter -------------------------------------------------

TEST(TemporalPreFilter, StaticSceneIsAveragedOverThreeFrames)
{
    const int w = 64, h = 48, stride = w * 3;
    std::vector<uint8_t> a(stride * h), b(stride * h), c(stride * h), work(stride * h);
    FillFlat(a.data(), w, h, stride, 100, 100, 100);
    FillFlat(b.data(), w, h, stride, 104, 104, 104);
    FillFlat(c.data(), w, h, stride, 96, 108, 100);
    TemporalPreFilter filter;
    filter.Run(a.data(), work.data(), w, h, stride);
    EXPECT_EQ(work, a);  // no history yet
    filter.Run(b.data(), work.data(), w, h, stride);
    EXPECT_EQ(work[0], (100 + 2 * 104 + 100) / 4);
    filter.Run(c.data(), work.data(), w, h, stride);
    EXPECT_EQ(work[0], (100 + 2 * 96 + 104) / 4);
    EXPECT_EQ(work[1], (100 + 2 * 108 + 104) / 4);
    EXPECT_EQ(work[stride * h - 1], (100 + 2 * 100 + 104) / 4);
}

TEST(TemporalPreFilter, SceneChangeJudgesEveryBlock)
{
    const int w = 64, h = 48, stride = w * 3;
    std::vector<uint8_t> a(stride * h), b(stride * h), work(stride * h);
    FillFlat(a.data(), w, h, stride, 50, 50, 50);
    TemporalPreFilter filter;
    filter.Run(a.data(), work.data(), w, h, stride);
    filter.Run(a.data(), work.data(), w, h, stride);
    // The right half brightens a lot: far more than width / 3 moving pixels.
    b = a;
    for (int y = 0; y < h; ++y)
        for (int x = w / 2; x < w; ++x)
            for (int ch = 0; ch < 3; ++ch)
                b[y * stride + x * 3 + ch] = 200;
    filter.Run(b.data(), work.data(), w, h, stride);
    EXPECT_EQ(filter.MovingCount(), w / 2 * h);
    // Blocks next to the change are not averaged: they keep the new frame.
    EXPECT_EQ(work, b);
    const TemporalPreFilter::Block& left = filter.Blocks()[0];
    const TemporalPreFilter::Block& right = filter.Blocks()[3];
    EXPECT_TRUE(left.still);
    EXPECT_FALSE(right.still);
}

TEST(TemporalPreFilter, SizeChangeDropsTheHistory)
{
    const int stride = 32 * 3;
    std::vector<uint8_t> a(stride * 32, 10), b(stride * 16, 90), work(stride * 32);
    TemporalPreFilter filter;
    filter.Run(a.data(), work.data(), 32, 32, stride);
    filter.Run(a.data(), work.data(), 32, 32, stride);
    filter.Run(b.data(), work.data(), 32, 16, stride);
    EXPECT_EQ(work[0], 90);  // not mixed with the old size's frames
    EXPECT_EQ(filter.Blocks().size(), 32u * 16 / 256 + 1);
}

}  // namespace
