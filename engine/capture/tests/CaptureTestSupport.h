// Helpers of the camera tests: the test camera's registration, message
// pumping, the captured log and reading the shared frame record.
#pragma once

#include "testing/SystemHandles.h"
#include "testing/TestFilters.h"
#include "CaptureVideo.h"
#include "FrameProtocol.h"
#include "TestPattern.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

constexpr char kTestCamera[] = "Tq Test Camera";

// Registers tools/testcam's filter in this prefix.
bool RegisterTestCamera();
// Sets or clears (empty value) one of the test camera's switches.
void SetCameraSwitch(const char* name, const char* value);
void ClearCameraSwitches();

// Dispatches this thread's messages until done() or the time-out.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
void PumpFor(DWORD ms);

// Lines the camera source logged since the last ClearLog.
void StartLogCapture();
void ClearLog();
std::vector<std::string> LogLines();
int CountLog(const std::string& fragment);

// The whole frame record, copied under ShareMemoryMutex.
std::vector<uint8_t> ReadRecord();
tq::FrameHeader HeaderOf(const std::vector<uint8_t>& record);
// Waits for a frame newer than `after` (by frameTime) of the given size.
bool WaitForFrame(int32_t after, uint32_t width, uint32_t height, std::vector<uint8_t>& record, DWORD timeoutMs);
// Fills the record with a header of time `frameTime` and bytes of `value`.
void FillRecord(int32_t frameTime, uint32_t width, uint32_t height, uint8_t value);

// Largest channel difference between the pixel at (x, y from the top) of a
// bottom-up BGR picture and a colour.
int ColourDistance(const uint8_t* picture, int width, int height, int x, int y, PatternColor colour);
// Largest distance over the four quadrant centres; mirrored: against the
// pattern with left and right swapped.
int QuadrantDistance(const uint8_t* picture, int width, int height, bool mirrored = false);

// Handles by object type and a handle's type, from the system's handle table.
using tqtest::HandleType;
using tqtest::OwnHandlesByType;

// Listener that counts what it hears.
class CountingListener : public ICaptureVideoListener {
public:
    void OnDeviceListChanged() override { ++listChanged; }
    void OnOpenFailed() override { ++openFailed; }
    void OnDeviceChange(uint32_t kind) override { lastChange = kind; }
    int listChanged = 0;
    int openFailed = 0;
    uint32_t lastChange = 0;
};
