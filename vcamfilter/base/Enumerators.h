// IEnumPins and IEnumMediaTypes over a snapshot taken when they are made:
// the filter's pins never change, and a pin's types change only while it is
// stopped, so a snapshot answers the same as a live walk would.
#pragma once

#include "ComBase.h"
#include "MediaType.h"

#include <vector>

class CEnumPins : public CUnknown, public IEnumPins {
public:
    explicit CEnumPins(const std::vector<IPin*>& pins, size_t position = 0);
    ~CEnumPins() override;
    TQ_DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumPins** copy) override;

private:
    std::vector<IPin*> m_pins;  // each holds a reference
    size_t m_position;
};

class CEnumMediaTypes : public CUnknown, public IEnumMediaTypes {
public:
    explicit CEnumMediaTypes(const std::vector<CMediaType>& types, size_t position = 0);
    TQ_DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumMediaTypes** copy) override;

private:
    std::vector<CMediaType> m_types;
    size_t m_position;
};
