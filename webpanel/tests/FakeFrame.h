// The panel's window as the tests see it: a journal of what the logic asked.
#pragma once

#include "BrowserWindowFrame.h"
#include "PanelText.h"

#include <string>
#include <vector>

class FakeFrame : public IBrowserWindowFrame {
public:
    explicit FakeFrame(std::vector<std::wstring>* journal) : m_journal(journal) {}
    ~FakeFrame() override { m_journal->push_back(L"frame deleted"); }
    void setTitle(const KqString& title) override { m_journal->push_back(L"title " + toWide(title)); }
    void showWindow() override { m_journal->push_back(L"show"); }
    void closeWindow() override { m_journal->push_back(L"close"); }
    void setWebViewVisible(bool visible) override { m_journal->push_back(visible ? L"view shown" : L"view hidden"); }
    void setLoadingVisible(bool visible) override { m_journal->push_back(visible ? L"loading shown" : L"loading hidden"); }
    void setLoadingText(const KqString& text) override { m_journal->push_back(L"loading text " + toWide(text)); }
    void webViewChanged() override {}

private:
    std::vector<std::wstring>* m_journal;
};
