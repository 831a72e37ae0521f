// Info lines of the compositor, bridged to the engine log.
#pragma once

void CompositorLog(const char* format, ...);
