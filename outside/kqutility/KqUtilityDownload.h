// The outside download service kqutility as its callers see it: a download
// object fetches one URL into a file on a thread of its own and reports the
// end through its callback, on that thread.
//
// Both tables cross the library boundary: their slots are fixed in this order.
#pragma once

#include <cstdint>

namespace KqUtility {
namespace http {

class IDownloadDataCallback {
public:
    // A download into a file ended; third is the value given to Start.
    virtual void OnDownload2FileAsyn(const wchar_t* url, const wchar_t* savePath, int third, bool ok) = 0;
    // A download into memory ended (the panel starts none).
    virtual void OnDownload2MemoryAsyn(const wchar_t* url, const uint8_t* data, uint32_t size, bool ok) = 0;

protected:
    ~IDownloadDataCallback() {}
};
constexpr int kDownloadDataCallbackSlots = 2;

class IDownloadHttpData {
public:
    virtual void SetCallback(IDownloadDataCallback* callback) = 0;
    // Starts fetching url into savePath (written first into savePath +
    // kPartFileSuffix, renamed into place when complete; its owner may
    // delete that file while the download runs). False when it cannot start; the
    // callback then hears nothing.
    virtual bool Start(const wchar_t* url, const wchar_t* savePath, int third) = 0;
    // The owner is done with the object: the callback is not called after
    // this returns, and the object goes once its download has ended.
    virtual void Release() = 0;

protected:
    ~IDownloadHttpData() {}
};
constexpr int kDownloadHttpDataSlots = 3;
constexpr wchar_t kPartFileSuffix[] = L".part";

}  // namespace http
}  // namespace KqUtility

extern "C" KqUtility::http::IDownloadHttpData* __cdecl CreateDownloadHttpData();
typedef KqUtility::http::IDownloadHttpData* (__cdecl* CreateDownloadHttpDataFn)();
