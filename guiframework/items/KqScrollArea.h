// A widget that shows part of a larger content item, with scroll bars that
// appear when the content does not fit; wheel turns and bar clicks step by
// a tenth of the range, and the thumb follows drags.
#pragma once

#include "KqItemChangeListener.h"
#include "KqPushButton.h"
#include "KqWidgetEventHandler.h"
#include "KqWidgetItem.h"

class KqScrollArea;

class KqScrollBar : public KqWidgetItem {
    KQ_DECLARE_CLASS(KqScrollBar)
public:
    enum Orientation { Horizontal = 1, Vertical = 2 };
    explicit KqScrollBar(KqGraphicsItem* parentItem = nullptr);

    void setOrientation(int orientation);
    int orientation() const { return m_orientation; }
    void setValue(double value);
    double value() const { return m_value; }
    void setRange(double minimum, double maximum);
    double minimum() const { return m_minimum; }
    double maximum() const { return m_maximum; }
    void setStep(double step) { m_step = step; }
    double step() const { return m_step; }
    void stepBack(double s);
    void stepForward(double s);
    void moveBy(double d);

    double trackLength() const;
    double thumbOrigin() const;
    void positionThumb();
    // Scrolls the area to the value's share of the range.
    void applyToArea();
    double pixelsToValue(double pixels) const;
    KqPushButton* thumb() const { return m_thumb; }

private:
    void onThumbDragMove(KqGraphicsItem* item, KqEvent* event);
    double m_minimum = 0;
    double m_maximum = 1;
    double m_value = 0;
    double m_step = 0.1;
    int32_t m_orientation = Vertical;
    KqPushButton* m_thumb;
    KqScrollArea* m_area;
};

class KqScrollBarEventHandler : public KqWidgetEventHandler {
    KQ_DECLARE_CLASS(KqScrollBarEventHandler)
public:
    explicit KqScrollBarEventHandler(KqScrollBar* bar = nullptr) : KqWidgetEventHandler(bar), m_bar(bar) {}
    void mouseWheel(KqMouseEvent* event) override;
    void mouseClicked(KqMouseEvent* event) override;

private:
    KqScrollBar* m_bar;
};

class KqScrollArea : public KqWidgetItem {
    KQ_DECLARE_CLASS(KqScrollArea)
public:
    explicit KqScrollArea(KqGraphicsItem* parentItem = nullptr);
    ~KqScrollArea() override;

    // Takes the content (deleting the previous one).
    void setWidget(KqGraphicsItem* content);
    KqGraphicsItem* widget() const { return m_content; }
    KqScrollBar* horizontalScrollBar() const { return m_horizontal; }
    KqScrollBar* verticalScrollBar() const { return m_vertical; }
    // The content's size with its anchor margins.
    KqSizeF contentExtent() const;
    void scrollTo(double fraction, int orientation);
    // A wheel turn over the content: positive delta goes back.
    void wheel(int delta);

private:
    class Listener : public KqItemChangeListener {
    public:
        explicit Listener(KqScrollArea* area) : KqItemChangeListener(KqGraphicsItem::GeometryChanged), m_area(area) {}
        void itemChanged(uint32_t bit, KqGraphicsItem* item, const KqVariant& newValue, const KqVariant& oldValue) override;
        void forgetItem(KqGraphicsItem* item) override;

    private:
        KqScrollArea* m_area;
    };
    void geometryChanged();
    void updateScrollBars();
    void updateVisiblePart();
    KqScrollBar* makeBar(int orientation);

    KqGraphicsItem* m_content = nullptr;
    KqScrollBar* m_horizontal = nullptr;
    KqScrollBar* m_vertical = nullptr;
    Listener m_listener{this};
    bool m_busy = false;
};
