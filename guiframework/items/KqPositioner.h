// Items that place their children one after another along an axis with a
// fixed spacing and take the size the children occupy.
#pragma once

#include "KqGraphicsItem.h"
#include "KqItemChangeListener.h"

#include <cstdint>

class KqBasePositioner : public KqGraphicsItem, public KqItemChangeListener {
    KQ_DECLARE_CLASS(KqBasePositioner)
public:
    enum Direction { None = 0, Row = 1, Column = 2 };
    enum PositioningFlag : uint8_t { InProgress = 0x2, AnchorConflict = 0x4, ImplicitWidth = 0x20, ImplicitHeight = 0x40 };
    struct ChildState {
        KqGraphicsItem* child;
        bool isNew;
        bool isVisible;
        bool operator==(const ChildState& o) const { return child == o.child; }
    };

    explicit KqBasePositioner(KqGraphicsItem* parentItem = nullptr, KqGraphicsScene* scene = nullptr);
    ~KqBasePositioner() override;

    void setSpacing(double spacing);
    double spacing() const { return m_spacing; }
    double implicitWidth() const { return m_implicitWidth; }
    double implicitHeight() const { return m_implicitHeight; }
    uint8_t positioningFlags() const { return m_flags; }
    void positionChildren();

    virtual KqSizeF doPositioning() { return KqSizeF(); }
    virtual void checkAnchors() {}

    KqVariant itemChange(int kind, const KqVariant& value) override;
    void itemChanged(uint32_t bit, KqGraphicsItem* item, const KqVariant& newValue, const KqVariant& oldValue) override;
    using KqGraphicsItem::itemChanged;
    void forgetItem(KqGraphicsItem* item) override;

protected:
    KqBasePositioner(int direction, KqGraphicsItem* parentItem, KqGraphicsScene* scene);
    KqVector<ChildState> m_childStates;
    int32_t m_direction;

private:
    double m_spacing = 0;
    double m_implicitWidth = 0;
    double m_implicitHeight = 0;
    uint8_t m_flags = ImplicitWidth | ImplicitHeight;
};

class KqRowPositioner : public KqBasePositioner {
    KQ_DECLARE_CLASS(KqRowPositioner)
public:
    explicit KqRowPositioner(KqGraphicsItem* parentItem = nullptr, KqGraphicsScene* scene = nullptr)
        : KqBasePositioner(Row, parentItem, scene) {}
    KqSizeF doPositioning() override;
    void checkAnchors() override;
};

class KqColumnPositioner : public KqBasePositioner {
    KQ_DECLARE_CLASS(KqColumnPositioner)
public:
    explicit KqColumnPositioner(KqGraphicsItem* parentItem = nullptr, KqGraphicsScene* scene = nullptr)
        : KqBasePositioner(Column, parentItem, scene) {}
    KqSizeF doPositioning() override;
    void checkAnchors() override;
};
