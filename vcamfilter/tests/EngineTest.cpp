// The camera against the real engine: the stand-in host (runhost with
// mainframe and lumeo) shows its background picture, and the camera delivers
// it at every kind of size, raises the request record and lists its host.
// Skipped when the engine is not part of this build.
#include "CameraRun.h"
#include "FrameProtocol.h"
#include "PictureCheck.h"

#include <gtest/gtest.h>

#include <string>

using namespace vcamtest;

namespace {

std::wstring BinFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The engine's host as a child process, ended when the test is done.
class EngineHost {
public:
    bool Start()
    {
        std::wstring line = L"\"" + BinFolder() + L"\\runhost.exe\" -seconds 120";
        STARTUPINFOW startup = {sizeof(startup)};
        if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, BinFolder().c_str(), &startup,
                            &m_process))
            return false;
        // Running once the background frame stands in the record.
        for (int i = 0; i < 300; ++i) {
            HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, tq::kCaptureMemoryName);
            if (mapping) {
                CloseHandle(mapping);
                return true;
            }
            if (WaitForSingleObject(m_process.hProcess, 100) == WAIT_OBJECT_0)
                return false;
        }
        return false;
    }
    ~EngineHost()
    {
        if (m_process.hProcess) {
            TerminateProcess(m_process.hProcess, 0);
            WaitForSingleObject(m_process.hProcess, 10000);
            CloseHandle(m_process.hThread);
            CloseHandle(m_process.hProcess);
        }
    }
private:
    PROCESS_INFORMATION m_process = {};
};

// The engine's record as a consumer would see it right now.
std::vector<uint8_t> EngineFrame(uint32_t& width, uint32_t& height)
{
    std::vector<uint8_t> pixels;
    HANDLE mutex = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, tq::kShareMutexName);
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, tq::kCaptureMemoryName);
    if (mutex && mapping) {
        tq::CMutexLock lock(mutex);
        if (const auto* record = static_cast<const uint8_t*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0))) {
            tq::FrameHeader header;
            if (tq::ReadFrameHeader(record, tq::kFrameCopyBytes, header)) {
                width = header.width;
                height = header.height;
                pixels.assign(record + tq::kFrameHeaderSize, record + tq::kFrameHeaderSize + size_t(width) * height * 3);
            }
            UnmapViewOfFile(record);
        }
    }
    if (mapping) CloseHandle(mapping);
    if (mutex) CloseHandle(mutex);
    return pixels;
}

void ReadRequest(uint32_t& height, uint32_t& width, uint32_t& frameTime)
{
    HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, tq::kVcamParaMemoryName);
    ASSERT_TRUE(mapping);
    const auto* record = static_cast<const uint8_t*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_TRUE(record);
    height = tq::ReadU32BE(record, tq::kOffRequestHeight);
    width = tq::ReadU32BE(record, tq::kOffRequestWidth);
    frameTime = tq::ReadU32BE(record, tq::kOffRequestFrameTime);
    UnmapViewOfFile(record);
    CloseHandle(mapping);
}

TEST(EngineTest, EngineFramesReachTheConsumerAtEverySize)
{
    if (!FileExists(BinFolder() + L"\\runhost.exe") || !FileExists(BinFolder() + L"\\lumeo.dll") ||
        !FileExists(BinFolder() + L"\\mainframe.dll"))
        GTEST_SKIP() << "the engine and its stand-in host are not in this build";
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ASSERT_TRUE(UseFilterModuleOutsideTheBuild());
    {
        EngineHost engine;
        ASSERT_TRUE(engine.Start());
        uint32_t frameWidth = 0, frameHeight = 0;
        const std::vector<uint8_t> frame = EngineFrame(frameWidth, frameHeight);
        ASSERT_EQ(frameWidth, 480u);
        ASSERT_EQ(frameHeight, 360u);

        struct Case { int width, height, cropWidth, cropHeight; };
        const Case cases[] = {{640, 480, 480, 360}, {320, 240, 480, 360}, {352, 288, 440, 360}, {480, 272, 480, 272}};
        for (const Case& c : cases) {
            CameraRun run(c.width, c.height, 333333);
            ASSERT_EQ(run.Result(), S_OK);
            ASSERT_TRUE(SUCCEEDED(run.Run()));
            ASSERT_TRUE(run.WaitFrames(2, 10000)) << c.width << "x" << c.height;
            const Frame got = run.Frames().back();
            ASSERT_GE(got.data.size(), DibStride(c.width) * size_t(c.height));
            EXPECT_TRUE(got.hasMediaTime) << "the engine's frame, not the placeholder";
            const auto reference = ReferenceScale(Crop(frame, 480, 360, c.cropWidth, c.cropHeight), c.cropWidth,
                                                  c.cropHeight, c.width, c.height);
            const Difference d = Compare(got.data.data(), DibStride(c.width), reference, c.width, c.height);
            EXPECT_LE(d.mean, kEdgeMeanTolerance) << c.width << "x" << c.height;
            if (c.width == 640) {
                // The 640 x 480 consumer at 333333 raised the request from the engine's reset.
                uint32_t height = 0, width = 0, frameTime = 0;
                ReadRequest(height, width, frameTime);
                EXPECT_EQ(height, 480u);
                EXPECT_EQ(width, 640u);
                EXPECT_EQ(frameTime, 333333u);
            }
        }

        // Four runs of this program: listed once.
        wchar_t wide[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, wide, MAX_PATH);
        char path[MAX_PATH * 2] = {};
        WideCharToMultiByte(CP_ACP, 0, wide, -1, path, sizeof(path), nullptr, nullptr);
        HANDLE users = OpenFileMappingW(FILE_MAP_READ, FALSE, tq::kUserMemoryName);
        ASSERT_TRUE(users);
        const char* list = static_cast<const char*>(MapViewOfFile(users, FILE_MAP_READ, 0, 0, 0));
        ASSERT_TRUE(list);
        const std::string hosts = tq::ReadHostList(list, tq::kUserMemorySize);
        const std::string item = std::string("<") + path + ">";
        const size_t first = hosts.find(item);
        EXPECT_NE(first, std::string::npos) << hosts;
        EXPECT_EQ(hosts.find(item, first + 1), std::string::npos) << hosts;
        UnmapViewOfFile(list);
        CloseHandle(users);
    }
    CoUninitialize();
}

} // namespace
