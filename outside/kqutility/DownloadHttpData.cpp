// Stand-in for the outside download service kqutility: each download object
// fetches its URL with the setup library's HTTP client on a thread of its
// own, writes the body beside the target ("<target>.part") and renames it
// into place only when the whole body arrived, then reports on that thread.
#include "KqUtilityDownload.h"

#include "WinInetHttpBase.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

namespace {

class DownloadHttpData final : public KqUtility::http::IDownloadHttpData, private IWinInetHttpListener {
public:
    void SetCallback(KqUtility::http::IDownloadDataCallback* callback) override
    {
        std::lock_guard<std::recursive_mutex> hold(m_lock);
        m_callback = callback;
    }

    bool Start(const wchar_t* url, const wchar_t* savePath, int third) override
    {
        if (!url || !savePath || !*url || !*savePath || m_started)
            return false;
        m_url = url;
        m_savePath = savePath;
        m_partPath = m_savePath + KqUtility::http::kPartFileSuffix;
        m_third = third;
        // Deletable while written: an owner that lets go of a download that
        // never ends removes the unfinished file.
        m_file = CreateFileW(m_partPath.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (m_file == INVALID_HANDLE_VALUE)
            return false;
        ++m_refs;  // the thread's
        HANDLE thread = CreateThread(nullptr, 0, &DownloadHttpData::threadMain, this, 0, nullptr);
        if (!thread) {
            --m_refs;
            CloseHandle(m_file);
            m_file = INVALID_HANDLE_VALUE;
            DeleteFileW(m_partPath.c_str());
            return false;
        }
        CloseHandle(thread);
        m_started = true;
        return true;
    }

    void Release() override
    {
        {
            // Waits for a report in progress; none follows.
            std::lock_guard<std::recursive_mutex> hold(m_lock);
            m_callback = nullptr;
            m_released = true;
        }
        drop();
    }

private:
    static DWORD WINAPI threadMain(void* self)
    {
        static_cast<DownloadHttpData*>(self)->run();
        static_cast<DownloadHttpData*>(self)->drop();
        return 0;
    }

    void run()
    {
        bool ok = false;
        {
            CWinInetHttpPtr http(new CWinInetHttpBase());
            http->SetListener(this);
            http->SetUseCache(false);
            ok = http->Open() && http->Request(m_url.c_str(), nullptr, nullptr, 0, false) && m_headerSeen &&
                 !m_writeFailed;
        }
        CloseHandle(m_file);
        m_file = INVALID_HANDLE_VALUE;
        if (ok)
            ok = MoveFileExW(m_partPath.c_str(), m_savePath.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
        if (!ok)
            DeleteFileW(m_partPath.c_str());

        std::lock_guard<std::recursive_mutex> hold(m_lock);
        if (m_callback)
            m_callback->OnDownload2FileAsyn(m_url.c_str(), m_savePath.c_str(), m_third, ok);
    }

    void drop()
    {
        if (--m_refs == 0)
            delete this;
    }

    bool released()
    {
        std::lock_guard<std::recursive_mutex> hold(m_lock);
        return m_released;
    }

    bool OnResponseHeader(uint32_t, uint32_t, const char*, void*) override
    {
        m_headerSeen = true;
        return !released();
    }

    bool OnResponseData(const uint8_t* bytes, uint32_t count, void*) override
    {
        DWORD written = 0;
        if (!WriteFile(m_file, bytes, count, &written, nullptr) || written != count) {
            m_writeFailed = true;
            return false;
        }
        return !released();  // an owner that let go stops the transfer
    }

    void OnRequestComplete(bool, const wchar_t*, void*) override {}

    std::recursive_mutex m_lock;
    KqUtility::http::IDownloadDataCallback* m_callback = nullptr;
    bool m_released = false;
    std::atomic<int> m_refs{1};  // the owner's
    bool m_started = false;
    std::wstring m_url;
    std::wstring m_savePath;
    std::wstring m_partPath;
    int m_third = 0;
    HANDLE m_file = INVALID_HANDLE_VALUE;
    bool m_headerSeen = false;
    bool m_writeFailed = false;
};

}  // namespace

extern "C" __declspec(dllexport) KqUtility::http::IDownloadHttpData* __cdecl CreateDownloadHttpData()
{
    return new DownloadHttpData();
}
