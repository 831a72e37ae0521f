// The one place the camera source calls into the manager: its preview.
#include "VcamManger.h"

void HandPreviewToManager(VcamManger* manager, const uint8_t* preview, uint32_t timeMs)
{
    manager->TakePreviewFrame(preview, timeMs);
    manager->PostNewPreview();
}
