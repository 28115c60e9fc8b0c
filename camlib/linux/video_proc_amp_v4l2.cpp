#include "video_proc_amp_v4l2.h"

#include <array>
#include <cerrno>
#include <cstdint>

#include "kernel_errors.h"
#include "v4l2_system.h"

namespace {

constexpr std::uint32_t NoControl = 0;  // no V4L2 control has id 0

struct AmplifierControl {
  std::uint32_t value;      // the property itself
  std::uint32_t automatic;  // its automatic mode, where it has one
};

// In the amplifier's numbering, brightness 0 to gain 9. uvcvideo has no control for colour
// enable; of the automatic modes only white balance's has a place in the amplifier.
constexpr std::array<AmplifierControl, 10> Controls = {{
    {V4L2_CID_BRIGHTNESS, NoControl},
    {V4L2_CID_CONTRAST, NoControl},
    {V4L2_CID_HUE, NoControl},
    {V4L2_CID_SATURATION, NoControl},
    {V4L2_CID_SHARPNESS, NoControl},
    {V4L2_CID_GAMMA, NoControl},
    {NoControl, NoControl},  // colour enable
    {V4L2_CID_WHITE_BALANCE_TEMPERATURE, V4L2_CID_AUTO_WHITE_BALANCE},
    {V4L2_CID_BACKLIGHT_COMPENSATION, NoControl},
    {V4L2_CID_GAIN, NoControl},
}};

const AmplifierControl* controlOf(LONG property) {
  if (property < 0 || static_cast<std::size_t>(property) >= Controls.size() ||
      Controls[static_cast<std::size_t>(property)].value == NoControl) {
    return nullptr;
  }
  return &Controls[static_cast<std::size_t>(property)];
}

// V4L2 answers EINVAL for a control the node does not have.
HRESULT controlFailure(int result) {
  return result == -EINVAL ? ErrorNotFound : hresultOfErrno(-result);
}

// The control's range, when the node has it and it is not disabled.
int describeControl(int device, std::uint32_t id, v4l2_queryctrl& description) {
  description = v4l2_queryctrl{};
  description.id = id;
  const int result = v4l2System().queryControl(device, description);
  if (result >= 0 && (description.flags & V4L2_CTRL_FLAG_DISABLED) != 0) {
    return -EINVAL;
  }
  return result;
}

bool hasControl(int device, std::uint32_t id) {
  v4l2_queryctrl description;
  return id != NoControl && describeControl(device, id, description) >= 0;
}

int writeControl(int device, std::uint32_t id, std::int32_t value) {
  v4l2_control control{id, value};
  return v4l2System().setControl(device, control);
}

int readControl(int device, std::uint32_t id, std::int32_t& value) {
  v4l2_control control{id, 0};
  const int result = v4l2System().getControl(device, control);
  value = control.value;
  return result;
}

HRESULT resultOf(int result) {
  return result < 0 ? controlFailure(result) : S_OK;
}

}  // namespace

bool hasAmplifierControls(int device) {
  for (const AmplifierControl& control : Controls) {
    if (hasControl(device, control.value)) {
      return true;
    }
  }
  return false;
}

HRESULT amplifierRange(int device, LONG property, LONG* min, LONG* max, LONG* steppingDelta,
                       LONG* defaultValue, LONG* capsFlags) {
  if (min == nullptr || max == nullptr || steppingDelta == nullptr || defaultValue == nullptr ||
      capsFlags == nullptr) {
    return E_POINTER;
  }
  const AmplifierControl* control = controlOf(property);
  if (control == nullptr) {
    return ErrorNotFound;
  }
  v4l2_queryctrl description;
  const int result = describeControl(device, control->value, description);
  if (result < 0) {
    return controlFailure(result);
  }
  *min = description.minimum;
  *max = description.maximum;
  *steppingDelta = description.step;
  *defaultValue = description.default_value;
  *capsFlags = VideoProcAmp_Flags_Manual |
               (hasControl(device, control->automatic) ? VideoProcAmp_Flags_Auto : 0);
  return S_OK;
}

// A value is set manually: the automatic mode goes off first, as the camera takes no value while
// it is on (uvcvideo refuses the write with EACCES). uvcvideo clamps the value to the range and
// rounds it to the step.
HRESULT setAmplifierProperty(int device, LONG property, LONG value, LONG flags) {
  const AmplifierControl* control = controlOf(property);
  if (control == nullptr) {
    return ErrorNotFound;
  }
  const bool hasAutomatic = hasControl(device, control->automatic);
  if (flags == VideoProcAmp_Flags_Auto) {
    return hasAutomatic ? resultOf(writeControl(device, control->automatic, 1)) : E_INVALIDARG;
  }
  if (flags != VideoProcAmp_Flags_Manual) {
    return E_INVALIDARG;
  }
  if (hasAutomatic) {
    const int result = writeControl(device, control->automatic, 0);
    if (result < 0) {
      return controlFailure(result);
    }
  }
  return resultOf(writeControl(device, control->value, value));
}

HRESULT getAmplifierProperty(int device, LONG property, LONG* value, LONG* flags) {
  if (value == nullptr || flags == nullptr) {
    return E_POINTER;
  }
  const AmplifierControl* control = controlOf(property);
  if (control == nullptr) {
    return ErrorNotFound;
  }
  std::int32_t current = 0;
  int result = readControl(device, control->value, current);
  if (result < 0) {
    return controlFailure(result);
  }
  std::int32_t automatic = 0;
  if (hasControl(device, control->automatic)) {
    result = readControl(device, control->automatic, automatic);
    if (result < 0) {
      return controlFailure(result);
    }
  }
  *value = current;
  *flags = automatic != 0 ? VideoProcAmp_Flags_Auto : VideoProcAmp_Flags_Manual;
  return S_OK;
}
