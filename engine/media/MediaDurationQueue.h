// The files waiting to have their durations measured and the durations
// measured so far. Not locked itself: its owner guards it.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

class CMediaDurationQueue {
public:
    // Queues a name unless it waits already; true when it was queued.
    bool Add(const std::string& name);
    // The name waiting longest, its tries raised by one; "" when none waits.
    std::string TakeNext();
    // A duration of (about) 0 on one of the first two tries queues the name
    // again behind the others; anything else is kept and ends its wait.
    // A name that does not wait changes nothing.
    void Store(const std::string& name, double milliseconds);
    const std::map<std::string, double>& Durations() const { return m_durations; }
    // (id, name) in the order they are taken.
    std::vector<std::pair<int, std::string>> Waiting() const;

private:
    struct Entry {
        std::string name;
        int tries = 0;
    };
    std::map<std::string, double> m_durations;
    std::map<int, Entry> m_pending;
    std::map<std::string, int> m_index;
    int m_lastId = 0;
};
