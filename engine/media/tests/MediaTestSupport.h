// Helpers of the media and desktop tests: message pumping, the captured
// log, the shared frame record and test pictures.
#pragma once

#include "testing/SystemHandles.h"
#include "ComPtr.h"
#include "FrameProtocol.h"

#include <windows.h>
#include <strmif.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

// Dispatches this thread's messages until done() or the time-out.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
// Returns once timeGetTime has moved on, so the next sample's arrival differs.
void NextMillisecond();

void StartMediaLogCapture();
void ClearMediaLog();
int CountMediaLog(const std::string& fragment);
std::vector<std::string> MediaLogLines();

// The whole frame record, copied under ShareMemoryMutex.
std::vector<uint8_t> ReadRecord();
tq::FrameHeader HeaderOf(const std::vector<uint8_t>& record);
// Fills the record: a header with this time and every picture byte `value`.
void FillRecord(int32_t frameTime, uint8_t value);
// Waits for a frame whose time differs from `after`.
bool WaitForNewFrame(int32_t after, std::vector<uint8_t>& record, DWORD timeoutMs);

struct Rgb {
    int r, g, b;
};
// The pixel at (x, y from the top) of a bottom-up BGR picture.
Rgb PixelAt(const uint8_t* picture, int width, int height, int x, int y);
int Distance(Rgb a, Rgb b);

// Four quadrants, upright: red top-left, green top-right, blue bottom-left,
// white bottom-right.
extern const Rgb kQuadrants[4];
// The pattern as a bottom-up RGB24 picture.
std::vector<uint8_t> QuadrantPicture(int width, int height);
// Largest distance of the four quadrant centres of a picture area (x, y
// from the top, in a bottom-up BGR picture of pictureWidth x pictureHeight).
int QuadrantDistance(const uint8_t* picture, int pictureWidth, int pictureHeight, int x, int y, int width, int height);

// Handles by object type and a handle's type, from the system's handle table.
using tqtest::HandleType;
using tqtest::OwnHandlesByType;

// This process's playing graph, as the source put it in the running object
// table (where a tool such as GraphEdit finds it); empty when none is there.
tq::ComPtr<IFilterGraph> RunningGraph();
