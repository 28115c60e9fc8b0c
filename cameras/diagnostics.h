// The camera API's diagnostics: each platform call that failed, as one line, handed to the
// callback the host set; dropped when it set none.
#pragma once

#include "OptiqonCameras.h"

namespace cameras {

void setDiagnostics(optiqon_diagnostics_callback callback, void* context);

// Hands the line to the host's callback, if any.
void diagnose(const char* line);

}  // namespace cameras
