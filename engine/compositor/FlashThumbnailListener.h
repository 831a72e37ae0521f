// Told when a Flash thumbnail file has been written. The host implements it
// and the engine calls it: one slot, no destructor in the table.
#pragma once

#include <string>

class IFlashThumbnailListener {
public:
    virtual void OnFlashThumbnail(const std::wstring& moviePath, std::wstring thumbnailPath, std::wstring name) = 0;
protected:
    ~IFlashThumbnailListener() = default;
};
