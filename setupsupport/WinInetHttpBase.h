// The setup programs' blocking HTTP client over WinInet: one request at a
// time, GET or POST, with an optional listener that sees the response
// header, the body in chunks and the completion.
//
// Both tables are laid out as a host's compiler lays them out: the operations
// in their fixed order, and where the object has a virtual destructor, one
// deleting-destructor slot first.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <memory>
#include <string>

// Receiver of a request's progress; every call gets the object's user data.
class IWinInetHttpListener {
public:
    // Once after a 200 or 206 status; headerText holds at most 254
    // characters. False ends the request as failed.
    virtual bool OnResponseHeader(uint32_t contentLength, uint32_t status, const char* headerText,
                                  void* userData) = 0;
    // For every chunk read. False ends the request as failed.
    virtual bool OnResponseData(const uint8_t* bytes, uint32_t count, void* userData) = 0;
    // At the end of every request.
    virtual void OnRequestComplete(bool result, const wchar_t* url, void* userData) = 0;

protected:
    ~IWinInetHttpListener() {}
};
constexpr int kWinInetHttpListenerSlots = 3;

class CWinInetHttpBase final {
public:
    // Request flags switched by SetUseCache(false) and by SetHttps(true).
    static constexpr uint32_t kNoCacheFlags = 0x84000000;
    static constexpr uint32_t kSecureFlags = 0x80CC8200;
    static constexpr uint32_t kDefaultTimeoutMs = 300000;
    static constexpr int kMaxRedirects = 10;

    CWinInetHttpBase();
    CWinInetHttpBase(const CWinInetHttpBase&) = delete;
    CWinInetHttpBase& operator=(const CWinInetHttpBase&) = delete;

    // Slot 0: flags bit 0 frees the object, else it is only destroyed.
    virtual void DeletingDestructor(unsigned flags);
    virtual void SetListener(IWinInetHttpListener* listener);
    virtual void SetUseCache(bool use);
    virtual void SetUserData(void* userData);
    virtual bool Open();
    virtual void Close();
    // headers and body may be null; a body or forcePost makes a POST.
    virtual bool Request(const wchar_t* url, const wchar_t* headers, const void* body, uint32_t bodyLength,
                         bool forcePost);
    virtual void SetHttps(bool on);
    virtual void SetTimeout(uint32_t milliseconds);

    // Frees an object made with new (what slot 0 does with flag 1).
    static void Destroy(CWinInetHttpBase* object) { if (object) object->DeletingDestructor(1); }

    uint32_t requestFlags() const { return m_requestFlags; }
    uint32_t timeout() const { return m_timeout; }
    bool isSecure() const { return m_secure != 0; }

protected:
    ~CWinInetHttpBase();

    bool SendRequest(const wchar_t* url, const wchar_t* headers, const void* body, uint32_t bodyLength,
                     bool forcePost);
    bool RecvResponse();

private:
    void closeRequest();
    void applyTimeout(HINTERNET handle);
    // The status of a redirect answer and its absolute target; 0 otherwise.
    int redirectTarget(const std::wstring& current, std::wstring& next);

    HINTERNET m_session = nullptr;
    HINTERNET m_connection = nullptr;
    HINTERNET m_request = nullptr;
    void* m_userData = nullptr;
    IWinInetHttpListener* m_listener = nullptr;
    uint32_t m_requestFlags = 0;
    uint8_t m_secure = 0;
    uint32_t m_timeout = kDefaultTimeoutMs;
    bool m_useCache = true;
};
constexpr int kWinInetHttpBaseSlots = 9;

// Whether a redirect from one address to the next may be followed: only to
// an http or https address, and never from a secure request (secure set, or
// an https address) to a plain one.
bool isRedirectAllowed(const std::wstring& from, const std::wstring& to, bool secure);

// Owner of an object made with new: frees it through slot 0.
struct CWinInetHttpBaseDeleter {
    void operator()(CWinInetHttpBase* object) const { CWinInetHttpBase::Destroy(object); }
};
using CWinInetHttpPtr = std::unique_ptr<CWinInetHttpBase, CWinInetHttpBaseDeleter>;
