// The places the media-file source calls into the manager: its preview and
// the background picture.
#include "VcamManger.h"

void HandMediaPreviewToManager(VcamManger* manager, const uint8_t* preview, uint32_t timeMs)
{
    manager->TakePreviewFrame(preview, timeMs);
    manager->PostNewPreview();
}

void StopManagerBackgroundVideo(VcamManger* manager)
{
    manager->StopBackgroundVideo();
}
