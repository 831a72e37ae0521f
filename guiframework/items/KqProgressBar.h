// A bar whose inner width follows value / maximum, over a skinned frame.
#pragma once

#include "KqWidgetItem.h"

class KqGraphicsMarginsPixmapItem;

class KqProgressBar : public KqWidgetItem {
    KQ_DECLARE_CLASS(KqProgressBar)
public:
    explicit KqProgressBar(KqGraphicsItem* parentItem = nullptr);
    // Clamped into the range.
    void setValue(double value);
    double value() const { return m_value; }
    void setRange(double minimum, double maximum);
    double minimum() const { return m_minimum; }
    double maximum() const { return m_maximum; }
    void setBarImage(const KqString& url);
    void setBarMargins(int left, int top, int right, int bottom);
    const KqMargins& barMargins() const { return m_barMargins; }
    KqGraphicsMarginsPixmapItem* bar() const { return m_bar; }
    bool isProportional() const { return m_proportional != 0; }
    KqVariant itemChange(int kind, const KqVariant& value) override;

private:
    void updateBar();
    double m_minimum = 0;
    double m_maximum = 1;
    double m_value = 0;
    KqGraphicsMarginsPixmapItem* m_bar = nullptr;
    KqMargins m_barMargins{2, 2, 2, 2};
    int32_t m_proportional = 1;
};
