// The cameras over the camera API (OptiqonCameras.h): a handle per camera, values and verdicts as
// codes, and the API's messages for the user. The API prints nothing; its diagnostics (each
// platform call that failed) are shown on standard error, or where the command sends them.
#include <OptiqonCameras.h>

#include <iostream>
#include <mutex>

#include "camera.h"

namespace {

std::mutex diagnosticsGuard;
DiagnosticLines diagnosticsTaker;  // none: standard error

void showDiagnostic(void*, const char* line) {
  const std::lock_guard<std::mutex> lock(diagnosticsGuard);
  if (diagnosticsTaker) {
    diagnosticsTaker(line);
  } else {
    std::cerr << line << '\n';
  }
}

void showDiagnosticsOnce() {
  static std::once_flag set;
  std::call_once(set, [] { optiqon_set_diagnostics(showDiagnostic, nullptr); });
}

class CameraList {
 public:
  CameraList() {
    showDiagnosticsOnce();
    if (optiqon_list_cameras(&list_) != OPTIQON_OK) {
      throw CommandFailure(Refused, optiqon_last_error());
    }
  }
  ~CameraList() { optiqon_free_camera_list(list_); }
  CameraList(const CameraList&) = delete;
  CameraList& operator=(const CameraList&) = delete;

  std::vector<CameraListing> listings() const {
    std::vector<CameraListing> cameras;
    for (std::size_t i = 0; i < optiqon_camera_count(list_); ++i) {
      CameraListing camera;
      if (optiqon_camera_serial_known(list_, i) != 0) {
        camera.serialNumber = optiqon_camera_serial(list_, i);
      }
      camera.location = optiqon_camera_location(list_, i);
      camera.videoSide = optiqon_camera_video_side(list_, i) == OPTIQON_SIDE_FOUND;
      camera.hidSide = optiqon_camera_hid_side(list_, i) == OPTIQON_SIDE_FOUND;
      cameras.push_back(std::move(camera));
    }
    return cameras;
  }

 private:
  optiqon_camera_list* list_ = nullptr;
};

class ApiCamera : public Camera {
 public:
  ApiCamera(optiqon_camera* handle, std::optional<std::string> serial)
      : handle_(handle), serial_(std::move(serial)) {}
  ~ApiCamera() override { optiqon_close(handle_); }
  ApiCamera(const ApiCamera&) = delete;
  ApiCamera& operator=(const ApiCamera&) = delete;

  std::optional<std::string> serialNumber() override { return serial_; }
  std::string location() override { return optiqon_location(handle_); }

  Reading read(const Setting& setting) override {
    Reading reading{setting, std::nullopt, std::nullopt};
    if (setting.kind == Setting::Kind::Property) {
      if (const std::optional<PropertyState> state = readProperty(setting.number)) {
        reading.property = static_cast<int>(state->value);
      }
    } else {
      reading.control = readControl(setting.number);
    }
    return reading;
  }

  bool write(const Setting& setting, const std::vector<double>& values) override {
    if (setting.kind == Setting::Kind::Property) {
      return writeProperty(setting.number, static_cast<long>(values[0]), false);
    }
    std::vector<unsigned char> bytes;
    for (double value : values) {
      bytes.push_back(static_cast<unsigned char>(
          setting.number == ScaledControl ? static_cast<int>(OptiqonScaledForWriting(value))
                                          : static_cast<int>(value)));
    }
    return succeeded(optiqon_set_control(handle_, setting.number, bytes.data(), bytes.size()));
  }

  std::optional<PropertyRange> propertyRange(int property) override {
    optiqon_property_range range{};
    if (!succeeded(optiqon_property_range_of(handle_, property, &range))) {
      return std::nullopt;
    }
    return PropertyRange{range.minimum,
                         range.maximum,
                         range.step,
                         range.default_value,
                         range.can_be_automatic != 0,
                         range.can_be_manual != 0};
  }

  std::optional<PropertyState> readProperty(int property) override {
    long value = 0;
    int automatic = 0;
    if (!succeeded(optiqon_get_property(handle_, property, &value, &automatic))) {
      return std::nullopt;
    }
    return PropertyState{value, automatic != 0};
  }

  bool writeProperty(int property, long value, bool automatic) override {
    return succeeded(optiqon_set_property(handle_, property, value, automatic ? 1 : 0));
  }

  bool writeRegister(unsigned char address, unsigned char value) override {
    return succeeded(optiqon_set_register(handle_, address, value));
  }

  // Control 3's byte is the address of the register last given.
  RegisterAnswer readRegister() override {
    RegisterAnswer answer;
    for (double byte : readControl(RegisterControl).value_or(std::vector<double>{})) {
      answer.lastGiven.push_back(static_cast<int>(byte));
    }
    unsigned char value = 0;
    if (succeeded(optiqon_get_register(handle_, &value))) {
      answer.value = value;
    }
    return answer;
  }

  bool sendPassword(const std::string& password) override {
    return succeeded(optiqon_set_password(handle_, password.c_str()));
  }

  bool storeSettings() override { return succeeded(optiqon_save_settings(handle_)); }
  bool restoreFactorySettings() override { return succeeded(optiqon_reset_settings(handle_)); }
  std::string lastFailure() override { return lastFailure_; }

  UpdateVerdict updateFirmware(const std::vector<unsigned char>& image,
                               const PageProgress& progress) override {
    const optiqon_update_verdict verdict = optiqon_update_firmware(
        handle_, image.data(), image.size(), tellProgress, const_cast<PageProgress*>(&progress));
    UpdateVerdict outcome{static_cast<int>(verdict), ""};
    if (verdict != OPTIQON_UPDATE_VERIFIED) {
      outcome.failure = optiqon_last_error();
    }
    return outcome;
  }

 private:
  static void tellProgress(void* context, unsigned pagesWritten, unsigned pages) {
    (*static_cast<const PageProgress*>(context))(pagesWritten, pages);
  }

  // A camera that went away, or whose side the request needs was not found, ends the command
  // for it; any other failure is the caller's to tell.
  bool succeeded(optiqon_result result) {
    if (result == OPTIQON_OK) {
      return true;
    }
    lastFailure_ = optiqon_last_error();
    if (result == OPTIQON_GONE) {
      throw CameraGone(lastFailure_);
    }
    if (result == OPTIQON_NOT_AVAILABLE) {
      throw CommandFailure(NoCamera, lastFailure_);
    }
    return false;
  }

  std::optional<std::vector<double>> readControl(int number) {
    std::vector<unsigned char> bytes(static_cast<std::size_t>(controlLength(number)));
    if (!succeeded(optiqon_get_control(handle_, number, bytes.data(), bytes.size()))) {
      return std::nullopt;
    }
    std::vector<double> values;
    for (unsigned char byte : bytes) {
      values.push_back(number == ScaledControl ? OptiqonScaledAfterReading(byte) : byte);
    }
    return values;
  }

  optiqon_camera* handle_;
  std::optional<std::string> serial_;
  std::string lastFailure_;
};

// The serial number the camera gave when the list was made; none when it gave none.
std::optional<std::string> serialOf(optiqon_camera* handle) {
  if (optiqon_serial_known(handle) == 0) {
    return std::nullopt;
  }
  return std::string(optiqon_serial(handle));
}

}  // namespace

void sendDiagnosticsTo(DiagnosticLines taker) {
  const std::lock_guard<std::mutex> lock(diagnosticsGuard);
  diagnosticsTaker = std::move(taker);
}

std::vector<CameraListing> listCameras() {
  return CameraList().listings();
}

std::unique_ptr<Camera> openCamera(const CameraWanted& wanted) {
  showDiagnosticsOnce();
  optiqon_camera* handle = nullptr;
  const optiqon_result result =
      wanted.location ? optiqon_open_at(wanted.location->c_str(), &handle)
                      : optiqon_open(wanted.serial ? wanted.serial->c_str() : nullptr, &handle);
  if (result == OPTIQON_AMBIGUOUS) {
    throw CommandFailure(BadUsage, optiqon_last_error());
  }
  if (result != OPTIQON_OK) {
    throw CommandFailure(NoCamera, optiqon_last_error());
  }
  return std::make_unique<ApiCamera>(handle, serialOf(handle));
}

unsigned checkFirmwareImage(const std::vector<unsigned char>& image) {
  unsigned pages = 0;
  if (optiqon_check_image(image.data(), image.size(), &pages) != OPTIQON_OK) {
    throw UsageError(optiqon_last_error());
  }
  return pages;
}
