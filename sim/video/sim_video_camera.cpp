#include "sim_video_camera.h"

#include <algorithm>
#include <tuple>

namespace sim {

namespace {

using Range = VideoCamera::PropertyRange;
constexpr std::int32_t Manual = VideoCamera::ManualFlag;
constexpr std::int32_t AutoOrManual = VideoCamera::AutoFlag | VideoCamera::ManualFlag;

// The sensor board's processing unit, in the amplifier's numbering. Hue is in degrees, white
// balance in kelvin; the others are the unit's own steps.
constexpr std::array<Range, VideoCamera::AmplifierProperties> FactoryRanges = {{
    {-64, 64, 1, 0, Manual},               // brightness
    {0, 95, 1, 32, Manual},                // contrast
    {-180, 180, 1, 0, Manual},             // hue
    {0, 100, 1, 64, Manual},               // saturation
    {0, 7, 1, 2, Manual},                  // sharpness
    {72, 500, 1, 100, Manual},             // gamma
    {0, 1, 1, 1, Manual},                  // colour enable
    {2800, 6500, 10, 4600, AutoOrManual},  // white balance
    {0, 2, 1, 1, Manual},                  // backlight compensation
    {0, 100, 1, 0, Manual},                // gain
}};

// Answers `bytes` in a read of `out.size()` bytes: cut to it, or zero-filled up to it.
void answer(std::span<const std::uint8_t> bytes, std::span<std::uint8_t> out) {
  const std::size_t copied = std::min(bytes.size(), out.size());
  std::copy_n(bytes.begin(), copied, out.begin());
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(copied), out.end(), std::uint8_t{0});
}

// A property with an automatic mode powers up in it, as the camera's white balance does.
std::int32_t defaultFlags(const Range& range) {
  return (range.caps & VideoCamera::AutoFlag) != 0 ? VideoCamera::AutoFlag
                                                   : VideoCamera::ManualFlag;
}

}  // namespace

VideoCamera::VideoCamera() {
  for (std::size_t i = 0; i < AmplifierProperties; ++i) {
    const Range& range = FactoryRanges[i];
    properties_[i] = {range, range.defaultValue, defaultFlags(range), true};
  }
}

VideoCamera::Result VideoCamera::setControl(unsigned node, unsigned selector,
                                            std::span<const std::uint8_t> bytes) {
  if (!hasControl(node, selector)) {
    return Result::NotFound;
  }
  if (node == FirstUnitNode && selector == RegisterSelector) {
    if (bytes.size() != 2) {
      return Result::Invalid;
    }
    lastAddress_ = bytes[0];
    registers_[lastAddress_] = bytes[1];
    if (lastAddress_ == SettingsRegister) {
      obeySettingsCommand(bytes[1]);
    }
    return Result::Done;
  }
  if (node == FirstUnitNode && selector == PasswordSelector) {
    if (bytes.size() != 2) {
      return Result::Invalid;
    }
    const auto tried = static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
    passwordState_ = tried == password_ ? PasswordState::Accepted : PasswordState::Refused;
    return Result::Done;
  }
  controls_[{node, selector}].assign(bytes.begin(), bytes.end());
  ++changes_;
  return Result::Done;
}

void VideoCamera::obeySettingsCommand(std::uint8_t command) {
  if (command == SaveSettingsCommand) {
    saved_ = values();
    ++changes_;
  } else if (command == ResetSettingsCommand) {
    setValues(factory_);
    saved_.reset();
  }
}

VideoCamera::Values VideoCamera::values() const {
  Values values{controls_, {}};
  for (unsigned number = 0; number < AmplifierProperties; ++number) {
    if (properties_[number].supported) {
      values.properties[number] = {properties_[number].value, properties_[number].flags};
    }
  }
  return values;
}

void VideoCamera::setValues(const Values& values) {
  controls_ = values.controls;
  for (unsigned number = 0; number < AmplifierProperties; ++number) {
    Property& property = properties_[number];
    const auto given = values.properties.find(number);
    if (given != values.properties.end()) {
      std::tie(property.value, property.flags) = given->second;
    } else {
      property.value = property.range.defaultValue;
      property.flags = defaultFlags(property.range);
    }
  }
  ++changes_;
}

VideoCamera::Result VideoCamera::getControl(unsigned node, unsigned selector,
                                            std::span<std::uint8_t> out) const {
  if (!hasControl(node, selector)) {
    return Result::NotFound;
  }
  if (node == FirstUnitNode && selector == RegisterSelector) {
    const std::uint8_t reply[] = {lastAddress_, registers_[lastAddress_]};
    answer(reply, out);
  } else if (node == FirstUnitNode && selector == PasswordSelector) {
    const std::uint8_t reply[] = {static_cast<std::uint8_t>(passwordState_), 0};
    answer(reply, out);
  } else {
    auto stored = controls_.find({node, selector});
    answer(stored == controls_.end() ? std::span<const std::uint8_t>() : stored->second, out);
  }
  return Result::Done;
}

std::vector<std::uint8_t> VideoCamera::storedControl(unsigned node, unsigned selector) const {
  auto stored = controls_.find({node, selector});
  return stored == controls_.end() ? std::vector<std::uint8_t>() : stored->second;
}

const VideoCamera::Property* VideoCamera::property(std::int32_t number) const {
  if (number < 0 || number >= static_cast<std::int32_t>(AmplifierProperties) ||
      !properties_[static_cast<std::size_t>(number)].supported) {
    return nullptr;
  }
  return &properties_[static_cast<std::size_t>(number)];
}

void VideoCamera::withdrawProperty(unsigned number) {
  if (number < AmplifierProperties) {
    properties_[number].supported = false;
  }
}

VideoCamera::Result VideoCamera::propertyRange(std::int32_t number, PropertyRange& range) const {
  const Property* found = property(number);
  if (found == nullptr) {
    return Result::NotFound;
  }
  range = found->range;
  return Result::Done;
}

VideoCamera::Result VideoCamera::setProperty(std::int32_t number, std::int32_t value,
                                             std::int32_t flags) {
  const Property* found = property(number);
  if (found == nullptr) {
    return Result::NotFound;
  }
  if ((flags != AutoFlag && flags != ManualFlag) || value < found->range.min ||
      value > found->range.max) {
    return Result::Invalid;
  }
  Property& changed = properties_[static_cast<std::size_t>(number)];
  changed.value = value;
  changed.flags = flags;
  ++changes_;
  return Result::Done;
}

VideoCamera::Result VideoCamera::getProperty(std::int32_t number, std::int32_t& value,
                                             std::int32_t& flags) const {
  const Property* found = property(number);
  if (found == nullptr) {
    return Result::NotFound;
  }
  value = found->value;
  flags = found->flags;
  return Result::Done;
}

}  // namespace sim
