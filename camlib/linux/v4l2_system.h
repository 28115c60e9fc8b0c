// Everything the Linux media backend asks of the system: the video4linux nodes sysfs lists, a few
// sysfs files of their USB devices, and the V4L2 and uvcvideo device calls. The backend reaches
// the system only through this, so tests stand in a fake sysfs tree and fake video nodes, with
// faults on any call.
//
// The device calls take the kernel's own structures, filled by the backend: a fake sees exactly
// what the kernel would.
#pragma once

#include <linux/uvcvideo.h>
#include <linux/videodev2.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class V4l2System {
 public:
  virtual ~V4l2System() = default;

  // The numbers N of the /sys/class/video4linux/videoN entries present, in any order.
  virtual std::vector<unsigned> videoNodes() = 0;
  // The whole content of a file under sysfs, or none when it cannot be read.
  virtual std::optional<std::string> readSysfsFile(const std::string& path) = 0;

  // The device calls answer a result >= 0, or -errno.
  virtual int openDevice(const std::string& path) = 0;  // read-write, close-on-exec
  virtual void closeDevice(int device) = 0;
  virtual int queryCapability(int device, v4l2_capability& capability) = 0;  // VIDIOC_QUERYCAP
  // UVCIOC_CTRL_QUERY: one request to one control of an extension unit.
  virtual int queryExtensionControl(int device, uvc_xu_control_query& query) = 0;
  virtual int queryControl(int device, v4l2_queryctrl& control) = 0;  // VIDIOC_QUERYCTRL
  virtual int getControl(int device, v4l2_control& control) = 0;      // VIDIOC_G_CTRL
  virtual int setControl(int device, v4l2_control& control) = 0;      // VIDIOC_S_CTRL

  virtual void sleepMilliseconds(std::uint32_t milliseconds) = 0;
};

// The system the backend uses: the real one unless a test has put another in its place.
V4l2System& v4l2System();
void useV4l2System(V4l2System* system);  // null: the real system again
