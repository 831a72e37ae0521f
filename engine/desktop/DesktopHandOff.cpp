// The one place the desktop source calls into the manager: its preview.
#include "VcamManger.h"

void HandDesktopPreviewToManager(VcamManger* manager, const uint8_t* preview, uint32_t timeMs)
{
    manager->TakePreviewFrame(preview, timeMs);
    manager->PostNewPreview();
}
