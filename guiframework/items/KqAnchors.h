// Anchors: an item's lines tied to lines of its parent or a sibling with
// margins, or the item filling or centred in one of them; recomputed when
// any of the items involved moves or changes size.
#pragma once

#include "KqContainers.h"
#include "KqItemChangeListener.h"

#include <cstdint>

class KqGraphicsItem;

struct KqAnchorLine {
    enum Line : uint32_t { Left = 1, Right = 2, Top = 4, Bottom = 8, HCenter = 16, VCenter = 32, Baseline = 64 };
    static const uint32_t kHorizontal = 0x13;
    static const uint32_t kVertical = 0x6c;
    KqGraphicsItem* item = nullptr;
    uint32_t line = 0;
    KqAnchorLine() = default;
    KqAnchorLine(KqGraphicsItem* item_, uint32_t line_) : item(item_), line(line_) {}
    bool operator==(const KqAnchorLine& o) const { return item == o.item && line == o.line; }
};

class KqAnchors : public KqItemChangeListener {
public:
    explicit KqAnchors(KqGraphicsItem* item);
    ~KqAnchors() override;
    static void* operator new(size_t size) { return mp_alloc(static_cast<unsigned>(size)); }
    static void operator delete(void* p) { mp_free(p); }

    void setLeft(const KqAnchorLine& target) { setLine(LeftSlot, target); }
    void setRight(const KqAnchorLine& target) { setLine(RightSlot, target); }
    void setTop(const KqAnchorLine& target) { setLine(TopSlot, target); }
    void setBottom(const KqAnchorLine& target) { setLine(BottomSlot, target); }
    void setVerticalCenter(const KqAnchorLine& target) { setLine(VCenterSlot, target); }
    void setHorizontalCenter(const KqAnchorLine& target) { setLine(HCenterSlot, target); }
    KqAnchorLine right() const { return m_lines[RightSlot]; }
    KqAnchorLine bottom() const { return m_lines[BottomSlot]; }
    void setFill(KqGraphicsItem* target);
    void setCenterIn(KqGraphicsItem* target);
    KqGraphicsItem* fill() const { return m_fill; }
    KqGraphicsItem* centerIn() const { return m_centerIn; }
    uint32_t usedLines() const { return m_usedLines; }

    void setLeftMargin(double m) { setMargin(LeftSlot, m); }
    void setRightMargin(double m) { setMargin(RightSlot, m); }
    void setTopMargin(double m) { setMargin(TopSlot, m); }
    void setBottomMargin(double m) { setMargin(BottomSlot, m); }
    void setVerticalCenterOffset(double m) { setMargin(VCenterSlot, m); }
    void setHorizontalCenterOffset(double m) { setMargin(HCenterSlot, m); }
    void setMargins(double m);
    double leftMargin() const { return m_margins[LeftSlot]; }
    double rightMargin() const { return m_margins[RightSlot]; }
    double topMargin() const { return m_margins[TopSlot]; }
    double bottomMargin() const { return m_margins[BottomSlot]; }

    void itemChanged(uint32_t bit, KqGraphicsItem* item, const KqVariant& newValue, const KqVariant& oldValue) override;
    void forgetItem(KqGraphicsItem* item) override;

    // Half of an extent: odd whole parts round up.
    static double half(double extent);

private:
    enum Slot { LeftSlot, RightSlot, TopSlot, BottomSlot, VCenterSlot, HCenterSlot, BaselineSlot, CommonSlot };
    enum Loop { HorizontalLoop, VerticalLoop, FillLoop, CenterLoop };

    void setLine(Slot slot, const KqAnchorLine& target);
    void setMargin(Slot slot, double value);
    void report(const char* text) const;
    void retain(KqGraphicsItem* target);
    void release(KqGraphicsItem* target);
    bool linePosition(const KqAnchorLine& target, double& out) const;
    bool distance(const KqAnchorLine& a, double marginA, const KqAnchorLine& b, double marginB, double& out) const;
    bool enterLoop(Loop loop, const char* message);
    void recompute(const KqRectF& newGeometry, const KqRectF& oldGeometry);
    void updateHorizontal();
    void updateVertical();
    void updateFill();
    void updateCenterIn();

    KqGraphicsItem* m_item;
    KqGraphicsItem* m_fill = nullptr;
    KqGraphicsItem* m_centerIn = nullptr;
    KqAnchorLine m_lines[7];
    double m_margins[8] = {};
    uint32_t m_usedLines = 0;
    int m_loops[4] = {};
    KqMap<KqGraphicsItem*, int> m_watched;
};
