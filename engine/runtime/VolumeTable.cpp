#include "VolumeTable.h"

#include "ComPtr.h"

#include <cmath>

namespace tq {

namespace {

// Entry 7 sits at -4400, between its neighbours: the first tables put -9017
// there, which made 7 % quieter than 6 % and 8 %. The other small steps back
// (15 -> 16, 65 -> 66) are a few hundredths of a decibel and stay.
const long kVolumeTable[100] = {
    -10000, -6418, -6147, -6000, -5892, -4826, -4647, -4400, -4162, -3876,
    -3614, -3500, -3492, -3374, -3261, -3100, -3153, -3048, -2947, -2849,
    -2755, -2700, -2663, -2575, -2520, -2489, -2406, -2325, -2280, -2246,
    -2170, -2095, -2050, -2023, -1952, -1900, -1884, -1834, -1820, -1800,
    -1780, -1757, -1695, -1636, -1579, -1521, -1500, -1464, -1436, -1420,
    -1408, -1353, -1299, -1246, -1195, -1144, -1096, -1060, -1049, -1020,
    -1003, -957, -912, -868, -800, -774, -784, -760, -744, -705,
    -667, -630, -610, -594, -570, -558, -525, -493, -462, -432,
    -403, -375, -348, -322, -297, -285, -273, -250, -228, -207,
    -187, -176, -168, -150, -102, -75, -19, -10, 0, 0,
};

} // namespace

long VolumeToDirectShow(double volume)
{
    // NaN and anything outside 0..1 land on the ends of the table.
    double scaled = volume * 100.0;
    int index = 0;
    if (scaled >= 99.0)
        index = 99;
    else if (scaled > 0.0)
        index = static_cast<int>(std::trunc(scaled));
    return kVolumeTable[index];
}

bool SetGraphVolume(IUnknown* graph, double volume)
{
    if (!graph)
        return false;
    ComPtr<IBasicAudio> audio;
    if (FAILED(graph->QueryInterface(IID_IBasicAudio, audio.ReceiveVoid())) || !audio)
        return false;
    return SUCCEEDED(audio->put_Volume(VolumeToDirectShow(volume)));
}

} // namespace tq
