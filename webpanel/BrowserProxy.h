// The services behind the page's commands: sound preview, downloads into
// the music folder, links opened by the desktop. One per process.
#pragma once

#include "KqSignal.h"
#include "KqString.h"
#include "KqUtilityDownload.h"
#include "MciAudioPlayer.h"
#include "UiThreadQueue.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct DownloadRecord {
    int32_t duration = 0;
    KqString url;
    KqString md5;
    KqString name;
};

class BrowserProxy : public KqTrackable, public KqUtility::http::IDownloadDataCallback {
public:
    typedef std::function<KqUtility::http::IDownloadHttpData*()> DownloadFactory;
    typedef std::function<void(const std::wstring& url)> UrlOpener;

    // Made on first use on the UI thread whose queue is given; the download
    // factory and URL opener of the first call stay.
    static BrowserProxy* instance(UiThreadQueue* queue, DownloadFactory downloads = DownloadFactory(),
                                  UrlOpener opener = UrlOpener());
    static BrowserProxy* existingInstance();
    static void deleteInstance();

    void startPlayMp3(const KqString& path);
    void stopPlayMp3();
    bool startDownload(const KqString& url, const KqString& md5, const KqString& name, int32_t duration);
    bool checkFileIsExist(const KqString& name);
    // Only web addresses (http and https) are opened; anything else could
    // start a program or open a local file.
    void openUrl(const KqString& url);
    static KqString musicFolder();

    KqSignalOf<int> sig_fileDurationReturn;
    KqSignalOf<const KqString&, const KqString&, const KqString&, int32_t> sig_downloadSuccessAndNotify;

    bool isDownloading(const KqString& url) const { return m_downloads.count(url) != 0; }
    size_t downloadCount() const { return m_downloads.size(); }
    const MciAudioPlayer& player() const { return m_player; }

    // Download service's callback, on its thread: the result goes to the UI
    // thread before the download list is touched.
    void OnDownload2FileAsyn(const wchar_t* url, const wchar_t* savePath, int third, bool ok) override;
    void OnDownload2MemoryAsyn(const wchar_t*, const uint8_t*, uint32_t, bool) override {}

private:
    BrowserProxy(UiThreadQueue* queue, DownloadFactory downloads, UrlOpener opener);
    ~BrowserProxy() override;
    void finishDownload(const std::wstring& url, const std::wstring& savePath, bool ok);

    struct ObjectRelease {
        void operator()(KqUtility::http::IDownloadHttpData* object) const { if (object) object->Release(); }
    };
    typedef std::unique_ptr<KqUtility::http::IDownloadHttpData, ObjectRelease> DownloadObject;

    UiThreadQueue* m_queue;
    DownloadFactory m_createDownload;
    UrlOpener m_openUrl;
    MciAudioPlayer m_player;
    std::map<KqString, DownloadRecord> m_downloads;
    struct Running {
        DownloadObject object;
        std::wstring savePath;
    };
    // Each running download's object, released once its end was handled.
    std::map<std::wstring, Running> m_objects;
    // Tasks queued by the service's thread check this before using the proxy.
    std::shared_ptr<bool> m_alive;
};
