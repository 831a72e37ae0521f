#include "WinInetHttpBase.h"

#include "SetupLog.h"
#include "WinInetApi.h"

#include <string>
#include <vector>

namespace {

constexpr DWORD kBodyPiece = 1024;
constexpr size_t kHeaderTextBytes = 255;

// Chunk size by announced length.
DWORD chunkSizeFor(uint32_t contentLength)
{
    if (contentLength <= 8192)
        return 1024;
    if (contentLength <= 65536)
        return 8192;
    return 16384;
}

// A header as text into a 255-byte buffer, cut (never overrun) when longer.
void queryHeaderText(HINTERNET request, DWORD info, char (&out)[kHeaderTextBytes])
{
    out[0] = 0;
    DWORD size = sizeof out;
    if (WinInet().HttpQueryInfoA(request, info, out, &size, nullptr)) {
        out[sizeof out - 1] = 0;
        return;
    }
    out[0] = 0;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0 || size > (16u << 20))
        return;
    std::vector<char> whole(size + 1, 0);
    DWORD wholeSize = size;
    if (!WinInet().HttpQueryInfoA(request, info, whole.data(), &wholeSize, nullptr))
        return;
    size_t length = strnlen(whole.data(), whole.size());
    if (length > sizeof out - 1)
        length = sizeof out - 1;
    memcpy(out, whole.data(), length);
    out[length] = 0;
}

bool hasScheme(const std::wstring& url, const wchar_t* scheme)
{
    const size_t length = wcslen(scheme);
    return url.size() >= length && _wcsnicmp(url.c_str(), scheme, length) == 0;
}

} // namespace

bool isRedirectAllowed(const std::wstring& from, const std::wstring& to, bool secure)
{
    const bool toSecure = hasScheme(to, L"https://");
    if (!toSecure && !hasScheme(to, L"http://"))
        return false;
    return toSecure || !(secure || hasScheme(from, L"https://"));
}

CWinInetHttpBase::CWinInetHttpBase() = default;

CWinInetHttpBase::~CWinInetHttpBase()
{
    Close();
}

void CWinInetHttpBase::DeletingDestructor(unsigned flags)
{
    if (flags & 1)
        delete this;
    else
        this->~CWinInetHttpBase();
}

void CWinInetHttpBase::SetListener(IWinInetHttpListener* listener)
{
    m_listener = listener;
}

void CWinInetHttpBase::SetUseCache(bool use)
{
    m_useCache = use;
    if (use)
        m_requestFlags &= ~kNoCacheFlags;
    else
        m_requestFlags |= kNoCacheFlags;
}

void CWinInetHttpBase::SetUserData(void* userData)
{
    m_userData = userData;
}

void CWinInetHttpBase::SetHttps(bool on)
{
    m_secure = on ? 1 : 0;
    if (on) {
        m_requestFlags |= kSecureFlags;
    } else {
        // Switching back to plain HTTP drops the secure flags again; the
        // reload flag they share stays while the cache is off.
        m_requestFlags &= ~kSecureFlags;
        if (!m_useCache)
            m_requestFlags |= kNoCacheFlags;
    }
}

bool CWinInetHttpBase::Open()
{
    Close();
    if (!WinInet().available)
        return false;
    m_session = WinInet().InternetOpenW(L"", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (!m_session)
        return false;
    SetTimeout(m_timeout);
    return true;
}

void CWinInetHttpBase::SetTimeout(uint32_t milliseconds)
{
    m_timeout = milliseconds;
    applyTimeout(m_session);
    applyTimeout(m_connection);
    applyTimeout(m_request);
}

void CWinInetHttpBase::applyTimeout(HINTERNET handle)
{
    if (!handle)
        return;
    // Connect, data receive, data send, from-cache, 128, receive and send.
    static const DWORD options[] = {2, 8, 7, 63, 128, 6, 5};
    for (DWORD option : options) {
        DWORD value = m_timeout;
        WinInet().InternetSetOptionW(handle, option, &value, sizeof value);
    }
}

void CWinInetHttpBase::closeRequest()
{
    if (m_request)
        WinInet().InternetCloseHandle(m_request);
    if (m_connection)
        WinInet().InternetCloseHandle(m_connection);
    m_request = nullptr;
    m_connection = nullptr;
}

void CWinInetHttpBase::Close()
{
    closeRequest();
    if (m_session)
        WinInet().InternetCloseHandle(m_session);
    m_session = nullptr;
}

bool CWinInetHttpBase::Request(const wchar_t* url, const wchar_t* headers, const void* body, uint32_t bodyLength,
                               bool forcePost)
{
    // Redirects are followed here rather than inside WinInet, so that a
    // loop ends after a known number of hops on every system.
    std::wstring current = url ? url : L"";
    bool result = false;
    for (int hop = 0;; ++hop) {
        result = SendRequest(url ? current.c_str() : nullptr, headers, body, bodyLength, forcePost);
        if (!result)
            break;
        std::wstring next;
        const int redirect = redirectTarget(current, next);
        if (redirect == 0) {
            result = RecvResponse();
            break;
        }
        if (hop >= kMaxRedirects || next.empty()) {
            writeLog(L"CWinInetHttpBase::Request, redirect not followed after %d hops.", hop);
            result = false;
            break;
        }
        // Only to http(s), and what was asked for over TLS never continues in the clear.
        if (!isRedirectAllowed(current, next, m_secure != 0)) {
            writeLog(L"CWinInetHttpBase::Request, redirect from %s to %s refused.", current.c_str(), next.c_str());
            result = false;
            break;
        }
        // 303, and 301/302 after a POST, continue as GET; 307/308 repeat the request.
        if (redirect == 303 || ((redirect == 301 || redirect == 302) && (body || forcePost))) {
            body = nullptr;
            bodyLength = 0;
            forcePost = false;
        }
        current = next;
    }
    if (m_listener)
        m_listener->OnRequestComplete(result, url, m_userData);
    return result;
}

int CWinInetHttpBase::redirectTarget(const std::wstring& current, std::wstring& next)
{
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinInet().HttpQueryInfoW(m_request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return 0;
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308)
        return 0;
    DWORD bytes = 0;
    WinInet().HttpQueryInfoW(m_request, HTTP_QUERY_LOCATION, nullptr, &bytes, nullptr);
    if (bytes == 0 || bytes > 65536)
        return static_cast<int>(status);
    std::vector<wchar_t> location(bytes / sizeof(wchar_t) + 1, 0);
    if (!WinInet().HttpQueryInfoW(m_request, HTTP_QUERY_LOCATION, location.data(), &bytes, nullptr))
        return static_cast<int>(status);
    DWORD combinedLength = INTERNET_MAX_URL_LENGTH;
    std::vector<wchar_t> combined(combinedLength + 1, 0);
    if (WinInet().InternetCombineUrlW(current.c_str(), location.data(), combined.data(), &combinedLength, ICU_NO_ENCODE))
        next = combined.data();
    return static_cast<int>(status);
}

bool CWinInetHttpBase::SendRequest(const wchar_t* url, const wchar_t* headers, const void* body,
                                   uint32_t bodyLength, bool forcePost)
{
    // The previous request's handles are closed, not overwritten.
    closeRequest();
    if (!m_session || !url)
        return false;

    wchar_t host[256] = {};
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = ARRAYSIZE(host);
    parts.dwUrlPathLength = 1;  // pointer into url, to its end (query included)
    if (!WinInet().InternetCrackUrlW(url, 0, 0, &parts) || !parts.lpszUrlPath)
        return false;
    const wchar_t* path = parts.lpszUrlPath;

    const bool secure = m_secure || parts.nScheme == INTERNET_SCHEME_HTTPS;
    INTERNET_PORT port = m_secure ? INTERNET_DEFAULT_HTTPS_PORT : parts.nPort;
    m_connection = WinInet().InternetConnectW(m_session, host, port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (!m_connection)
        return false;
    // Not every WinInet passes the session's time-outs on to its children.
    applyTimeout(m_connection);

    const bool hasBody = body && bodyLength > 0;
    const bool post = hasBody || forcePost;
    const wchar_t* verb = post ? L"POST" : L"GET";
    const wchar_t* version = (post || m_secure) ? L"HTTP/1.1" : L"HTTP/1.0";
    const wchar_t* acceptTypes[] = {L"*/*", nullptr};
    DWORD flags = m_requestFlags | INTERNET_FLAG_NO_AUTO_REDIRECT;
    if (secure)
        flags |= INTERNET_FLAG_SECURE;
    m_request = WinInet().HttpOpenRequestW(m_connection, verb, path, version, nullptr, acceptTypes, flags, 0);
    if (!m_request)
        return false;
    applyTimeout(m_request);

    DWORD headersLength = headers ? static_cast<DWORD>(wcslen(headers)) : 0;
    if (!hasBody)
        return WinInet().HttpSendRequestW(m_request, headers, headersLength, nullptr, 0) != FALSE;

    INTERNET_BUFFERSW buffers = {};
    buffers.dwStructSize = sizeof buffers;
    buffers.lpcszHeader = headers;
    buffers.dwHeadersLength = headersLength;
    buffers.dwHeadersTotal = headersLength;
    buffers.dwBufferTotal = bodyLength;
    if (!WinInet().HttpSendRequestExW(m_request, &buffers, nullptr, 0, 0))
        return false;
    const auto* bytes = static_cast<const uint8_t*>(body);
    uint32_t sent = 0;
    while (sent < bodyLength) {
        DWORD piece = bodyLength - sent < kBodyPiece ? bodyLength - sent : kBodyPiece;
        DWORD written = 0;
        if (!WinInet().InternetWriteFile(m_request, bytes + sent, piece, &written) || written == 0)
            break;
        sent += written;
    }
    return WinInet().HttpEndRequestW(m_request, nullptr, 0, 0) != FALSE;
}

bool CWinInetHttpBase::RecvResponse()
{
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinInet().HttpQueryInfoW(m_request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        status = 0;
    writeLog(L"CWinInetHttpBase::RecvResponse, nStatus %d.", static_cast<int>(status));
    if (status != 200 && status != 206)
        return false;

    DWORD contentLength = 0;
    size = sizeof contentLength;
    const bool lengthKnown = WinInet().HttpQueryInfoW(m_request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                                            &contentLength, &size, nullptr) != FALSE;
    if (!lengthKnown)
        contentLength = 0;
    char headerText[kHeaderTextBytes] = {};
    queryHeaderText(m_request, m_secure ? HTTP_QUERY_RAW_HEADERS_CRLF : HTTP_QUERY_CONTENT_ENCODING, headerText);

    if (m_listener && !m_listener->OnResponseHeader(contentLength, status, headerText, m_userData))
        return false;

    const DWORD chunk = chunkSizeFor(contentLength);
    std::vector<uint8_t> buffer;
    try {
        buffer.resize(chunk);
    } catch (...) {
        return false;
    }
    uint64_t total = 0;
    for (;;) {
        DWORD got = 0;
        if (!WinInet().InternetReadFile(m_request, buffer.data(), chunk, &got))
            return false;
        if (got == 0)
            break;
        total += got;
        if (m_listener && !m_listener->OnResponseData(buffer.data(), got, m_userData))
            return false;
    }
    // A body that ends before its announced length is a failed transfer.
    return !lengthKnown || total >= contentLength;
}
