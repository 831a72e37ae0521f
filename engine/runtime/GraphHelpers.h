// DirectShow helpers shared by the engine's graph workers, and small file
// and system helpers. Every returned interface is AddRef'ed: the caller
// releases it (ComPtr::Attach takes it over).
#pragma once

#include <dshow.h>

#include <string>

namespace tq {

IPin* GetPin(IBaseFilter* filter, PIN_DIRECTION direction, int index);
IPin* GetInputPin(IBaseFilter* filter, int index);
IPin* GetOutputPin(IBaseFilter* filter, int index);
IPin* FindPinByName(IBaseFilter* filter, const wchar_t* name);
bool PinHasMajorType(IPin* pin, const GUID& majorType);
IPin* FindPinByMajorType(IBaseFilter* filter, const GUID& majorType);
// Releases the filter it is given.
bool HasVideoCapturePin(IBaseFilter* filter);
IBaseFilter* FindFilterByAnsiName(IFilterGraph* graph, const char* name);
// Removes every filter; stops (instead of looping) at a filter that refuses removal.
void RemoveAllFilters(IFilterGraph* graph);
void FreeMediaType(AM_MEDIA_TYPE& type);
void DeleteMediaType(AM_MEDIA_TYPE* type);
HRESULT AddToRot(IUnknown* graph, DWORD* registration);
void RemoveFromRot(DWORD registration);
std::wstring RotName(const void* graph, DWORD processId);
IBaseFilter* CreateAudioRendererByName(const char* deviceName);
IBaseFilter* AddAudioRenderer(IGraphBuilder* graph, IPin* outputPin, const char* deviceName);
bool GuidEquals(const void* a, const void* b);

// CoCreateInstance that remembers, for the process, a class that is not there
// (not registered, its DLL missing or not serving it): asked again with the
// same context, it fails at once with the first answer's HRESULT. Any change
// under the registry's class keys forgets every such answer, so a filter
// installed while the process runs is found. Successes are never remembered.
HRESULT CreateInstanceOnce(const CLSID& clsid, DWORD context, const IID& iid, void** out);
// The failure CreateInstanceOnce remembers for the class, or S_OK.
HRESULT RememberedClassFailure(const CLSID& clsid, DWORD context);
// The lookup CreateInstanceOnce makes (null: CoCreateInstance); for tests.
using ClassCreateFn = HRESULT (*)(const CLSID& clsid, IUnknown* outer, DWORD context, const IID& iid, void** out);
void SetClassCreateFunctionForTest(ClassCreateFn create);
void ForgetMissingClassesForTest();

// -1 when the file cannot be opened or sized.
long long GetFileSize64(const char* path);
bool IsWindowsVistaOrLater();
// Text after the last '.', or the whole name without one, in lower case.
std::string GetLowerExtension(const std::string& name);

std::string WideToAnsiString(const wchar_t* text);

} // namespace tq
