// The confirmation window: asks whether to uninstall (state 0) or, while
// the product runs, tells the user to close it and retry (state 1). OK hides
// the window and asks the controller to check; cancel closes it.
#pragma once

#include "KqFrameWindow.h"
#include "UninstallInterfaces.h"

class KqGraphicsMarginsPixmapItem;
class KqGraphicsSimpleTextItem;
class KqPushButton;

class SorvaPromptWindow : public KqFrameWindow {
    KQ_DECLARE_CLASS(SorvaPromptWindow)
public:
    enum State { Question = 0, Retry = 1 };

    SorvaPromptWindow();
    void setControl(SorvaUninstallCommand* control) { m_control = control; }
    SorvaUninstallCommand* control() const { return m_control; }
    int state() const { return m_state; }
    // Values other than the two states change nothing.
    void setState(int state);

    KqGraphicsMarginsPixmapItem* questionGroup() const { return m_question; }
    KqGraphicsMarginsPixmapItem* warningGroup() const { return m_warning; }
    KqGraphicsSimpleTextItem* warningText() const { return m_warningText; }
    KqPushButton* okButton() const { return m_ok; }
    KqPushButton* cancelButton() const { return m_cancel; }
    KqPushButton* closeButton() const { return m_close; }

private:
    void onWindowMessage(KqGraphicsItem* item, KqEvent* event);
    void onResized(KqGraphicsItem* item, KqEvent* event);
    void onOk(KqGraphicsItem* item, KqEvent* event);
    void onClose(KqGraphicsItem* item, KqEvent* event);
    void onMinimize(KqGraphicsItem* item, KqEvent* event);

    SorvaUninstallCommand* m_control = nullptr;
    int32_t m_state = Question;
    KqGraphicsMarginsPixmapItem* m_question;
    KqGraphicsMarginsPixmapItem* m_warning;
    KqGraphicsSimpleTextItem* m_warningText;
    KqPushButton* m_ok;
    KqPushButton* m_cancel;
    KqPushButton* m_close;
};
