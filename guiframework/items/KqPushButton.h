// Push buttons (a skinned background with an icon and a text that shift
// while pressed) and check boxes (an icon per state, checked or not).
#pragma once

#include "KqWidgetEventHandler.h"
#include "KqWidgetItem.h"

class KqGraphicsPixmapItem;
class KqGraphicsSimpleTextItem;

class KqPushButton : public KqWidgetItem {
    KQ_DECLARE_CLASS(KqPushButton)
public:
    explicit KqPushButton(KqGraphicsItem* parentItem = nullptr);

    void setStateImage(int index, const KqString& url);
    // The picture's size becomes the button's; it is the normal picture.
    void setImage(const KqString& url);
    virtual void setIcon(const KqString& url);
    virtual void setText(const KqString& text);
    void clearIcon();
    void setIconBesideText(bool beside);
    bool iconBesideText() const { return m_iconBesideText; }
    void setIconTextSpacing(double a, double b, double c);
    void adjustSize();
    void setPressedOffset(const KqPointF& offset) { m_pressedOffset = offset; }

    KqGraphicsItem* content() const { return m_content; }
    KqGraphicsPixmapItem* icon() const { return m_icon; }
    KqGraphicsSimpleTextItem* text() const { return m_text; }

protected:
    void layoutContent();

private:
    void onMouseDown(KqGraphicsItem* item, KqEvent* event);
    void onMouseUp(KqGraphicsItem* item, KqEvent* event);
    void ensureText();

    KqGraphicsItem* m_content;
    KqGraphicsPixmapItem* m_icon = nullptr;
    KqGraphicsSimpleTextItem* m_text = nullptr;
    bool m_iconBesideText = true;
    KqPointF m_pressedOffset{1.0, 1.0};
};

class KqCheckBox : public KqPushButton {
    KQ_DECLARE_CLASS(KqCheckBox)
public:
    explicit KqCheckBox(KqGraphicsItem* parentItem = nullptr);
    void setChecked(bool checked);
    bool isChecked() const { return m_checked != 0; }
    void setIcon(const KqString& url) override;
    void setText(const KqString& text) override;
    // Shows the icon of the background's state, checked or not.
    void updateIcon();
    static KqString iconUrl(bool checked, int stateIndex);

private:
    int32_t m_checked = 0;
};

class KqCheckBoxEventHandler : public KqWidgetEventHandler {
    KQ_DECLARE_CLASS(KqCheckBoxEventHandler)
public:
    explicit KqCheckBoxEventHandler(KqCheckBox* box = nullptr) : KqWidgetEventHandler(box), m_box(box) {}
    void mouseDown(KqMouseEvent* event) override;
    void mouseUp(KqMouseEvent* event) override;
    void hoverEnter(KqHoverEvent* event) override;
    void hoverLeave(KqHoverEvent* event) override;
    void focusIn(KqFocusEvent* event) override;
    void focusOut(KqFocusEvent* event) override;
    void mouseClicked(KqMouseEvent* event) override;

private:
    void refresh();
    KqCheckBox* m_box;
};
