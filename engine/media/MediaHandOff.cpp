// The places the media-file source calls into the manager: its preview, the
// background picture and the chosen sound output.
#include "SonvexMgr.h"
#include "VcamManger.h"

#include <string>

void HandMediaPreviewToManager(VcamManger* manager, const uint8_t* preview, uint32_t timeMs)
{
    manager->TakePreviewFrame(preview, timeMs);
    manager->PostNewPreview();
}

void StopManagerBackgroundVideo(VcamManger* manager)
{
    manager->StopBackgroundVideo();
}

std::string ChosenSoundOutput(VcamManger* manager)
{
    CSonvexMgr* chooser = manager ? manager->GetSonvexMgr() : nullptr;
    return chooser ? chooser->GetOutputDevice() : std::string();
}
