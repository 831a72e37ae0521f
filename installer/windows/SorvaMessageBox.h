// The setup programs' prompt: an item covering its parent window (so the
// page beneath takes no clicks) with a 320 x 180 dialog in its middle. A
// pressed button hides the box, sends it a KqMessageBoxEvent whose result
// is the button's index (0, 1, or 2 for the title bar's close button) and
// deletes the box later. A click outside the dialog makes its shadow blink.
#pragma once

#include "KqWidgetItem.h"

class KqGraphicsMarginsPixmapItem;
class KqGraphicsPixmapItem;
class KqGraphicsRectItem;
class KqPushButton;
class KqRowPositioner;
class SetupTextBlock;

class SorvaMessageBox : public KqWidgetItem {
    KQ_DECLARE_CLASS(SorvaMessageBox)
public:
    static const int kDialogWidth = 320;
    static const int kDialogHeight = 180;

    explicit SorvaMessageBox(KqGraphicsItem* parent);

    void setTitleIcon(const KqString& pictureName);
    void setIcon(const KqString& pictureName);
    void setText(const KqString& text);
    KqString text() const;
    void setButtonText(int index, const KqString& text);
    KqPushButton* button(int index) const;
    void show();

    void onButtonClicked(KqGraphicsItem* button, KqEvent* event);
    void flash(KqGraphicsItem* item, KqEvent* event);

    bool setProperty(const KqString& name, const KqVariant& value) override;
    KqVariant property(const KqString& name) override;
    bool hasProperty(const KqString& name) override;
    void registerProperties() override;

    int flashValue() const { return m_flash; }
    void setFlashValue(int value);

    KqGraphicsMarginsPixmapItem* border() const { return m_border; }
    KqGraphicsItem* dialog() const { return m_dialog; }
    KqGraphicsItem* contentArea() const { return m_contentArea; }
    KqGraphicsItem* bottomBar() const { return m_bottomBar; }
    KqGraphicsPixmapItem* contentIcon() const { return m_contentIcon; }
    bool isFlashing() const { return animationCount() > 0; }

private:
    KqGraphicsMarginsPixmapItem* m_border;
    KqGraphicsItem* m_dialog;
    KqGraphicsItem* m_titleBar;
    KqGraphicsPixmapItem* m_titleIcon;
    KqGraphicsItem* m_contentArea;
    KqRowPositioner* m_contentRow;
    KqGraphicsPixmapItem* m_contentIcon;
    SetupTextBlock* m_text;
    KqGraphicsItem* m_bottomBar;
    KqPushButton* m_buttons[3];
    int32_t m_flash = 0;
};

// The installer's skin of a prompt: pictures of the icons and buttons.
void skinPrompt(SorvaMessageBox* box);
