// The camera as its UVC video function shows it: a camera terminal, a processing unit, two vendor
// extension units and an output terminal. The extension units' controls keep whatever is written
// to them, except two controls of the first unit that front the sensor's register file and the
// maintenance password. The processing unit carries the ten standard image properties of the
// video processing amplifier, each with its range, step, default and auto/manual capabilities.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "OptiqonCamera.h"

namespace sim {

// The friendly name the camera's capture device is listed under.
inline constexpr std::string_view CameraFriendlyName = "Corvantis Optiqon";

class VideoCamera {
 public:
  // Unit and terminal ids of the video function, as the host sees them as topology nodes.
  static constexpr unsigned CameraTerminalNode = 0;
  static constexpr unsigned ProcessingUnitNode = 1;
  static constexpr unsigned FirstUnitNode = OPTIQON_FIRST_UNIT_NODE;
  static constexpr unsigned SecondUnitNode = OPTIQON_SECOND_UNIT_NODE;
  static constexpr unsigned OutputTerminalNode = 4;
  static constexpr unsigned Nodes = 5;

  // Each extension unit is known by the 16-byte code of its descriptor, stored as the host's GUID
  // structure stores it (first three fields little-endian).
  using UnitCode = std::array<std::uint8_t, 16>;
  static constexpr UnitCode FirstUnitCode = {0x0C, 0x89, 0xB6, 0xAC, 0xB3, 0xA3, 0x60, 0x40,
                                             0x8B, 0x9A, 0xDF, 0x34, 0xEE, 0xF3, 0x9A, 0x2E};
  static constexpr UnitCode SecondUnitCode = {0x94, 0x86, 0x09, 0xF4, 0x3A, 0x13, 0x4E, 0xA1,
                                              0xB4, 0xA0, 0x63, 0xD2, 0x79, 0xBF, 0x30, 0x74};

  // Controls are numbered from 1; a node without controls is no extension unit.
  static constexpr unsigned selectorsOn(unsigned node) {
    constexpr unsigned firstUnitControls = OPTIQON_LAST_CONTROL_OF_FIRST_UNIT;
    constexpr unsigned secondUnitControls =
        OPTIQON_LAST_CONTROL - OPTIQON_LAST_CONTROL_OF_FIRST_UNIT;
    return node == FirstUnitNode    ? firstUnitControls
           : node == SecondUnitNode ? secondUnitControls
                                    : 0;
  }
  static constexpr bool isExtensionUnit(unsigned node) { return selectorsOn(node) != 0; }
  static constexpr bool hasControl(unsigned node, unsigned selector) {
    return selector >= 1 && selector <= selectorsOn(node);
  }

  // On the first unit: a write of (address, value) sets one of 256 sensor registers, and a read
  // answers (address, value) of the register last written.
  static constexpr unsigned RegisterSelector = OPTIQON_REGISTER_CONTROL;
  static constexpr std::size_t Registers = 256;
  // On the first unit: a write of the two password bytes unlocks the maintenance commands; a read
  // answers (state, 0).
  static constexpr unsigned PasswordSelector = OPTIQON_PASSWORD_CONTROL;
  static constexpr std::uint16_t FactoryPassword = 0x1A2B;
  enum class PasswordState : std::uint8_t { NotTried = 0, Accepted = 1, Refused = 2 };

  // A plain control keeps what is written to it as one of the camera's settings. The register and
  // password controls are doors to something else: what passes through them is no setting.
  static constexpr bool isPlainControl(unsigned node, unsigned selector) {
    return hasControl(node, selector) && !(node == FirstUnitNode && (selector == RegisterSelector ||
                                                                     selector == PasswordSelector));
  }

  // Video processing amplifier properties, numbered 0 (brightness) to 9 (gain), and their
  // capability flags.
  static constexpr unsigned AmplifierProperties = 10;
  static constexpr std::int32_t AutoFlag = 0x1;
  static constexpr std::int32_t ManualFlag = 0x2;
  struct PropertyRange {
    std::int32_t min;
    std::int32_t max;
    std::int32_t step;
    std::int32_t defaultValue;
    std::int32_t caps;
  };

  // Register 0xF0 takes the camera's settings commands: 0x01 saves the values a host set, so that
  // the camera starts from them when it is plugged in again; 0x05 puts back the values it left
  // the factory with and forgets those saved.
  static constexpr std::uint8_t SettingsRegister = 0xF0;
  static constexpr std::uint8_t SaveSettingsCommand = 0x01;
  static constexpr std::uint8_t ResetSettingsCommand = 0x05;

  // The values a host sets, which the camera keeps as its settings: every plain control written,
  // and the value and mode of every image property it has.
  struct Values {
    std::map<std::pair<unsigned, unsigned>, std::vector<std::uint8_t>> controls;
    std::map<unsigned, std::pair<std::int32_t, std::int32_t>> properties;  // value, flags
    friend bool operator==(const Values&, const Values&) = default;
  };

  enum class Result {
    Done,
    NotFound,  // no such control or property on this camera
    Invalid,   // the request's length, value or flags are not acceptable
  };

  VideoCamera();

  // A write stores the bytes as sent, of any length; a read answers them cut or zero-filled to
  // the length asked. A control never written reads as zeros.
  Result setControl(unsigned node, unsigned selector, std::span<const std::uint8_t> bytes);
  Result getControl(unsigned node, unsigned selector, std::span<std::uint8_t> out) const;

  Result propertyRange(std::int32_t property, PropertyRange& range) const;
  Result setProperty(std::int32_t property, std::int32_t value, std::int32_t flags);
  Result getProperty(std::int32_t property, std::int32_t& value, std::int32_t& flags) const;
  // Makes a property one this camera model lacks: every call about it answers NotFound.
  void withdrawProperty(unsigned property);

  Values values() const;
  // Sets every control and property to `values`: a control they do not hold is never written, a
  // property they do not hold is at its default.
  void setValues(const Values& values);
  // The values the camera has now are those it leaves the factory with.
  void markFactoryValues() { factory_ = values(); }
  const Values& factoryValues() const { return factory_; }
  const std::optional<Values>& savedValues() const { return saved_; }
  void setSavedValues(std::optional<Values> saved) { saved_ = std::move(saved); }
  // The camera powered up again after it was unplugged: its saved values, else its factory ones.
  void powerUp() { setValues(saved_ ? *saved_ : factory_); }
  // Counts the changes to the values and to those saved, so that whoever keeps them can tell
  // when there is something new to keep.
  std::uint64_t changes() const { return changes_; }

  void setPassword(std::uint16_t password) { password_ = password; }
  PasswordState passwordState() const { return passwordState_; }
  std::uint8_t registerValue(std::uint8_t address) const { return registers_[address]; }
  std::uint8_t lastRegisterAddress() const { return lastAddress_; }
  // The bytes last written to a plain control; empty when it was never written.
  std::vector<std::uint8_t> storedControl(unsigned node, unsigned selector) const;
  // Every plain control ever written, by (node, selector), with the bytes it keeps.
  const std::map<std::pair<unsigned, unsigned>, std::vector<std::uint8_t>>& storedControls() const {
    return controls_;
  }

 private:
  struct Property {
    PropertyRange range;
    std::int32_t value;
    std::int32_t flags;
    bool supported;
  };
  const Property* property(std::int32_t number) const;
  void obeySettingsCommand(std::uint8_t command);

  std::map<std::pair<unsigned, unsigned>, std::vector<std::uint8_t>> controls_;
  std::array<std::uint8_t, Registers> registers_{};
  std::uint8_t lastAddress_ = 0;
  std::uint16_t password_ = FactoryPassword;
  PasswordState passwordState_ = PasswordState::NotTried;
  std::array<Property, AmplifierProperties> properties_;
  Values factory_;
  std::optional<Values> saved_;
  std::uint64_t changes_ = 0;
};

}  // namespace sim
