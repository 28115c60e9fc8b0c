// The media source of one V4L2 video node, as Media Foundation gives one for a capture device:
// its kernel-streaming topology, whose extension-unit nodes take property requests that become
// uvcvideo control queries, and its video processing amplifier over the node's V4L2 controls.
#pragma once

#include "media_services.h"

// Opens /dev/videoN and reads its UVC topology from the USB device's descriptors; a node off USB
// has a topology without nodes. The source holds the open node until it is released.
HRESULT activateMediaSource(unsigned node, IMFMediaSource** source);
