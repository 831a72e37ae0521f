// Source text of the three pixel-shader effects of the GPU smoothing passes.
#pragma once

namespace vp {

// 0: edge-preserving patch filter, 1: horizontal box, 2: vertical box and unsharp mask.
extern const char* const kEffectSources[3];

}  // namespace vp
