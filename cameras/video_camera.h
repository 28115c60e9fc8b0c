// The video side of one camera: its capture device opened by its symbolic link, and every
// request the settings need, each answered with the platform's 32-bit result (an HRESULT), so
// that this header needs no platform types.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "camera_sides.h"

namespace cameras {

struct PropertyRange {
  long minimum = 0;
  long maximum = 0;
  long step = 0;
  long defaultValue = 0;
  bool canBeAutomatic = false;
  bool canBeManual = false;
};

// The results that say the camera's device is gone.
bool isGone(std::int32_t result);

class VideoCamera {
 public:
  // Opens the capture device at `link`; null, with the failing result in `result`, when it is
  // not listed or cannot be activated.
  static std::unique_ptr<VideoCamera> open(const std::u16string& link, std::int32_t& result);
  ~VideoCamera();
  VideoCamera(const VideoCamera&) = delete;
  VideoCamera& operator=(const VideoCamera&) = delete;

  std::int32_t range(int property, PropertyRange& range);
  std::int32_t get(int property, long& value, bool& automatic);
  std::int32_t set(int property, long value, bool automatic);

  // A vendor control's bytes, by its number; the length is the caller's to check.
  std::int32_t readControl(int number, std::uint8_t* bytes, std::size_t length);
  std::int32_t writeControl(int number, const std::uint8_t* bytes, std::size_t length);

  std::int32_t writeRegister(std::uint8_t address, std::uint8_t value);
  std::int32_t readRegister(std::uint8_t& value);
  // Sends the password's two bytes and reads whether the camera took them.
  std::int32_t sendPassword(std::uint8_t first, std::uint8_t second, bool& accepted);
  std::int32_t saveSettings();
  std::int32_t resetSettings();

 private:
  struct Connection;
  explicit VideoCamera(std::unique_ptr<Connection> connection);
  std::unique_ptr<Connection> connection_;
};

}  // namespace cameras
