#include "AudioRendererExchange.h"
#include "VolumeTable.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tq;

TEST(VolumeTable, PlayerVolumeToRendererVolume)
{
    const struct { double volume; long expected; } cases[] = {
        {0.0, -10000}, {0.005, -10000}, {0.07, -4400}, {0.06, -4647}, {0.08, -4162},
        {0.5, -1408}, {0.999, 0}, {0.98, 0}, {0.97, -10}, {1.0, 0}, {1.2, 0}, {-1.0, -10000},
        {std::nan(""), -10000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, VolumeToDirectShow(c.volume)) << c.volume;
}

TEST(VolumeTable, EntriesNeverGetLouderDownTheFirstTenth)
{
    // Entry 7 once stood at -9017, far below its neighbours.
    for (int i = 1; i < 10; ++i)
        EXPECT_LE(VolumeToDirectShow((i - 1) / 100.0 + 0.001), VolumeToDirectShow(i / 100.0 + 0.001)) << i;
}

TEST(AudioRendererExchange, NothingToDoWithoutGraphOrForTheDefaultDevice)
{
    EXPECT_EQ(AudioExchange::NotNeeded, ExchangeAudioRenderer(nullptr, "Out: default"));
    IBaseFilter* renderer = reinterpret_cast<IBaseFilter*>(1);
    EXPECT_EQ(AudioExchange::NotNeeded, ExchangeAudioRenderer(nullptr, "", &renderer));
    EXPECT_EQ(nullptr, renderer);
}
