// A download service for the tests: objects that record their start and
// finish only when the test says so, from a thread of the test's choosing.
#pragma once

#include "KqUtilityDownload.h"

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class FakeDownloads {
public:
    struct Started {
        std::wstring url;
        std::wstring savePath;
        int third;
        KqUtility::http::IDownloadDataCallback* callback;
    };

    class Object : public KqUtility::http::IDownloadHttpData {
    public:
        explicit Object(FakeDownloads* owner) : m_owner(owner) {}
        void SetCallback(KqUtility::http::IDownloadDataCallback* callback) override { m_callback = callback; }
        bool Start(const wchar_t* url, const wchar_t* savePath, int third) override
        {
            std::lock_guard<std::mutex> hold(m_owner->m_lock);
            m_owner->m_started.push_back({url, savePath, third, m_callback});
            if (m_owner->m_startResult) {
                // The unfinished file, open as the service holds it until its transfer ends.
                HANDLE file = CreateFileW((std::wstring(savePath) + KqUtility::http::kPartFileSuffix).c_str(),
                                          GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
                if (file != INVALID_HANDLE_VALUE)
                    m_owner->m_partFiles.push_back(file);
            }
            return m_owner->m_startResult;
        }
        void Release() override
        {
            std::lock_guard<std::mutex> hold(m_owner->m_lock);
            ++m_owner->m_released;
            delete this;
        }

    private:
        FakeDownloads* m_owner;
        KqUtility::http::IDownloadDataCallback* m_callback = nullptr;
    };

    ~FakeDownloads() { closeFiles(); }

    KqUtility::http::IDownloadHttpData* create() { return new Object(this); }

    // The transfers' ends (or the process's): the unfinished files are closed.
    void closeFiles()
    {
        std::lock_guard<std::mutex> hold(m_lock);
        for (HANDLE file : m_partFiles)
            CloseHandle(file);
        m_partFiles.clear();
    }

    // Reports the end of download i as the service would.
    void finish(size_t i, bool ok)
    {
        Started s = started(i);
        s.callback->OnDownload2FileAsyn(s.url.c_str(), s.savePath.c_str(), s.third, ok);
    }
    Started started(size_t i)
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_started.at(i);
    }
    size_t startedCount()
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_started.size();
    }
    int released()
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_released;
    }
    void setStartResult(bool result) { m_startResult = result; }

private:
    std::mutex m_lock;
    std::vector<Started> m_started;
    int m_released = 0;
    std::vector<HANDLE> m_partFiles;
    bool m_startResult = true;
};
