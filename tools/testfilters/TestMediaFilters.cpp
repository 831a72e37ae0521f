// Test-only stand-ins for the LAV filters the media-file source builds into
// its LavMedia graph by class id:
//   a source under the LAV splitter source id that reads uncompressed AVI
//     files (raw RGB24/RGB32/YUY2 pictures, 16-bit or 8-bit PCM sound) and
//     offers pins "Video" and, when the file has sound, "Audio";
//   a video decoder under the LAV video decoder id (pins "Input" and
//     "Output": the raw picture passes unchanged);
//   an audio decoder under the LAV audio decoder id (pins "Input" and
//     "Output": PCM passes unchanged).
// The decoders' output pins pass IMediaSeeking on to the pin feeding them,
// so the graph's renderers reach the source's seeking.
#include "TestMediaFilters.h"

#include <mmreg.h>
#include <uuids.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

const CLSID kLavSource = {0xB98D13E7, 0x55DB, 0x4385, {0xA3, 0x3D, 0x09, 0xFD, 0x1B, 0xA2, 0x63, 0x38}};
const CLSID kLavVideoDecoder = {0xEE30215D, 0x164F, 0x4A92, {0xA4, 0xEB, 0x9D, 0x4C, 0x13, 0x39, 0x0F, 0x9F}};
const CLSID kLavAudioDecoder = {0xE8E73B6B, 0x4CB3, 0x44A4, {0xBE, 0x99, 0x4F, 0x7B, 0xCB, 0x96, 0xE4, 0x91}};

constexpr REFERENCE_TIME kSecond = 10000000;
// Larger files are not test clips; refusing them keeps the whole-file read bounded.
constexpr uint64_t kLargestFile = 512ull << 20;
constexpr long kLargestPicture = 16384;

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
constexpr uint32_t Fourcc(const char (&s)[5])
{
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

struct AviChunk {
    uint64_t offset;  // of the data, in the file
    uint32_t size;
};

// What the source plays of an uncompressed AVI.
struct RawAvi {
    BITMAPINFOHEADER picture = {};
    GUID pictureSubtype = GUID_NULL;
    uint32_t pictureBytes = 0;
    REFERENCE_TIME frameDuration = 0;
    std::vector<AviChunk> frames;
    bool hasSound = false;
    WAVEFORMATEX sound = {};
    std::vector<AviChunk> soundChunks;
    std::vector<uint64_t> soundBefore;  // bytes of sound before each chunk
    uint64_t soundBytes = 0;
};

// Walks the chunks in [begin, end) of the file; false when one claims more
// than its enclosing range holds.
template <typename Visit>
bool ForEachChunk(const std::vector<uint8_t>& file, uint64_t begin, uint64_t end, Visit visit)
{
    uint64_t at = begin;
    while (at + 8 <= end) {
        const uint32_t id = Le32(&file[size_t(at)]);
        const uint64_t size = Le32(&file[size_t(at + 4)]);
        if (at + 8 + size > end)
            return false;
        if (!visit(id, at + 8, uint32_t(size)))
            return false;
        at += 8 + size + (size & 1);
    }
    return true;
}

class CAviParser {
public:
    explicit CAviParser(const std::vector<uint8_t>& file) : m_file(file) {}

    HRESULT Parse(RawAvi& avi)
    {
        if (m_file.size() < 12 || Le32(&m_file[0]) != Fourcc("RIFF") || Le32(&m_file[8]) != Fourcc("AVI "))
            return VFW_E_INVALID_FILE_FORMAT;
        const uint64_t riffEnd = 8ull + Le32(&m_file[4]);
        if (riffEnd > m_file.size())
            return VFW_E_INVALID_FILE_FORMAT;  // truncated
        const bool walked = ForEachChunk(m_file, 12, riffEnd, [&](uint32_t id, uint64_t data, uint32_t size) {
            if (id != Fourcc("LIST"))
                return true;
            if (size < 4)
                return false;
            const uint32_t type = Le32(&m_file[size_t(data)]);
            if (type == Fourcc("hdrl"))
                return Headers(data + 4, data + size);
            if (type == Fourcc("movi"))
                return Movie(data + 4, data + size, 0);
            return true;
        });
        if (!walked || m_failed || m_videoStream < 0 || m_avi.pictureBytes == 0 || m_avi.frames.empty())
            return VFW_E_INVALID_FILE_FORMAT;
        m_avi.hasSound = m_audioStream >= 0 && !m_avi.soundChunks.empty();
        for (const AviChunk& chunk : m_avi.soundChunks) {
            m_avi.soundBefore.push_back(m_avi.soundBytes);
            m_avi.soundBytes += chunk.size;
        }
        avi = std::move(m_avi);
        return S_OK;
    }

private:
    bool Headers(uint64_t begin, uint64_t end)
    {
        return ForEachChunk(m_file, begin, end, [&](uint32_t id, uint64_t data, uint32_t size) {
            if (id == Fourcc("avih") && size >= 4)
                m_microsecondsPerFrame = Le32(&m_file[size_t(data)]);
            if (id == Fourcc("LIST") && size >= 4 && Le32(&m_file[size_t(data)]) == Fourcc("strl"))
                return Stream(data + 4, data + size);
            return true;
        });
    }

    bool Stream(uint64_t begin, uint64_t end)
    {
        const int index = m_streams++;
        uint32_t type = 0, scale = 0, rate = 0;
        uint64_t format = 0;
        uint32_t formatSize = 0;
        const bool walked = ForEachChunk(m_file, begin, end, [&](uint32_t id, uint64_t data, uint32_t size) {
            if (id == Fourcc("strh")) {
                if (size < 28)
                    return false;
                const uint8_t* h = &m_file[size_t(data)];
                type = Le32(h);
                scale = Le32(h + 20);
                rate = Le32(h + 24);
            } else if (id == Fourcc("strf")) {
                format = data;
                formatSize = size;
            }
            return true;
        });
        if (!walked || !formatSize)
            return false;
        const uint8_t* f = &m_file[size_t(format)];
        if (type == Fourcc("vids") && m_videoStream < 0) {
            m_videoStream = index;
            return Picture(f, formatSize, scale, rate);
        }
        if (type == Fourcc("auds") && m_audioStream < 0) {
            m_audioStream = index;
            return Sound(f, formatSize);
        }
        return false;  // a second stream of a kind, or one of another kind
    }

    bool Picture(const uint8_t* f, uint32_t size, uint32_t scale, uint32_t rate)
    {
        if (size < sizeof(BITMAPINFOHEADER))
            return false;
        BITMAPINFOHEADER& picture = m_avi.picture;
        memcpy(&picture, f, sizeof(BITMAPINFOHEADER));
        picture.biSize = sizeof(BITMAPINFOHEADER);
        // A raw RGB picture may be stored top-down, with a negative height.
        const int64_t width = picture.biWidth;
        const int64_t height = picture.biHeight < 0 ? -int64_t(picture.biHeight) : int64_t(picture.biHeight);
        if (width <= 0 || width > kLargestPicture || height <= 0 || height > kLargestPicture || picture.biPlanes != 1)
            return false;
        uint64_t stride = 0;
        if (picture.biCompression == BI_RGB && (picture.biBitCount == 24 || picture.biBitCount == 32)) {
            m_avi.pictureSubtype = picture.biBitCount == 24 ? MEDIASUBTYPE_RGB24 : MEDIASUBTYPE_RGB32;
            stride = (uint64_t(width) * picture.biBitCount + 31) / 32 * 4;
        } else if (picture.biCompression == Fourcc("YUY2") && picture.biBitCount == 16 && width % 2 == 0 &&
                   picture.biHeight > 0) {
            m_avi.pictureSubtype = MEDIASUBTYPE_YUY2;
            stride = uint64_t(width) * 2;
        } else {
            return false;  // compressed
        }
        const uint64_t bytes = stride * uint64_t(height);
        if (bytes > kLargestFile)
            return false;
        m_avi.pictureBytes = uint32_t(bytes);
        picture.biSizeImage = m_avi.pictureBytes;
        if (scale && rate)
            m_avi.frameDuration = REFERENCE_TIME(uint64_t(scale) * kSecond / rate);
        else
            m_avi.frameDuration = REFERENCE_TIME(m_microsecondsPerFrame) * 10;
        return m_avi.frameDuration > 0;
    }

    bool Sound(const uint8_t* f, uint32_t size)
    {
        if (size < 16)
            return false;
        WAVEFORMATEX& s = m_avi.sound;
        s.wFormatTag = Le16(f);
        s.nChannels = Le16(f + 2);
        s.nSamplesPerSec = Le32(f + 4);
        s.nAvgBytesPerSec = Le32(f + 8);
        s.nBlockAlign = Le16(f + 12);
        s.wBitsPerSample = Le16(f + 14);
        s.cbSize = 0;
        return s.wFormatTag == WAVE_FORMAT_PCM && s.nChannels >= 1 && s.nChannels <= 8 &&
               (s.wBitsPerSample == 8 || s.wBitsPerSample == 16) && s.nSamplesPerSec >= 1000 &&
               s.nSamplesPerSec <= 384000 && s.nBlockAlign == s.nChannels * s.wBitsPerSample / 8 &&
               s.nAvgBytesPerSec == s.nSamplesPerSec * s.nBlockAlign;
    }

    // Chunks of the movie list; "rec " lists group them, one level deep in
    // files that ffmpeg or Windows write (deeper nesting is refused, so that
    // no file can exhaust the stack).
    bool Movie(uint64_t begin, uint64_t end, int depth)
    {
        return ForEachChunk(m_file, begin, end, [&](uint32_t id, uint64_t data, uint32_t size) {
            if (id == Fourcc("LIST"))
                return size >= 4 && depth < 2 && Movie(data + 4, data + size, depth + 1);
            const char c0 = char(id & 0xFF), c1 = char(id >> 8 & 0xFF);
            if (c0 < '0' || c0 > '9' || c1 < '0' || c1 > '9')
                return true;  // index and padding chunks
            const int stream = (c0 - '0') * 10 + (c1 - '0');
            const uint32_t kind = id >> 16;
            if (stream == m_videoStream && (kind == ('d' | 'b' << 8) || kind == ('d' | 'c' << 8))) {
                if (size != m_avi.pictureBytes) {
                    m_failed = true;  // not a raw picture of the stream's format
                    return false;
                }
                m_avi.frames.push_back({data, size});
            } else if (stream == m_audioStream && kind == ('w' | 'b' << 8)) {
                if (size % m_avi.sound.nBlockAlign) {
                    m_failed = true;
                    return false;
                }
                if (size)
                    m_avi.soundChunks.push_back({data, size});
            }
            return true;
        });
    }

    const std::vector<uint8_t>& m_file;
    int m_streams = 0, m_videoStream = -1, m_audioStream = -1;
    uint32_t m_microsecondsPerFrame = 0;
    RawAvi m_avi;  // what Parse hands over once the whole file is read
    bool m_failed = false;
};

AM_MEDIA_TYPE PictureType(const RawAvi& avi)
{
    AM_MEDIA_TYPE type = {};
    type.majortype = MEDIATYPE_Video;
    type.subtype = avi.pictureSubtype;
    type.formattype = FORMAT_VideoInfo;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = avi.pictureBytes;
    type.cbFormat = sizeof(VIDEOINFOHEADER);
    auto* info = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    *info = VIDEOINFOHEADER();
    info->AvgTimePerFrame = avi.frameDuration;
    info->dwBitRate = DWORD(std::min<uint64_t>(0xFFFFFFFFu, uint64_t(avi.pictureBytes) * 8 * kSecond / avi.frameDuration));
    info->bmiHeader = avi.picture;
    type.pbFormat = reinterpret_cast<BYTE*>(info);
    return type;
}

AM_MEDIA_TYPE SoundType(const WAVEFORMATEX& format)
{
    AM_MEDIA_TYPE type = {};
    type.majortype = MEDIATYPE_Audio;
    type.subtype = MEDIASUBTYPE_PCM;
    type.formattype = FORMAT_WaveFormatEx;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = format.nBlockAlign;
    type.cbFormat = sizeof(WAVEFORMATEX);
    auto* wave = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
    *wave = format;
    type.pbFormat = reinterpret_cast<BYTE*>(wave);
    return type;
}

const WAVEFORMATEX* WaveOf(const AM_MEDIA_TYPE& type)
{
    return type.formattype == FORMAT_WaveFormatEx && type.cbFormat >= sizeof(WAVEFORMATEX) && type.pbFormat
               ? reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat)
               : nullptr;
}

// IMediaSeeking of an output pin, counted on its filter.
class CSeekingBase : public IMediaSeeking {
public:
    explicit CSeekingBase(CTestFilter* filter) : m_filter(filter) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IMediaSeeking) {
            *ppv = static_cast<IMediaSeeking*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_filter->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_filter->Release(); }
protected:
    CTestFilter* m_filter;
};

// A decoder's output pin seeks through the pin that feeds its input.
class CUpstreamSeeking final : public CSeekingBase {
public:
    using CSeekingBase::CSeekingBase;
#define TQ_UPSTREAM(call)                                                         \
    {                                                                             \
        IMediaSeeking* up = Upstream();                                           \
        if (!up)                                                                  \
            return E_NOTIMPL;                                                     \
        const HRESULT hr = up->call;                                              \
        up->Release();                                                            \
        return hr;                                                                \
    }
    HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* c) override TQ_UPSTREAM(GetCapabilities(c))
    HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* c) override TQ_UPSTREAM(CheckCapabilities(c))
    HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* f) override TQ_UPSTREAM(IsFormatSupported(f))
    HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* f) override TQ_UPSTREAM(QueryPreferredFormat(f))
    HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* f) override TQ_UPSTREAM(GetTimeFormat(f))
    HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* f) override TQ_UPSTREAM(IsUsingTimeFormat(f))
    HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* f) override TQ_UPSTREAM(SetTimeFormat(f))
    HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* d) override TQ_UPSTREAM(GetDuration(d))
    HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* s) override TQ_UPSTREAM(GetStopPosition(s))
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* c) override TQ_UPSTREAM(GetCurrentPosition(c))
    HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* t, const GUID* tf, LONGLONG s, const GUID* sf) override
        TQ_UPSTREAM(ConvertTimeFormat(t, tf, s, sf))
    HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* c, DWORD cf, LONGLONG* s, DWORD sf) override
        TQ_UPSTREAM(SetPositions(c, cf, s, sf))
    HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* c, LONGLONG* s) override TQ_UPSTREAM(GetPositions(c, s))
    HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* e, LONGLONG* l) override TQ_UPSTREAM(GetAvailable(e, l))
    HRESULT STDMETHODCALLTYPE SetRate(double r) override TQ_UPSTREAM(SetRate(r))
    HRESULT STDMETHODCALLTYPE GetRate(double* r) override TQ_UPSTREAM(GetRate(r))
    HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* p) override TQ_UPSTREAM(GetPreroll(p))
#undef TQ_UPSTREAM
private:
    IMediaSeeking* Upstream()
    {
        CTestPin* input = m_filter->InputPin();
        IPin* peer = nullptr;
        if (!input || FAILED(input->ConnectedTo(&peer)) || !peer)
            return nullptr;
        IMediaSeeking* seeking = nullptr;
        peer->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking));
        peer->Release();
        return seeking;
    }
};

// --- source -------------------------------------------------------------------

class CRawAviSource;

class CSourceSeeking final : public CSeekingBase {
public:
    CSourceSeeking(CTestFilter* filter, CRawAviSource* source) : CSeekingBase(filter), m_source(source) {}
    HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* c) override
    {
        if (!c)
            return E_POINTER;
        *c = kCapabilities;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* c) override
    {
        if (!c)
            return E_POINTER;
        const DWORD asked = *c;
        *c &= kCapabilities;
        return *c == asked ? S_OK : *c ? S_FALSE : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* f) override
    {
        return f && *f == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* f) override { return GetTimeFormat(f); }
    HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* f) override
    {
        if (!f)
            return E_POINTER;
        *f = TIME_FORMAT_MEDIA_TIME;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* f) override { return IsFormatSupported(f); }
    HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* f) override
    {
        return IsFormatSupported(f) == S_OK ? S_OK : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* t, const GUID* tf, LONGLONG s, const GUID* sf) override
    {
        if (!t)
            return E_POINTER;
        if ((tf && *tf != TIME_FORMAT_MEDIA_TIME) || (sf && *sf != TIME_FORMAT_MEDIA_TIME))
            return E_INVALIDARG;
        *t = s;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetRate(double r) override { return r == 1.0 ? S_OK : E_INVALIDARG; }
    HRESULT STDMETHODCALLTYPE GetRate(double* r) override
    {
        if (!r)
            return E_POINTER;
        *r = 1.0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* p) override
    {
        if (!p)
            return E_POINTER;
        *p = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* d) override;
    HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* s) override;
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* c) override;
    HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* c, DWORD cf, LONGLONG* s, DWORD sf) override;
    HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* c, LONGLONG* s) override;
    HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* e, LONGLONG* l) override;

private:
    static constexpr DWORD kCapabilities = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards |
                                           AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanGetCurrentPos |
                                           AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration;
    CRawAviSource* m_source;
};

class CRawAviSource final : public CTestFileSource {
public:
    CRawAviSource() : CTestFileSource(kLavSource), m_seeking(this, this) { InitializeCriticalSection(&m_streamLock); }
    ~CRawAviSource() override
    {
        StopStreams();
        DeleteCriticalSection(&m_streamLock);
    }

    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR fileName, const AM_MEDIA_TYPE*) override
    {
        if (!fileName)
            return E_POINTER;
        if (!m_pins.empty())
            return E_UNEXPECTED;  // one file per source
        std::vector<uint8_t> bytes;
        HRESULT hr = ReadWholeFile(fileName, bytes);
        if (FAILED(hr))
            return hr;
        RawAvi avi;
        if (FAILED(hr = CAviParser(bytes).Parse(avi)))
            return hr;
        m_bytes.swap(bytes);
        m_avi = std::move(avi);
        m_fileName = fileName;
        m_stopAt = Duration();
        AddPin(new CTestPin(this, PINDIR_OUTPUT, L"Video"));
        m_pins.back()->bufferSize = long(m_avi.pictureBytes);
        if (m_avi.hasSound)
            AddPin(new CTestPin(this, PINDIR_OUTPUT, L"Audio"));
        return S_OK;
    }

    bool Accepts(CTestPin*, const AM_MEDIA_TYPE&) override { return false; }
    std::vector<AM_MEDIA_TYPE> Offers(CTestPin* pin) override
    {
        if (pin == m_pins[0])
            return {PictureType(m_avi)};
        return {SoundType(m_avi.sound)};
    }
    IMediaSeeking* PinSeeking(CTestPin*) override { return &m_seeking; }
    void OnActive() override
    {
        EnterCriticalSection(&m_streamLock);
        StartStreams();
        LeaveCriticalSection(&m_streamLock);
    }
    void OnInactive() override
    {
        EnterCriticalSection(&m_streamLock);
        StopStreams();
        LeaveCriticalSection(&m_streamLock);
    }

    REFERENCE_TIME Duration() const { return REFERENCE_TIME(m_avi.frames.size()) * m_avi.frameDuration; }
    REFERENCE_TIME StartAt() const { return m_startAt; }
    REFERENCE_TIME StopAt() const { return m_stopAt; }

    // Moves the play to [start, stop); while streaming, what is on its way is
    // flushed and delivery starts again from the frame at `start`.
    void Reposition(REFERENCE_TIME start, REFERENCE_TIME stop)
    {
        EnterCriticalSection(&m_streamLock);
        const bool streaming = !m_threads.empty();
        if (streaming) {
            for (CTestPin* pin : m_pins) {
                if (pin->IsConnected()) {
                    pin->DeliverBeginFlush();
                    pin->Inactive();  // a thread waiting for a buffer returns
                }
            }
            StopStreams();
        }
        m_startAt = start;
        m_stopAt = stop;
        if (streaming) {
            for (CTestPin* pin : m_pins) {
                if (pin->IsConnected()) {
                    pin->Active();
                    pin->DeliverEndFlush();
                }
            }
            StartStreams();
        }
        LeaveCriticalSection(&m_streamLock);
    }

private:
    static HRESULT ReadWholeFile(LPCOLESTR fileName, std::vector<uint8_t>& bytes)
    {
        HANDLE file = CreateFileW(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return HRESULT_FROM_WIN32(GetLastError());
        LARGE_INTEGER size = {};
        HRESULT hr = S_OK;
        if (!GetFileSizeEx(file, &size))
            hr = HRESULT_FROM_WIN32(GetLastError());
        else if (size.QuadPart < 12 || uint64_t(size.QuadPart) > kLargestFile)
            hr = VFW_E_INVALID_FILE_FORMAT;
        if (SUCCEEDED(hr)) {
            bytes.resize(size_t(size.QuadPart));
            DWORD read = 0;
            if (!ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr) || read != bytes.size())
                hr = VFW_E_INVALID_FILE_FORMAT;
        }
        CloseHandle(file);
        return hr;
    }

    struct StreamStart {
        CRawAviSource* source;
        size_t pin;
    };

    // Under m_streamLock.
    void StartStreams()
    {
        m_stopping = false;
        for (size_t i = 0; i < m_pins.size(); ++i) {
            if (!m_pins[i]->IsConnected())
                continue;
            AddRef();  // the streaming thread's
            auto* start = new StreamStart{this, i};
            HANDLE thread = CreateThread(nullptr, 0, &CRawAviSource::StreamThread, start, 0, nullptr);
            if (thread) {
                m_threads.push_back(thread);
            } else {
                delete start;
                Release();
            }
        }
    }
    void StopStreams()
    {
        m_stopping = true;
        for (HANDLE thread : m_threads) {
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        }
        m_threads.clear();
    }

    static DWORD WINAPI StreamThread(void* param)
    {
        const StreamStart start = *static_cast<StreamStart*>(param);
        delete static_cast<StreamStart*>(param);
        if (start.pin == 0)
            start.source->StreamPictures();
        else
            start.source->StreamSound();
        start.source->Release();
        return 0;
    }

    void StreamPictures()
    {
        CTestPin* out = m_pins[0];
        const REFERENCE_TIME from = m_startAt, until = m_stopAt, step = m_avi.frameDuration;
        out->DeliverNewSegment(from, until, 1.0);
        bool first = true;
        for (size_t i = size_t(from / step); i < m_avi.frames.size() && REFERENCE_TIME(i) * step < until; ++i) {
            if (m_stopping)
                return;
            REFERENCE_TIME start = REFERENCE_TIME(i) * step - from, stop = start + step;
            const AviChunk& frame = m_avi.frames[i];
            if (out->DeliverCopy(&m_bytes[size_t(frame.offset)], long(frame.size), &start, &stop, true, first) != S_OK)
                return;
            first = false;
        }
        if (!m_stopping)
            out->DeliverEndOfStream();
    }

    void StreamSound()
    {
        CTestPin* out = m_pins[1];
        const REFERENCE_TIME from = m_startAt, until = m_stopAt;
        const uint64_t rate = m_avi.sound.nAvgBytesPerSec, align = m_avi.sound.nBlockAlign;
        out->DeliverNewSegment(from, until, 1.0);
        bool first = true;
        for (size_t i = 0; i < m_avi.soundChunks.size(); ++i) {
            const AviChunk& chunk = m_avi.soundChunks[i];
            const uint64_t before = m_avi.soundBefore[i];
            if (REFERENCE_TIME((before + chunk.size) * kSecond / rate) <= from)
                continue;  // wholly before the start
            if (REFERENCE_TIME(before * kSecond / rate) >= until)
                break;
            // Pieces of at most one buffer, whole blocks each.
            for (uint32_t done = 0; done < chunk.size;) {
                if (m_stopping)
                    return;
                IMediaSample* sample = nullptr;
                if (FAILED(out->GetDeliveryBuffer(&sample)) || !sample)
                    return;
                uint32_t size = uint32_t(std::min<uint64_t>(chunk.size - done, uint64_t(sample->GetSize())));
                size -= uint32_t(size % align);
                if (!size) {
                    sample->Release();
                    return;
                }
                REFERENCE_TIME start = REFERENCE_TIME((before + done) * kSecond / rate) - from;
                REFERENCE_TIME stop = REFERENCE_TIME((before + done + size) * kSecond / rate) - from;
                if (out->DeliverCopy(sample, &m_bytes[size_t(chunk.offset + done)], long(size), &start, &stop, true,
                                     first) != S_OK)
                    return;
                first = false;
                done += size;
            }
        }
        if (!m_stopping)
            out->DeliverEndOfStream();
    }

    CSourceSeeking m_seeking;
    std::vector<uint8_t> m_bytes;
    RawAvi m_avi;
    CRITICAL_SECTION m_streamLock;
    std::vector<HANDLE> m_threads;
    std::atomic<bool> m_stopping{false};
    std::atomic<REFERENCE_TIME> m_startAt{0}, m_stopAt{0};  // read by the streaming threads
};

HRESULT CSourceSeeking::GetDuration(LONGLONG* d)
{
    if (!d)
        return E_POINTER;
    *d = m_source->Duration();
    return S_OK;
}

HRESULT CSourceSeeking::GetStopPosition(LONGLONG* s)
{
    if (!s)
        return E_POINTER;
    *s = m_source->StopAt();
    return S_OK;
}

HRESULT CSourceSeeking::GetCurrentPosition(LONGLONG* c)
{
    if (!c)
        return E_POINTER;
    *c = m_source->StartAt();
    return S_OK;
}

HRESULT CSourceSeeking::GetPositions(LONGLONG* c, LONGLONG* s)
{
    if (c)
        *c = m_source->StartAt();
    if (s)
        *s = m_source->StopAt();
    return S_OK;
}

HRESULT CSourceSeeking::GetAvailable(LONGLONG* e, LONGLONG* l)
{
    if (e)
        *e = 0;
    if (l)
        *l = m_source->Duration();
    return S_OK;
}

HRESULT CSourceSeeking::SetPositions(LONGLONG* c, DWORD cf, LONGLONG* s, DWORD sf)
{
    const REFERENCE_TIME duration = m_source->Duration();
    auto place = [&](LONGLONG* value, DWORD flags, REFERENCE_TIME now, REFERENCE_TIME& to) {
        switch (flags & AM_SEEKING_PositioningBitsMask) {
        case AM_SEEKING_AbsolutePositioning: to = *value; break;
        case AM_SEEKING_RelativePositioning: to = now + *value; break;
        case AM_SEEKING_IncrementalPositioning: to = now + *value; break;
        default: to = now; break;
        }
        to = std::max<REFERENCE_TIME>(0, std::min(to, duration));
    };
    if (((cf & AM_SEEKING_PositioningBitsMask) && !c) || ((sf & AM_SEEKING_PositioningBitsMask) && !s))
        return E_POINTER;
    REFERENCE_TIME start = 0, stop = 0;
    place(c, cf, m_source->StartAt(), start);
    place(s, sf, m_source->StopAt(), stop);
    if (cf & AM_SEEKING_PositioningBitsMask)
        m_source->Reposition(start, stop);
    else if (sf & AM_SEEKING_PositioningBitsMask)
        m_source->Reposition(m_source->StartAt(), stop);
    if (c && (cf & AM_SEEKING_ReturnTime))
        *c = start;
    if (s && (sf & AM_SEEKING_ReturnTime))
        *s = stop;
    return S_OK;
}

// --- decoders ----------------------------------------------------------------

// Copies part of a received sample to the output pin, with these times and
// the input's sync point.
HRESULT PassOn(CTestPin* out, IMediaSample* input, long offset, long size, REFERENCE_TIME* start, REFERENCE_TIME* stop,
               bool discontinuity)
{
    BYTE* from = nullptr;
    input->GetPointer(&from);
    return out->DeliverCopy(from + offset, size, start, stop, input->IsSyncPoint() == S_OK, discontinuity);
}

class CPassDecoder : public CTestFilter {
public:
    explicit CPassDecoder(const CLSID& clsid) : CTestFilter(clsid), m_seeking(this)
    {
        AddPin(new CTestPin(this, PINDIR_INPUT, L"Input"));
        AddPin(new CTestPin(this, PINDIR_OUTPUT, L"Output"));
    }
    std::vector<AM_MEDIA_TYPE> Offers(CTestPin* pin) override
    {
        if (pin->Direction() != PINDIR_OUTPUT || !InputPin()->IsConnected())
            return {};
        AM_MEDIA_TYPE type;
        CopyType(type, InputPin()->Type());
        return {type};
    }
    IMediaSeeking* PinSeeking(CTestPin*) override { return &m_seeking; }
protected:
    // The output takes exactly what the input took.
    bool SameAsInput(CTestPin* pin, const AM_MEDIA_TYPE& type)
    {
        const AM_MEDIA_TYPE& in = InputPin()->Type();
        return pin->Direction() == PINDIR_OUTPUT && InputPin()->IsConnected() && type.majortype == in.majortype &&
               type.subtype == in.subtype && type.formattype == in.formattype && type.cbFormat == in.cbFormat &&
               (!type.cbFormat || memcmp(type.pbFormat, in.pbFormat, type.cbFormat) == 0);
    }
private:
    CUpstreamSeeking m_seeking;
};

class CRawVideoDecoder final : public CPassDecoder {
public:
    CRawVideoDecoder() : CPassDecoder(kLavVideoDecoder) {}
    bool Accepts(CTestPin* pin, const AM_MEDIA_TYPE& type) override
    {
        if (pin->Direction() == PINDIR_OUTPUT)
            return SameAsInput(pin, type);
        if (type.majortype != MEDIATYPE_Video || type.formattype != FORMAT_VideoInfo || !type.pbFormat ||
            type.cbFormat < sizeof(VIDEOINFOHEADER))
            return false;
        if (type.subtype != MEDIASUBTYPE_RGB24 && type.subtype != MEDIASUBTYPE_RGB32 && type.subtype != MEDIASUBTYPE_YUY2)
            return false;
        const BITMAPINFOHEADER& header = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
        // The output buffers hold one picture.
        const uint64_t bytes = header.biSizeImage ? header.biSizeImage : uint64_t(type.lSampleSize);
        if (!bytes || bytes > uint64_t(kLargestFile))
            return false;
        OutputPin()->bufferSize = long(bytes);
        return true;
    }
    HRESULT OnReceive(CTestPin*, IMediaSample* input) override
    {
        REFERENCE_TIME start = 0, stop = 0;
        const bool timed = SUCCEEDED(input->GetTime(&start, &stop));
        return PassOn(OutputPin(), input, 0, input->GetActualDataLength(), timed ? &start : nullptr,
                      timed ? &stop : nullptr, input->IsDiscontinuity() == S_OK);
    }
};

class CPcmDecoder final : public CPassDecoder {
public:
    CPcmDecoder() : CPassDecoder(kLavAudioDecoder) {}
    bool Accepts(CTestPin* pin, const AM_MEDIA_TYPE& type) override
    {
        if (pin->Direction() == PINDIR_OUTPUT)
            return SameAsInput(pin, type);
        const WAVEFORMATEX* wave = WaveOf(type);
        return type.majortype == MEDIATYPE_Audio && type.subtype == MEDIASUBTYPE_PCM && wave &&
               wave->nBlockAlign > 0 && wave->nAvgBytesPerSec > 0;
    }
    // A sample larger than the output buffers leaves in pieces of whole blocks.
    HRESULT OnReceive(CTestPin*, IMediaSample* input) override
    {
        CTestPin* out = OutputPin();
        const WAVEFORMATEX* wave = WaveOf(out->Type());
        if (!wave)
            return VFW_E_NOT_CONNECTED;
        REFERENCE_TIME start = 0, stop = 0;
        const bool timed = SUCCEEDED(input->GetTime(&start, &stop));
        const long total = input->GetActualDataLength();
        long piece = out->bufferSize - out->bufferSize % wave->nBlockAlign;
        if (piece <= 0)
            return E_UNEXPECTED;
        for (long done = 0; done < total;) {
            const long size = std::min(piece, total - done);
            REFERENCE_TIME from = start + REFERENCE_TIME(done) * kSecond / wave->nAvgBytesPerSec;
            REFERENCE_TIME to = start + REFERENCE_TIME(done + size) * kSecond / wave->nAvgBytesPerSec;
            const HRESULT hr = PassOn(out, input, done, size, timed ? &from : nullptr, timed ? &to : nullptr,
                                      done == 0 && input->IsDiscontinuity() == S_OK);
            if (hr != S_OK)
                return hr;
            done += size;
        }
        return S_OK;
    }
};

} // namespace

const CLSID& LavSourceClsid() { return kLavSource; }
const CLSID& LavVideoDecoderClsid() { return kLavVideoDecoder; }
const CLSID& LavAudioDecoderClsid() { return kLavAudioDecoder; }

IBaseFilter* MakeRawAviSource() { return new CRawAviSource; }
IBaseFilter* MakeRawVideoDecoder() { return new CRawVideoDecoder; }
IBaseFilter* MakePcmDecoder() { return new CPcmDecoder; }
