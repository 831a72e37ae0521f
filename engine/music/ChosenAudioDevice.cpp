#include "AudioGraphRecipes.h"

#include "SonvexMgr.h"
#include "VcamManger.h"

namespace tq {

std::string ChosenAudioDevice()
{
    VcamManger* manager = VcamManger::Current();
    CSonvexMgr* chooser = manager ? manager->GetSonvexMgr() : nullptr;
    return chooser ? chooser->GetOutputDevice() : std::string();
}

} // namespace tq
