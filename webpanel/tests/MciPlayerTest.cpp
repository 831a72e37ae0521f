// Sound preview through real MCI: a generated two-second MP3.
#include "BrowserWindow.h"
#include "MciAudioPlayer.h"
#include "PanelTestSupport.h"

namespace {

std::wstring songPath()
{
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring folder(exe);
    folder.resize(folder.rfind(L'\\'));
    return folder + L"\\panel_song.mp3";
}

TEST(MciAudioPlayerTest, PlaysAnMp3AndReportsItsLength)
{
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(songPath().c_str()));
    MciAudioPlayer player;
    unsigned length = player.play(songPath(), 500);
    EXPECT_NE(0u, player.deviceId());
    // Milliseconds for this device; the encoder may pad a frame.
    EXPECT_GE(length, 1950u);
    EXPECT_LE(length, 2150u);
    player.close();
    EXPECT_EQ(0u, player.deviceId());
    player.close();  // closing twice is harmless

    EXPECT_EQ(0u, player.play(L"C:\\no\\such\\song.mp3", 500));
    EXPECT_EQ(0u, player.deviceId());
}

class MciPanelTest : public PanelTest {};

TEST_F(MciPanelTest, StartPlayMp3AnswersThePageWithTheLength)
{
    BrowserWindow::Services services;
    services.createEngine = [this]() { return makeEngine(); };
    struct NoFrame : IBrowserWindowFrame {
        void setTitle(const KqString&) override {}
        void showWindow() override {}
        void closeWindow() override {}
        void setWebViewVisible(bool) override {}
        void setLoadingVisible(bool) override {}
        void setLoadingText(const KqString&) override {}
        void webViewChanged() override {}
    } frame;
    {
        BrowserWindow window(&frame, queue.get(), services);
        window.setupContent(KqString("http://depot/"));
        engineListener()->OnEngineCreated();
        drain();
        std::string path = toUtf8(fromWide(songPath()));
        std::string escaped;
        for (char c : path)
            escaped += (c == '\\') ? std::string("\\\\") : std::string(1, c);
        engineListener()->OnPageMessage(L"executeCmd", "[\"startPlayMp3\", \"" + escaped + "\"]");
        drain();
        std::vector<std::wstring> calls = journal->snapshot();
        ASSERT_EQ(L"Eval loadTotalLength(", calls.back().substr(0, 21));
        int length = _wtoi(calls.back().c_str() + 21);
        EXPECT_GE(length, 1950);
        EXPECT_LE(length, 2150);
        EXPECT_NE(0u, window.proxy()->player().deviceId());
        engineListener()->OnPageMessage(L"executeCmd", R"(["stopPlayMp3"])");
        drain();
        EXPECT_EQ(0u, window.proxy()->player().deviceId());
    }
    EXPECT_EQ(nullptr, BrowserProxy::existingInstance());
}

}  // namespace
