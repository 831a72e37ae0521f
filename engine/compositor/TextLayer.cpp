#include "TextLayer.h"
#include "CritSec.h"
#include "TextRenderers.h"

#include <mmsystem.h>

CTextLayer::CTextLayer(TextClock clock)
    : m_clock(clock ? std::move(clock) : TextClock([] { return uint32_t(timeGetTime()); }))
{
}

void CTextLayer::Draw(HDC*, int, int) {}

bool CTextLayer::HasBackground() { return true; }

HFONT CTextLayer::CreateFont(HDC, double, const TextFont&)
{
    const LOGFONTW font = {};
    return CreateFontIndirectW(&font);
}

void CTextLayer::Measure(HDC*, const std::wstring*, SIZE* out)
{
    if (out)
        *out = SIZE{0, 0};
}

void CTextLayer::SetText(const std::wstring& newText)
{
    text = newText;
    chars.clear();
    for (wchar_t unit : text)
        chars.push_back(std::wstring(1, unit));
}

int TextLayerType(int requested)
{
    return requested == 0 || requested == 2 || requested == 3 || requested == 4 ? requested : 1;
}

std::unique_ptr<CTextLayer> CreateTextLayer(int type, TextClock clock)
{
    switch (TextLayerType(type)) {
    case 0: return std::unique_ptr<CTextLayer>(new CPlainTextLayer(std::move(clock)));
    case 2: return std::unique_ptr<CTextLayer>(new CTwoPhaseTextLayer(std::move(clock)));
    case 3: return std::unique_ptr<CTextLayer>(new CColorCycleTextLayer(3, std::move(clock)));
    case 4: return std::unique_ptr<CTextLayer>(new CTileTextLayer(std::move(clock)));
    default: return std::unique_ptr<CTextLayer>(new CColorCycleTextLayer(1, std::move(clock)));
    }
}

uint32_t PhaseClockStart(int type, uint32_t now)
{
    static tq::CCritSec lock;
    static bool started[5] = {};
    static uint32_t start[5] = {};
    if (type < 0 || type > 4)
        return now;
    tq::CCritSecLock guard(lock);
    if (!started[type]) {
        started[type] = true;
        start[type] = now;
    }
    return start[type];
}
