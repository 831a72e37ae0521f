#include "AudioRendererExchange.h"

#include "ComPtr.h"
#include "GraphHelpers.h"

namespace tq {

AudioExchange ExchangeAudioRenderer(IGraphBuilder* graph, const std::string& deviceName, IBaseFilter** renderer)
{
    if (renderer)
        *renderer = nullptr;
    if (!graph || deviceName.empty() || deviceName == kDefaultAudioDevice)
        return AudioExchange::NotNeeded;

    ComPtr<IBaseFilter> defaultRenderer;
    defaultRenderer.Attach(FindFilterByAnsiName(graph, kDefaultAudioDevice));
    if (!defaultRenderer)
        return AudioExchange::NoDefaultFound;

    // Made before anything is disconnected: a device name no renderer answers
    // to must not leave the graph without a connected renderer.
    ComPtr<IBaseFilter> chosen;
    chosen.Attach(CreateAudioRendererByName(deviceName.c_str()));
    if (!chosen)
        return AudioExchange::KeptDefault;

    ComPtr<IPin> input, upstream;
    input.Attach(GetInputPin(defaultRenderer.Get(), 0));
    if (!input || FAILED(input->ConnectedTo(upstream.Receive())) || !upstream)
        return AudioExchange::KeptDefault;

    graph->Disconnect(upstream.Get());
    graph->Disconnect(input.Get());
    graph->RemoveFilter(defaultRenderer.Get());

    ComPtr<IPin> chosenInput;
    chosenInput.Attach(GetInputPin(chosen.Get(), 0));
    HRESULT hr = graph->AddFilter(chosen.Get(), L"Audio Filter Tq sorva");
    if (SUCCEEDED(hr) && chosenInput)
        hr = graph->Connect(upstream.Get(), chosenInput.Get());
    if (FAILED(hr) || !chosenInput) {
        // Put the default renderer back where it was, so the sound still plays.
        graph->RemoveFilter(chosen.Get());
        graph->AddFilter(defaultRenderer.Get(), L"Default DirectSound Device");
        graph->ConnectDirect(upstream.Get(), input.Get(), nullptr);
        return AudioExchange::KeptDefault;
    }
    if (renderer)
        *renderer = chosen.Detach();
    return AudioExchange::Exchanged;
}

} // namespace tq
