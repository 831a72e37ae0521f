// A widget's background: a fill colour and one nine-grid picture per
// interaction state (normal, hover, pressed, focus, disabled); the hover
// picture fades in and out. Multi-frame pictures advance on a shared ticker.
#pragma once

#include "KqColor.h"
#include "KqContainers.h"
#include "KqGeometry.h"
#include "KqGraphicsItem.h"
#include "KqObject.h"
#include "KqSignal.h"

#include <cstdint>

class KqGraphicsMarginsPixmapItem;
class KqImage;
class KqTimer;

class KqGraphicsFrameItem : public KqGraphicsItem {
    KQ_DECLARE_CLASS(KqGraphicsFrameItem)
public:
    enum FrameFlag : uint8_t { Hovered = 0x2, Pressed = 0x4, Focused = 0x8, DrawCenter = 0x10, RepaintOnState = 0x20 };
    enum StateImage { NormalImage = 0, HoverImage = 1, PressedImage = 2, FocusImage = 3, DisabledImage = 4, StateImageCount = 6 };
    static const int kFadeInMs = 150;
    static const int kFadeOutMs = 380;

    explicit KqGraphicsFrameItem(KqGraphicsItem* parentItem = nullptr);
    ~KqGraphicsFrameItem() override;

    // Shows the next frame of a multi-frame current picture.
    virtual void advanceFrame();
    void paint(KqPainter* painter) override;

    void setColor(const KqColor& color);
    const KqColor& color() const { return m_color; }
    void setMargins(const KqMargins& margins);
    const KqMargins& margins() const { return m_margins; }
    void setStateImageUrl(int index, const KqString& url);
    // The state picture item, or null when it was never used.
    KqGraphicsMarginsPixmapItem* stateItem(int index) const;
    void setAnimatedStates(uint32_t bits) { m_animatedStates = bits; }
    uint32_t animatedStates() const { return m_animatedStates; }

    void setHovered(bool on) { setState(Hovered, HoverImage, on); }
    void setPressed(bool on) { setState(Pressed, PressedImage, on); }
    void setFocused(bool on) { setState(Focused, FocusImage, on); }
    bool isHovered() const { return (m_frameFlags & Hovered) != 0; }
    bool isPressed() const { return (m_frameFlags & Pressed) != 0; }
    bool isFocused() const { return (m_frameFlags & Focused) != 0; }
    void setRepaintOnStateChange(bool on);
    uint8_t frameFlags() const { return m_frameFlags; }

private:
    void setState(uint8_t bit, int imageIndex, bool on);
    KqGraphicsMarginsPixmapItem* ensureStateItem(int index);
    bool hasImage(int index) const;
    void showStateImage(int index, bool show);
    // The picture whose frames animate: pressed, focus, hover, else normal.
    KqGraphicsMarginsPixmapItem* currentImageItem() const;
    void restartFrameAnimation();

    uint8_t m_frameFlags = DrawCenter | RepaintOnState;
    KqMargins m_margins;
    KqColor m_color{0, 0, 0, 0};
    uint32_t m_animatedStates = 1u << HoverImage;
    KqGraphicsMarginsPixmapItem* m_stateItems[StateImageCount] = {};
};

// Advances the frames of animated state pictures: frame item -> remaining ms.
class KqFrameTicker : public KqTrackable {
public:
    static KqFrameTicker* instance();
    // The ticker only when it was made already (destruction must not create it).
    static KqFrameTicker* existing();
    KqFrameTicker();
    ~KqFrameTicker() override;
    // A delay of 0 or less removes the item.
    void schedule(KqGraphicsFrameItem* item, int32_t delayMs);
    void remove(KqGraphicsFrameItem* item);
    bool contains(KqGraphicsFrameItem* item) const { return m_remaining.contains(item); }
    int count() const { return m_remaining.count(); }
    int32_t interval() const { return m_interval; }
    // The timer's work, callable by hand.
    void tick();

private:
    void recomputeInterval();
    KqTimer* m_timer;
    int32_t m_interval = 0;
    KqMap<KqGraphicsFrameItem*, int32_t> m_remaining;
};
