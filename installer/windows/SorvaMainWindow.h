// The setup wizard: the options page (licence and choices), the install
// page (progress) and the finish page, driven by the Next button and by the
// bridge's posted messages.
#pragma once

#include "KqFrameWindow.h"

#include <string>

class KqCheckBox;
class KqGraphicsPixmapItem;
class KqGraphicsSimpleTextItem;
class KqProgressBar;
class KqPushButton;
class KqScrollArea;
class SetupTextBlock;
class SorvaMessageBox;
class SorvaSetupCommands;

class SorvaMainWindow : public KqFrameWindow {
    KQ_DECLARE_CLASS(SorvaMainWindow)
public:
    enum Page { OptionsPage = 0, InstallPage = 1, FinishPage = 3 };
    static const int kWidth = 510;
    static const int kHeight = 360;

    SorvaMainWindow(const std::wstring& installPath, SorvaSetupCommands* control);

    void onNextClicked();
    void _showPrompt(int type);
    void _showMessage(int type, const KqString& text);

    int page() const { return m_page; }
    const std::wstring& installPath() const { return m_installPath; }
    bool componentFailed() const { return m_componentFailed; }
    KqPushButton* nextButton() const { return m_next; }
    KqPushButton* closeButton() const { return m_close; }
    KqPushButton* minimizeButton() const { return m_minimize; }
    KqCheckBox* agreeBox() const { return m_agree; }
    KqCheckBox* decoderBox() const { return m_decoder; }
    KqCheckBox* runNowBox() const { return m_runNow; }
    KqProgressBar* progressBar() const { return m_bar; }
    KqGraphicsSimpleTextItem* progressText() const { return m_progressText; }
    KqGraphicsItem* pageItem(int page) const;
    SetupTextBlock* licenceText() const { return m_licence; }
    KqGraphicsPixmapItem* stepMarker() const { return m_marker; }
    KqGraphicsSimpleTextItem* stepLabel(int index) const { return m_steps[index]; }
    // The prompt on show, or null.
    SorvaMessageBox* prompt() const;

private:
    void buildTitle();
    void buildOptionsPage();
    void buildInstallPage();
    void buildFinishPage();
    void moveMarkerTo(int step);
    void onWindowMessage(KqGraphicsItem* item, KqEvent* event);
    void onSysCommand(KqGraphicsItem* item, KqEvent* event);
    void onResize(KqGraphicsItem* item, KqEvent* event);
    void onNext(KqGraphicsItem* item, KqEvent* event);
    void onCloseClicked(KqGraphicsItem* item, KqEvent* event);
    void onMinimize(KqGraphicsItem* item, KqEvent* event);
    void onAgreeChanged(KqGraphicsItem* item, KqEvent* event);
    void onPromptAnswered(KqGraphicsItem* item, KqEvent* event);
    void onMessageAnswered(KqGraphicsItem* item, KqEvent* event);
    void askToQuit();
    void finish();
    SorvaMessageBox* newBox();

    std::wstring m_installPath;
    SorvaSetupCommands* m_control;
    int32_t m_page = OptionsPage;
    bool m_componentFailed = false;
    KqGraphicsItem* m_pages[3] = {};
    KqPushButton* m_next = nullptr;
    KqPushButton* m_close = nullptr;
    KqPushButton* m_minimize = nullptr;
    KqCheckBox* m_agree = nullptr;
    KqCheckBox* m_decoder = nullptr;
    KqCheckBox* m_runNow = nullptr;
    KqProgressBar* m_bar = nullptr;
    KqGraphicsSimpleTextItem* m_progressText = nullptr;
    SetupTextBlock* m_licence = nullptr;
    KqScrollArea* m_licenceArea = nullptr;
    KqGraphicsPixmapItem* m_marker = nullptr;
    KqGraphicsSimpleTextItem* m_steps[3] = {};
    KqWeakPointer m_prompt;
};
