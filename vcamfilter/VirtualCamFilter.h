// CVirtualCamFilter: the camera "TqNelu", a source filter with one output pin.
#pragma once

#include "VirtualCamStream.h"
#include "base/SourceFilter.h"

#include <memory>

class CVirtualCamFilter : public CSource {
public:
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr);

    CVirtualCamFilter(IUnknown* outer, HRESULT* hr);
    ~CVirtualCamFilter() override;

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    int GetPinCount() override { return m_pin ? 1 : 0; }
    CSourceStream* GetPin(int index) override { return index == 0 ? m_pin.get() : nullptr; }

    CVirtualCamStream* Stream() const { return m_pin.get(); }

private:
    void ReleasePin();
    std::unique_ptr<CVirtualCamStream> m_pin;
};
