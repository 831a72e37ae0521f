// The camera's private control interfaces and their identifiers. Callers of
// IVirtualCamResize must share the filter's C++ runtime: the steps travel as a
// std::vector.
#pragma once

#include <windows.h>
#include <unknwn.h>
#include <cstdint>
#include <vector>

// {8E99549A-DB91-4889-CFDD-F5662FE7BE7B}
inline const CLSID CLSID_VirtualCamFilter = {0x8e99549a, 0xdb91, 0x4889, {0xcf, 0xdd, 0xf5, 0x66, 0x2f, 0xe7, 0xbe, 0x7b}};
// {8E14549A-DB61-4309-AFA1-3578E927E933}: the older camera filter that registration removes.
inline const CLSID CLSID_LegacyVirtualCamFilter = {0x8e14549a, 0xdb61, 0x4309, {0xaf, 0xa1, 0x35, 0x78, 0xe9, 0x27, 0xe9, 0x33}};

inline const IID IID_IVirtualCamProbe = {0xf614fb00, 0x6702, 0x11d4, {0xb0, 0xb7, 0x00, 0x50, 0xba, 0xbf, 0xc9, 0x04}};
inline const IID IID_IVirtualCamFrameSync = {0xf6efffff, 0x30ff, 0x11ff, {0xa1, 0xff, 0x00, 0xa0, 0xc9, 0x11, 0xff, 0xff}};
inline const IID IID_IVirtualCamSmoothState = {0xfa34221e, 0xc68d, 0x41ab, {0x93, 0x99, 0xaa, 0x10, 0xcb, 0xcb, 0x4f, 0xfe}};
inline const IID IID_IVirtualCamFrameRate = {0x1b704bc2, 0x2024, 0x4403, {0xa1, 0x82, 0xca, 0x08, 0x9b, 0x71, 0xd5, 0xaf}};
inline const IID IID_IVirtualCamResize = {0xf6efffff, 0x2024, 0x41ab, {0xa1, 0xff, 0xca, 0x08, 0x9b, 0x71, 0xd5, 0xaf}};

struct ResizeStep {
    int32_t width;
    int32_t height;
};

struct IVirtualCamProbe : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Probe(LONG first, LONG second) = 0;
};

struct IVirtualCamFrameSync : public IUnknown {
    // Switches frame synchronisation on for the pin's life; stores 1 in *enabled.
    virtual HRESULT STDMETHODCALLTYPE EnableFrameSync(BYTE* enabled) = 0;
};

struct IVirtualCamSmoothState : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetSmoothFlag(BYTE* smoothed) = 0;
};

struct IVirtualCamFrameRate : public IUnknown {
    // 0: 10 fps, 1: 15 fps, 2: 30 fps; other codes change nothing.
    virtual HRESULT STDMETHODCALLTYPE SetFrameRate(LONG code) = 0;
};

struct IVirtualCamResize : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetResizeSteps(const std::vector<ResizeStep>* steps) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTargetSize(LONG* width, LONG* height) = 0;
};
