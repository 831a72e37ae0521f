// Turns a level between 0 and 1 into the integer the product keeps, on a
// thread of its own.
#pragma once

#include "ILevelValue.h"
#include "MessageWindow.h"
#include "Worker.h"

#include <atomic>

constexpr UINT WM_LEVEL_SET = 33368;

class CLevelValue : public ILevelValue, private tq::IWorkerBody {
public:
    CLevelValue();
    virtual ~CLevelValue();

    void SetLevel(double level) override;
    void Reserved1(int64_t) override {}
    void Reserved2(int64_t) override {}
    void Reserved3(int64_t) override {}

    double Level() const { return m_level; }
    // The kept integer (read on any thread for tests and diagnostics).
    int32_t KeptValue() const;
    // The conversion of one level, as the window handler does it.
    static int32_t LevelToInteger(double level);
    LRESULT OnSetLevel();

private:
    HWND CreateOper() override;
    void DestroyOper() override;

    std::atomic<bool> m_pending{false};
    std::atomic<double> m_level{1.0};
    tq::CWorker m_worker;
};
