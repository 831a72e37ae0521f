#include "LevelValue.h"

#include <cmath>

namespace {

// The level window: one at a time, on the level thread.
class CLevelWindow : public tq::CMessageWindow {
public:
    CLevelValue* owner = nullptr;
    std::atomic<int32_t> kept{0};
protected:
    bool OnWindowMessage(UINT message, WPARAM, LPARAM, LRESULT* result) override
    {
        if (message != WM_LEVEL_SET || !owner)
            return false;
        *result = owner->OnSetLevel();
        return true;
    }
};

std::atomic<CLevelWindow*> g_levelWindow{nullptr};

} // namespace

CLevelValue::CLevelValue()
{
    m_worker.Start(this, THREAD_PRIORITY_ABOVE_NORMAL);
}

CLevelValue::~CLevelValue()
{
    m_worker.Quit();
}

HWND CLevelValue::CreateOper()
{
    auto* window = new CLevelWindow;
    window->owner = this;
    window->CreateMessageWindow(tq::CMessageWindow::HiddenPopup);
    g_levelWindow = window;
    return window->Hwnd();
}

void CLevelValue::DestroyOper()
{
    delete g_levelWindow.exchange(nullptr);
}

void CLevelValue::SetLevel(double level)
{
    if (!(level >= 0.0))
        level = 0.0;  // also catches NaN
    if (level > 1.0)
        level = 1.0;
    m_level = level;
    m_pending = true;
    m_worker.Post(WM_LEVEL_SET);
}

int32_t CLevelValue::LevelToInteger(double level)
{
    const double v = level * 268435935.0 + 4294966816.0;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(v)));
}

LRESULT CLevelValue::OnSetLevel()
{
    if (!m_pending.exchange(false))
        return 0;
    const int32_t n = LevelToInteger(m_level);
    CLevelWindow* window = g_levelWindow;
    if (window && n != window->kept) {
        window->kept = n;
        if (window->kept == -1)
            window->kept = 0;
    }
    return n;
}

int32_t CLevelValue::KeptValue() const
{
    CLevelWindow* window = g_levelWindow;
    return window ? window->kept.load() : 0;
}
