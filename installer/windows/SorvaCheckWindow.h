// The window shown while the environment check runs: a message, or the list
// of programs holding the camera filter with retry and help buttons.
#pragma once

#include "KqFrameWindow.h"

#include <string>

class KqPushButton;
class SetupTextBlock;
class SorvaSetupCommands;
class SorvaSetupUI;

class SorvaCheckWindow : public KqFrameWindow {
    KQ_DECLARE_CLASS(SorvaCheckWindow)
public:
    static const int kWidth = 372;
    static const int kHeight = 186;

    SorvaCheckWindow(SorvaSetupUI* ui, SorvaSetupCommands* control);

    SetupTextBlock* messageText() const { return m_message; }
    SetupTextBlock* listText() const { return m_list; }
    KqPushButton* firstButton() const { return m_first; }
    KqPushButton* retryButton() const { return m_retry; }
    KqPushButton* helpButton() const { return m_help; }
    KqPushButton* closeButton() const { return m_close; }

    // The help page's address (the maker's forum).
    static std::wstring helpPageUrl();

private:
    void onWindowMessage(KqGraphicsItem* item, KqEvent* event);
    void onClose(KqGraphicsItem* item, KqEvent* event);
    void onRetry(KqGraphicsItem* item, KqEvent* event);
    void onHelp(KqGraphicsItem* item, KqEvent* event);
    void showUsingPrograms();

    SorvaSetupUI* m_ui;
    SorvaSetupCommands* m_control;
    SetupTextBlock* m_message;
    SetupTextBlock* m_list;
    KqPushButton* m_first;
    KqPushButton* m_retry;
    KqPushButton* m_help;
    KqPushButton* m_close;
};
