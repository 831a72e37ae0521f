// The level value's slots as the host calls them.
#pragma once

#include <cstdint>

class ILevelValue {
public:
    virtual void SetLevel(double level) = 0;
    virtual void Reserved1(int64_t) = 0;
    virtual void Reserved2(int64_t) = 0;
    virtual void Reserved3(int64_t) = 0;
protected:
    ~ILevelValue() = default;
};
