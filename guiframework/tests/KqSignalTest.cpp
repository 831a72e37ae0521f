#include "KqSignal.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string g_log;

struct Receiver : KqTrackable {
    explicit Receiver(char name_) : name(name_) {}
    void slot() { g_log += name; }
    char name;
};

// Receivers whose trackable part is not at the start of the object.
struct Other {
    virtual ~Other() {}
    int padding[3] = {};
};
struct OffsetReceiver : Other, KqTrackable {
    void slot() { g_log += 'o'; }
};

struct ConnectingReceiver : KqTrackable {
    KqSignal0* signal = nullptr;
    Receiver* late = nullptr;
    void slot()
    {
        g_log += 'c';
        if (late)
            signal->connect(late, &Receiver::slot);
        late = nullptr;
    }
};

struct Killer : KqTrackable {
    Receiver* victim = nullptr;
    void slot()
    {
        g_log += 'k';
        delete victim;
        victim = nullptr;
    }
};

TEST(KqSignalTest, CallsInConnectOrderAndSkipsTheDead)
{
    g_log.clear();
    KqSignal0 signal;
    Receiver a('a'), b('b');
    OffsetReceiver o;
    Receiver* gone = new Receiver('g');
    signal.connect(&a, &Receiver::slot);
    signal.connect(gone, &Receiver::slot);
    signal.connect(&o, &OffsetReceiver::slot);
    signal.connect(&b, &Receiver::slot);
    signal.connect(&a, &Receiver::slot);
    delete gone;
    signal.emit();
    EXPECT_EQ("aoba", g_log);
    EXPECT_EQ(5, signal.connectionCount());
    signal.connect(&b, &Receiver::slot);
    EXPECT_EQ(5, signal.connectionCount()); // the dead one went
    signal.removeConnectionsTo(&a);
    g_log.clear();
    signal.emit();
    EXPECT_EQ("obb", g_log);
}

TEST(KqSignalTest, ConnectDuringEmissionWaitsForTheNextOne)
{
    g_log.clear();
    KqSignal0 signal;
    ConnectingReceiver c;
    Receiver late('l');
    c.signal = &signal;
    c.late = &late;
    signal.connect(&c, &ConnectingReceiver::slot);
    signal.emit();
    EXPECT_EQ("c", g_log);
    signal.emit();
    EXPECT_EQ("ccl", g_log);
}

TEST(KqSignalTest, ReceiverDestroyedByAnEarlierSlotIsNotCalled)
{
    g_log.clear();
    KqSignal0 signal;
    Killer killer;
    killer.victim = new Receiver('v');
    signal.connect(&killer, &Killer::slot);
    signal.connect(killer.victim, &Receiver::slot);
    signal.emit();
    EXPECT_EQ("k", g_log);
}

TEST(KqSignalTest, ConnectionsOutliveTheirReceiverSafely)
{
    g_log.clear();
    Receiver* r = new Receiver('r');
    {
        KqSignal0 signal;
        signal.connect(r, &Receiver::slot);
        delete r; // control block kept by the connection
        signal.emit();
    }
    EXPECT_EQ("", g_log);
}

} // namespace
