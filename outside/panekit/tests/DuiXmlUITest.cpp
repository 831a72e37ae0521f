// The layout loader: windows and items by registered class name, placed and
// named by their attributes; unknown classes, malformed or missing files
// build nothing.
#include "DuiXmlUI.h"
#include "KqApplication.h"
#include "KqLabel.h"
#include "KqPushButton.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <string>

namespace {

KqApplication* g_app;
struct AppEnvironment : testing::Environment {
    void SetUp() override { g_app = new KqApplication; }
    void TearDown() override { delete g_app; }
};
testing::Environment* const g_env = testing::AddGlobalTestEnvironment(new AppEnvironment);

int g_setupRuns = 0;
class TestWindow : public DuiFrameWindow {
public:
    explicit TestWindow(KqObject* parent) : DuiFrameWindow(parent) {}
    void setupContent() override
    {
        ++g_setupRuns;
        itemsAtSetup = DuiXmlUI::findChild(this, KqString(u"caption")) != nullptr;
    }
    bool itemsAtSetup = false;
};
DuiFrameWindow* makeTestWindow(KqObject* parent) { return new TestWindow(parent); }

std::wstring writeLayout(const char* name, const std::string& text)
{
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    std::wstring path = std::wstring(base) + L"panekit_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                        std::wstring(name, name + strlen(name));
    std::ofstream(path.c_str(), std::ios::binary) << text;
    return path;
}

KqString kq(const std::wstring& s) { return KqString(reinterpret_cast<const KqChar*>(s.c_str()), int(s.size())); }

TEST(DuiXmlUITest, BuildsTheRegisteredWindowWithItsItemsThenRunsItsSetup)
{
    DuiXmlUI::registerFrameWindow(KqString(u"TestWindow"), &makeTestWindow);
    std::wstring path = writeLayout("window.xml", R"(<?xml version="1.0" encoding="utf-8"?>
<window class="TestWindow" width="300" height="200" title="Layout">
  <item class="KqLabel" name="caption" x="8" y="4" width="120" height="20" text="Hello"/>
  <item class="KqGraphicsItem" name="box" x="10" y="40" width="100" height="50">
    <item class="KqPushButton" name="close" x="5" y="6" width="30" height="20" text="X"/>
  </item>
</window>)");
    g_setupRuns = 0;
    DuiFrameWindow* window = DuiXmlUI::createFromFile(kq(path));
    ASSERT_NE(nullptr, window);
    TestWindow* typed = static_cast<TestWindow*>(window);
    EXPECT_EQ(1, g_setupRuns);
    EXPECT_TRUE(typed->itemsAtSetup) << "setup runs after the items exist";
    EXPECT_EQ(300, window->geometry().right - window->geometry().left + 1);
    EXPECT_EQ(KqString(u"Layout"), window->windowTitle());

    KqLabel* caption = kq_cast<KqLabel>(DuiXmlUI::findChild(window, KqString(u"caption")));
    ASSERT_NE(nullptr, caption);
    EXPECT_EQ(KqString(u"Hello"), caption->text());
    EXPECT_EQ(8, caption->geometry().x);
    EXPECT_EQ(120, caption->width());
    KqGraphicsItem* box = DuiXmlUI::findChild(window, KqString(u"box"));
    KqPushButton* close = kq_cast<KqPushButton>(DuiXmlUI::findChild(window, KqString(u"close")));
    ASSERT_NE(nullptr, close);
    EXPECT_EQ(box, close->parentItem());
    EXPECT_EQ(6, close->geometry().y);
    delete window;
    DeleteFileW(path.c_str());
}

TEST(DuiXmlUITest, WidgetFilesFillAGivenParent)
{
    std::wstring path = writeLayout("widget.xml", R"(<widget><item class="KqLabel" name="status" text="Wait"/></widget>)");
    KqGraphicsItem parent;
    ASSERT_TRUE(DuiXmlUI::createFromFile(kq(path), &parent));
    KqLabel* status = kq_cast<KqLabel>(DuiXmlUI::findChild(&parent, KqString(u"status")));
    ASSERT_NE(nullptr, status);
    EXPECT_EQ(KqString(u"Wait"), status->text());
    EXPECT_EQ(nullptr, DuiXmlUI::createFromFile(kq(path))) << "not a window file";
    DeleteFileW(path.c_str());
}

TEST(DuiXmlUITest, UnknownClassesMalformedAndMissingFilesBuildNothing)
{
    DuiXmlUI::registerFrameWindow(KqString(u"TestWindow"), &makeTestWindow);
    struct Case {
        const char* name;
        const char* text;
    } cases[] = {
        {"unknown_window.xml", R"(<window class="NoSuchWindow"/>)"},
        {"unknown_item.xml", R"(<window class="TestWindow"><item class="KqLabel"/><item class="NoSuchItem"/></window>)"},
        {"not_item.xml", R"(<window class="TestWindow"><thing/></window>)"},
        {"unended.xml", R"(<window class="TestWindow"><item class="KqLabel">)"},
        {"two_roots.xml", R"(<window class="TestWindow"/><window class="TestWindow"/>)"},
        {"empty.xml", ""},
    };
    for (const Case& c : cases) {
        std::wstring path = writeLayout(c.name, c.text);
        g_setupRuns = 0;
        EXPECT_EQ(nullptr, DuiXmlUI::createFromFile(kq(path))) << c.name;
        EXPECT_EQ(0, g_setupRuns) << c.name;
        KqGraphicsItem parent;
        EXPECT_FALSE(DuiXmlUI::createFromFile(kq(path), &parent)) << c.name;
        EXPECT_EQ(0, parent.children().count()) << c.name << ": a refused file adds no item";
        DeleteFileW(path.c_str());
    }
    EXPECT_EQ(nullptr, DuiXmlUI::createFromFile(KqString(u"layout/no_such_file.xml")));
}

TEST(DuiXmlUITest, RelativePathsAreTakenFromTheModulesFolder)
{
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring folder(exe);
    folder.resize(folder.find_last_of(L'\\') + 1);
    EXPECT_EQ(folder + L"layout\\x.xml", DuiXmlUI::resolvePath(KqString(u"layout/x.xml")));
    EXPECT_EQ(std::wstring(L"C:\\a\\b.xml"), DuiXmlUI::resolvePath(KqString(u"C:/a/b.xml")));
}

} // namespace
