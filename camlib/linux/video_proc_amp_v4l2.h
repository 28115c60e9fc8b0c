// DirectShow's video processing amplifier over a V4L2 node's user controls. uvcvideo maps the
// processing unit's controls to V4L2 controls; each amplifier property is one of them, and white
// balance also has an automatic mode, which is a control of its own.
#pragma once

#include "media_services.h"

// Whether the node has any control an amplifier property stands for.
bool hasAmplifierControls(int device);

// IAMVideoProcAmp::GetRange, Set and Get on the node `device`. A property with no V4L2 control,
// or whose control the node lacks or has disabled, is not found (HRESULT_FROM_WIN32 of
// ERROR_NOT_FOUND).
HRESULT amplifierRange(int device, LONG property, LONG* min, LONG* max, LONG* steppingDelta,
                       LONG* defaultValue, LONG* capsFlags);
HRESULT setAmplifierProperty(int device, LONG property, LONG value, LONG flags);
HRESULT getAmplifierProperty(int device, LONG property, LONG* value, LONG* flags);
