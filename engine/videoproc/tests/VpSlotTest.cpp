// vpGetInterface's instance and the host's sink as a host built by another
// compiler sees them: operations called by their slot number through the raw
// table, and a sink that is nothing but a hand-built table of functions.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "VpInterface.h"
#include "testing/SlotCall.h"

namespace {

// A host's sink: slot 0 its deleting destructor, slot 1 OnState.
struct HandSink {
    void* const* table;
    HANDLE event;
    volatile LONG calls;
    bool useless;
    int extra;
};

void TQ_THISCALL HandSinkDestroy(HandSink* self, unsigned) { self->extra = -100; }
void TQ_THISCALL HandSinkOnState(HandSink* self, bool useless, int a, int b)
{
    self->useless = useless;
    self->extra = a | b;
    InterlockedIncrement(&self->calls);
    SetEvent(self->event);
}
void* const kHandSinkTable[kVpSinkSlots] = {reinterpret_cast<void*>(&HandSinkDestroy),
                                            reinterpret_cast<void*>(&HandSinkOnState)};

} // namespace

TEST(VpSlots, EveryOperationAnswersAtItsSlot)
{
    IVpInstance* vp = nullptr;
    ASSERT_TRUE(vpGetInterface(0, &vp));
    void* object = vp;

    // Setters by slot, read back both by slot and through the interface.
    CallSlot<void>(object, 4, false);  // SetGammaEnabled
    EXPECT_FALSE(CallSlot<bool>(object, 5));
    EXPECT_FALSE(vp->GetGammaEnabled());
    CallSlot<void>(object, 6, false);  // SetSmoothEnabled
    EXPECT_FALSE(CallSlot<bool>(object, 7));
    EXPECT_FALSE(vp->GetSmoothEnabled());
    CallSlot<void>(object, 8, 61);     // SetSmoothStrength
    EXPECT_EQ(61, CallSlot<int>(object, 9));
    EXPECT_EQ(61, vp->GetSmoothStrength());
    CallSlot<void>(object, 10, 33);    // SetSmoothMix
    EXPECT_EQ(33, CallSlot<int>(object, 11));
    EXPECT_EQ(33, vp->GetSmoothMix());
    EXPECT_FALSE(CallSlot<bool>(object, 16));  // GetStateBit
    EXPECT_FALSE(CallSlot<bool>(object, 18));  // IsReady: no benchmark yet
    EXPECT_FALSE(CallSlot<bool>(object, 20));  // GetAutoMode: no processor yet
    CallSlot<void>(object, 15, uint8_t(1));    // SetRebuildFlagA
    CallSlot<void>(object, 17, uint8_t(1));    // SetRebuildFlagB
    CallSlot<void>(object, 19, true);          // SetAutoMode
    CallSlot<void>(object, 14);                // ReleaseProcessor

    // Frames pass unchanged before the benchmark reports.
    std::vector<uint8_t> frame(16 * 8 * 3, 0x40), copy(frame.size(), 0);
    EXPECT_TRUE((CallSlot<bool, uint8_t*, int, int, int>(object, 12, frame.data(), 16, 8, 48)));
    EXPECT_TRUE((CallSlot<bool, uint8_t*, uint8_t*, int, int, int>(object, 13, frame.data(), copy.data(), 16, 8, 48)));
    VpStatistics statistics = {};
    CallSlot<bool, VpStatistics*>(object, 21, &statistics);  // GetStatistics: answers without a crash

    // SetSink (3) with a hand-built sink, Init (1): the verdict reaches its slot 1.
    HandSink sink = {kHandSinkTable, CreateEventW(nullptr, TRUE, FALSE, nullptr), 0, false, -1};
    CallSlot<void, void*>(object, 3, &sink);
    EXPECT_TRUE(CallSlot<bool>(object, 1, 20130401));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(sink.event, 60000));
    EXPECT_EQ(1, sink.calls);
    EXPECT_EQ(0, sink.extra);
    EXPECT_TRUE(CallSlot<bool>(object, 18));  // IsReady now

    CallSlot<void>(object, 2);       // Stop
    CallSlot<void>(object, 0, 1);    // Destroy, freeing
    EXPECT_EQ(0, sink.extra);        // the instance never destroys its sink
    CloseHandle(sink.event);
}
