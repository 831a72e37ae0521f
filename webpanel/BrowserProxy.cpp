#include "BrowserProxy.h"

#include "DownloadName.h"
#include "LogLine.h"
#include "PanelSettings.h"
#include "PanelText.h"

#include <shellapi.h>
#include <shlobj.h>
#include <windows.h>

namespace {

BrowserProxy* g_instance = nullptr;

const char kModule[] = "Browser";
const char kSourceFile[] = ".\\browserproxy.cpp";

void logRecord(unsigned short line, const char* function, const std::wstring& text)
{
    CLogLine(kModule, 1, kSourceFile, line, function).AppendWide(text.c_str());
}

void openWithDesktop(const std::wstring& url)
{
    ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace

BrowserProxy* BrowserProxy::instance(UiThreadQueue* queue, DownloadFactory downloads, UrlOpener opener)
{
    if (!g_instance)
        g_instance = new BrowserProxy(queue, std::move(downloads), std::move(opener));
    return g_instance;
}

BrowserProxy* BrowserProxy::existingInstance() { return g_instance; }

void BrowserProxy::deleteInstance()
{
    delete g_instance;
    g_instance = nullptr;
}

BrowserProxy::BrowserProxy(UiThreadQueue* queue, DownloadFactory downloads, UrlOpener opener)
    : m_queue(queue), m_createDownload(std::move(downloads)), m_openUrl(std::move(opener)),
      m_alive(std::make_shared<bool>(true))
{
    if (!m_openUrl)
        m_openUrl = &openWithDesktop;
}

BrowserProxy::~BrowserProxy()
{
    *m_alive = false;
    std::vector<std::wstring> unfinished;
    for (auto& running : m_objects) {
        running.second.object.reset();  // Release stops the reports of its download
        unfinished.push_back(running.second.savePath + KqUtility::http::kPartFileSuffix);
    }
    m_objects.clear();
    // A transfer still waiting for its server when the process ends would
    // leave its empty file in the music folder. Only our own unfinished
    // files go: never a folder or a link standing in their place.
    for (const std::wstring& part : unfinished) {
        DWORD attributes = GetFileAttributesW(part.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES &&
            !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            DeleteFileW(part.c_str());
    }
    m_player.close();
}

void BrowserProxy::startPlayMp3(const KqString& path)
{
    m_player.close();
    int volume = static_cast<int>(PanelSettings::configNumber(L"CurrentAuraeVolumn", 1.0) * 500.0);
    unsigned length = m_player.play(toWide(path), volume);
    sig_fileDurationReturn.emit(static_cast<int>(length));
}

void BrowserProxy::stopPlayMp3()
{
    m_player.close();
}

bool BrowserProxy::startDownload(const KqString& url, const KqString& md5, const KqString& name, int32_t duration)
{
    std::wstring wideUrl = toWide(url);
    if (!IsSafeDownloadName(toWide(name))) {
        logRecord(__LINE__, "BrowserProxy::startDownload", L"refused file name \"" + toWide(name) + L"\" of url:" + wideUrl);
        return false;
    }
    if (m_downloads.count(url)) {
        logRecord(197, "BrowserProxy::startDownload", wideUrl + L" is in ths download list");
        return false;
    }
    DownloadRecord record;
    record.duration = duration;
    record.url = url;
    record.md5 = md5;
    record.name = name;

    KqString folder = musicFolder();
    DownloadObject object(m_createDownload ? m_createDownload() : nullptr);
    if (folder.isEmpty() || !object) {
        logRecord(__LINE__, "BrowserProxy::startDownload", L"no download service for url:" + wideUrl);
        return false;
    }
    std::wstring savePath = toWide(folder) + L"\\" + toWide(name) + DownloadExtension(wideUrl);
    m_downloads[url] = record;
    object->SetCallback(this);
    if (!object->Start(wideUrl.c_str(), savePath.c_str(), 0)) {
        m_downloads.erase(url);
        logRecord(__LINE__, "BrowserProxy::startDownload", L"could not start download of url:" + wideUrl);
        return false;
    }
    Running& running = m_objects[wideUrl];
    running.object = std::move(object);
    running.savePath = savePath;
    logRecord(207, "BrowserProxy::startDownload", L"start download file:" + toWide(name) + L", url:" + wideUrl);
    return true;
}

bool BrowserProxy::checkFileIsExist(const KqString& name)
{
    std::wstring path = toWide(musicFolder()) + L"\\" + toWide(name);
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES;
}

void BrowserProxy::openUrl(const KqString& url)
{
    std::wstring wide = toWide(url);
    std::wstring scheme = toWide(asciiLower(url.prefix(8)));
    if (scheme.compare(0, 7, L"http://") != 0 && scheme.compare(0, 8, L"https://") != 0) {
        logRecord(__LINE__, "BrowserProxy::openUrl", L"refused to open " + wide);
        return;
    }
    m_openUrl(wide);
}

KqString BrowserProxy::musicFolder()
{
    KqString app = PanelSettings::appFolder();
    if (app.isEmpty())
        return KqString();
    std::wstring folder = toWide(PanelSettings::pathJoin(app, KqString("aurae\\music")));
    for (wchar_t& c : folder)
        if (c == L'/')
            c = L'\\';
    int rc = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    if (rc != ERROR_SUCCESS && rc != ERROR_ALREADY_EXISTS && rc != ERROR_FILE_EXISTS)
        return KqString();
    return fromWide(folder);
}

void BrowserProxy::OnDownload2FileAsyn(const wchar_t* url, const wchar_t* savePath, int, bool ok)
{
    std::wstring wideUrl = url ? url : L"";
    std::wstring widePath = savePath ? savePath : L"";
    std::shared_ptr<bool> alive = m_alive;
    m_queue->post([this, alive, wideUrl, widePath, ok]() {
        if (*alive)
            finishDownload(wideUrl, widePath, ok);
    });
}

void BrowserProxy::finishDownload(const std::wstring& url, const std::wstring& savePath, bool ok)
{
    KqString key = fromWide(url);
    m_objects.erase(url);
    if (!ok) {
        logRecord(237, "BrowserProxy::OnDownload2FileAsyn",
                  L"Warning!Download file:" + url + L", savapath:" + savePath + L" failed!");
        // Forgotten, so the page can try again.
        m_downloads.erase(key);
        return;
    }
    auto it = m_downloads.find(key);
    if (it == m_downloads.end())
        return;
    DownloadRecord record = it->second;
    m_downloads.erase(it);
    sig_downloadSuccessAndNotify.emit(fromWide(savePath), record.md5, record.name, record.duration);
}
