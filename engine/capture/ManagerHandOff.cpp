// The places the camera source calls into the manager: its preview and the
// chosen sound output.
#include "SonvexMgr.h"
#include "VcamManger.h"

#include <string>

void HandPreviewToManager(VcamManger* manager, const uint8_t* preview, uint32_t timeMs)
{
    manager->TakePreviewFrame(preview, timeMs);
    manager->PostNewPreview();
}

std::string CaptureSoundOutput(VcamManger* manager)
{
    CSonvexMgr* chooser = manager ? manager->GetSonvexMgr() : nullptr;
    return chooser ? chooser->GetOutputDevice() : std::string();
}
