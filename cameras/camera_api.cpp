// The camera API's C functions: handles, the choice of a camera, the checks made before anything
// is sent, and every result turned into a code and a message.
#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "OptiqonCameras.h"
#include "camera_list.h"
#include "camera_messages.h"
#include "diagnostics.h"
#include "firmware_update.h"
#include "formatted.h"
#include "password_bytes.h"
#include "video_camera.h"

struct optiqon_camera_list {
  std::vector<cameras::CameraEntry> cameras;
};

struct optiqon_camera {
  std::mutex calls;  // one call at a time on this camera
  cameras::CameraEntry entry;
  std::unique_ptr<cameras::VideoCamera> video;
};

namespace {

using namespace cameras;
using camera_messages::NullArgument;

thread_local std::string lastError;

optiqon_result fail(optiqon_result result, std::string message) {
  lastError = std::move(message);
  return result;
}

optiqon_result succeed() {
  lastError.clear();
  return OPTIQON_OK;
}

optiqon_result nullArgument(const char* function, const char* what) {
  return fail(OPTIQON_BAD_ARGUMENT, formatted(NullArgument, function, what));
}

// "K3M51-A001 at 1-2, K3M51-B002 at 1-3": the cameras a person can choose from.
std::string present(const std::vector<CameraEntry>& list) {
  if (list.empty()) {
    return camera_messages::NoneAsPresent;
  }
  std::string text;
  for (const CameraEntry& camera : list) {
    if (!text.empty()) {
      text += ", ";
    }
    text += camera.serialKnown ? camera.serial : std::string("(no serial number)");
    if (!camera.location.empty()) {
      text += " at " + camera.location;
    }
  }
  return text;
}

std::string locations(const std::vector<const CameraEntry*>& cameras) {
  std::string text;
  for (const CameraEntry* camera : cameras) {
    text += (text.empty() ? "" : ", ") + camera->location;
  }
  return text;
}

// A camera's name in messages: its serial number, or where it is plugged in.
std::string nameOf(const CameraEntry& camera) {
  if (camera.serialKnown) {
    return camera.serial;
  }
  return camera.location.empty() ? std::string("(no serial number)") : "at " + camera.location;
}

optiqon_result openEntry(const CameraEntry& entry, optiqon_camera** camera) {
  auto opened = std::make_unique<optiqon_camera>();
  opened->entry = entry;
  *camera = opened.release();
  return succeed();
}

optiqon_result chooseOne(const std::vector<const CameraEntry*>& fitting, std::string notFound,
                         std::string several, optiqon_camera** camera) {
  if (fitting.empty()) {
    return fail(OPTIQON_NO_CAMERA, std::move(notFound));
  }
  if (fitting.size() > 1) {
    return fail(OPTIQON_AMBIGUOUS, std::move(several));
  }
  return openEntry(*fitting.front(), camera);
}

// The result of a request the camera was sent, as a code and a message.
optiqon_result requestResult(optiqon_camera* camera, std::int32_t result, const char* what) {
  if (result == 0) {
    return succeed();
  }
  const std::string name = nameOf(camera->entry);
  if (isGone(result)) {
    camera->video.reset();  // a camera plugged in again is opened anew
    return fail(OPTIQON_GONE, formatted(camera_messages::Gone, name.c_str()));
  }
  return fail(OPTIQON_REFUSED, formatted(camera_messages::RequestFailed, name.c_str(), what,
                                         static_cast<unsigned>(result)));
}

// The camera's video device, opened at its first use and again after it went away.
optiqon_result videoOf(optiqon_camera* camera, VideoCamera*& video) {
  const std::string name = nameOf(camera->entry);
  if (!camera->entry.videoLink) {
    return fail(OPTIQON_NOT_AVAILABLE, formatted(camera_messages::NoVideoSide, name.c_str()));
  }
  if (!camera->video) {
    std::int32_t result = 0;
    camera->video = VideoCamera::open(*camera->entry.videoLink, result);
    if (!camera->video) {
      return isGone(result)
                 ? fail(OPTIQON_GONE, formatted(camera_messages::Gone, name.c_str()))
                 : fail(OPTIQON_FAILED, formatted(camera_messages::OpenFailed, name.c_str(),
                                                  static_cast<unsigned>(result)));
    }
  }
  video = camera->video.get();
  return OPTIQON_OK;
}

// Runs `request` on the camera's video device, one call at a time.
template <typename Request>
optiqon_result onVideo(optiqon_camera* camera, const char* what, Request request) {
  if (camera == nullptr) {
    return nullArgument(what, "camera");
  }
  const std::lock_guard<std::mutex> lock(camera->calls);
  VideoCamera* video = nullptr;
  const optiqon_result opened = videoOf(camera, video);
  if (opened != OPTIQON_OK) {
    return opened;
  }
  return request(*video);
}

const CameraEntry* entryAt(const optiqon_camera_list* list, size_t index) {
  return list != nullptr && index < list->cameras.size() ? &list->cameras[index] : nullptr;
}

// Brightness (0) to gain (9): the amplifier's numbers; nothing is sent for another.
optiqon_result checkProperty(int property) {
  if (property < 0 || property > 9) {
    return fail(OPTIQON_BAD_ARGUMENT, formatted(camera_messages::NoImageProperty, property));
  }
  return OPTIQON_OK;
}

optiqon_result checkControl(int number, std::size_t length, bool reading) {
  const int carries = OptiqonControlLength(number);
  if (carries == 0) {
    return fail(OPTIQON_BAD_ARGUMENT, formatted(camera_messages::NoSuchControl, number));
  }
  if (reading && length < static_cast<std::size_t>(carries)) {
    return fail(OPTIQON_BUFFER_TOO_SMALL,
                formatted(camera_messages::BufferTooSmall, number, carries, length));
  }
  if (!reading && length != static_cast<std::size_t>(carries)) {
    return fail(OPTIQON_BAD_ARGUMENT,
                formatted(camera_messages::WrongLength, number, carries, length));
  }
  return OPTIQON_OK;
}

bool isPassword(const char* text) {
  if (std::strlen(text) != 4) {
    return false;
  }
  for (int i = 0; i < 4; ++i) {
    if (std::isxdigit(static_cast<unsigned char>(text[i])) == 0) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" {

optiqon_result optiqon_list_cameras(optiqon_camera_list** list) {
  if (list == nullptr) {
    return nullArgument("optiqon_list_cameras", "list");
  }
  *list = new optiqon_camera_list{listCameras()};
  return succeed();
}

void optiqon_free_camera_list(optiqon_camera_list* list) {
  delete list;
}

size_t optiqon_camera_count(const optiqon_camera_list* list) {
  return list != nullptr ? list->cameras.size() : 0;
}

const char* optiqon_camera_serial(const optiqon_camera_list* list, size_t index) {
  const CameraEntry* camera = entryAt(list, index);
  return camera != nullptr ? camera->serial.c_str() : "";
}

int optiqon_camera_serial_known(const optiqon_camera_list* list, size_t index) {
  const CameraEntry* camera = entryAt(list, index);
  return camera != nullptr && camera->serialKnown ? 1 : 0;
}

const char* optiqon_camera_location(const optiqon_camera_list* list, size_t index) {
  const CameraEntry* camera = entryAt(list, index);
  return camera != nullptr ? camera->location.c_str() : "";
}

optiqon_side_state optiqon_camera_video_side(const optiqon_camera_list* list, size_t index) {
  const CameraEntry* camera = entryAt(list, index);
  return camera != nullptr && camera->videoLink ? OPTIQON_SIDE_FOUND : OPTIQON_SIDE_MISSING;
}

optiqon_side_state optiqon_camera_hid_side(const optiqon_camera_list* list, size_t index) {
  const CameraEntry* camera = entryAt(list, index);
  return camera != nullptr && camera->hidPath ? OPTIQON_SIDE_FOUND : OPTIQON_SIDE_MISSING;
}

optiqon_result optiqon_open(const char* serial, optiqon_camera** camera) {
  if (camera == nullptr) {
    return nullArgument("optiqon_open", "camera");
  }
  *camera = nullptr;
  const std::vector<CameraEntry> list = listCameras();
  if (serial == nullptr) {
    std::vector<const CameraEntry*> all;
    for (const CameraEntry& entry : list) {
      all.push_back(&entry);
    }
    return chooseOne(all, camera_messages::NoCamera,
                     formatted(camera_messages::SeveralCameras, list.size(), present(list).c_str()),
                     camera);
  }
  const std::vector<const CameraEntry*> fitting = camerasWithSerial(list, serial);
  return chooseOne(
      fitting, formatted(camera_messages::NoCameraWithSerial, serial, present(list).c_str()),
      formatted(camera_messages::SameSerial, fitting.size(), serial, locations(fitting).c_str()),
      camera);
}

optiqon_result optiqon_open_at(const char* location, optiqon_camera** camera) {
  if (camera == nullptr || location == nullptr) {
    return nullArgument("optiqon_open_at", camera == nullptr ? "camera" : "location");
  }
  *camera = nullptr;
  const std::vector<CameraEntry> list = listCameras();
  const std::vector<const CameraEntry*> fitting = camerasAt(list, location);
  return chooseOne(fitting, formatted(camera_messages::NoCameraAt, location, present(list).c_str()),
                   formatted(camera_messages::NoCameraAt, location, present(list).c_str()), camera);
}

void optiqon_close(optiqon_camera* camera) {
  delete camera;
}

const char* optiqon_serial(const optiqon_camera* camera) {
  return camera != nullptr ? camera->entry.serial.c_str() : "";
}

int optiqon_serial_known(const optiqon_camera* camera) {
  return camera != nullptr && camera->entry.serialKnown ? 1 : 0;
}

const char* optiqon_location(const optiqon_camera* camera) {
  return camera != nullptr ? camera->entry.location.c_str() : "";
}

optiqon_result optiqon_property_range_of(optiqon_camera* camera, int property,
                                         optiqon_property_range* range) {
  if (range == nullptr) {
    return nullArgument("optiqon_property_range_of", "range");
  }
  if (const optiqon_result checked = checkProperty(property); checked != OPTIQON_OK) {
    return checked;
  }
  return onVideo(camera, "optiqon_property_range_of", [&](VideoCamera& video) {
    PropertyRange read;
    const optiqon_result result =
        requestResult(camera, video.range(property, read), "reading an image property's range");
    if (result == OPTIQON_OK) {
      *range = {read.minimum,      read.maximum,        read.step,
                read.defaultValue, read.canBeAutomatic, read.canBeManual};
    }
    return result;
  });
}

optiqon_result optiqon_get_property(optiqon_camera* camera, int property, long* value,
                                    int* automatic) {
  if (value == nullptr) {
    return nullArgument("optiqon_get_property", "value");
  }
  if (const optiqon_result checked = checkProperty(property); checked != OPTIQON_OK) {
    return checked;
  }
  return onVideo(camera, "optiqon_get_property", [&](VideoCamera& video) {
    long read = 0;
    bool isAutomatic = false;
    const optiqon_result result =
        requestResult(camera, video.get(property, read, isAutomatic), "reading an image property");
    if (result == OPTIQON_OK) {
      *value = read;
      if (automatic != nullptr) {
        *automatic = isAutomatic ? 1 : 0;
      }
    }
    return result;
  });
}

optiqon_result optiqon_set_property(optiqon_camera* camera, int property, long value,
                                    int automatic) {
  if (const optiqon_result checked = checkProperty(property); checked != OPTIQON_OK) {
    return checked;
  }
  return onVideo(camera, "optiqon_set_property", [&](VideoCamera& video) {
    PropertyRange range;
    optiqon_result result =
        requestResult(camera, video.range(property, range), "reading an image property's range");
    if (result != OPTIQON_OK) {
      return result;
    }
    if (automatic != 0 && !range.canBeAutomatic) {
      return fail(OPTIQON_BAD_ARGUMENT, formatted(camera_messages::NoAutomaticMode, property));
    }
    if (value < range.minimum || value > range.maximum) {
      return fail(OPTIQON_BAD_ARGUMENT, formatted(camera_messages::OutOfRange, value, property,
                                                  range.minimum, range.maximum));
    }
    return requestResult(camera, video.set(property, value, automatic != 0),
                         "setting an image property");
  });
}

optiqon_result optiqon_get_control(optiqon_camera* camera, int number, unsigned char* bytes,
                                   size_t length) {
  if (bytes == nullptr) {
    return nullArgument("optiqon_get_control", "buffer");
  }
  const optiqon_result checked = checkControl(number, length, true);
  if (checked != OPTIQON_OK) {
    return checked;
  }
  return onVideo(camera, "optiqon_get_control", [&](VideoCamera& video) {
    const auto carries = static_cast<std::size_t>(OptiqonControlLength(number));
    std::vector<std::uint8_t> read(carries, 0);
    const optiqon_result result = requestResult(
        camera, video.readControl(number, read.data(), read.size()), "reading a vendor control");
    if (result == OPTIQON_OK) {
      std::memcpy(bytes, read.data(), carries);
    }
    return result;
  });
}

optiqon_result optiqon_set_control(optiqon_camera* camera, int number, const unsigned char* bytes,
                                   size_t length) {
  if (bytes == nullptr) {
    return nullArgument("optiqon_set_control", "buffer");
  }
  const optiqon_result checked = checkControl(number, length, false);
  if (checked != OPTIQON_OK) {
    return checked;
  }
  return onVideo(camera, "optiqon_set_control", [&](VideoCamera& video) {
    return requestResult(camera, video.writeControl(number, bytes, length),
                         "writing a vendor control");
  });
}

optiqon_result optiqon_set_register(optiqon_camera* camera, unsigned char address,
                                    unsigned char value) {
  return onVideo(camera, "optiqon_set_register", [&](VideoCamera& video) {
    return requestResult(camera, video.writeRegister(address, value), "writing the register");
  });
}

optiqon_result optiqon_get_register(optiqon_camera* camera, unsigned char* value) {
  if (value == nullptr) {
    return nullArgument("optiqon_get_register", "value");
  }
  return onVideo(camera, "optiqon_get_register", [&](VideoCamera& video) {
    std::uint8_t read = 0;
    const optiqon_result result =
        requestResult(camera, video.readRegister(read), "reading the register");
    if (result == OPTIQON_OK) {
      *value = read;
    }
    return result;
  });
}

optiqon_result optiqon_set_password(optiqon_camera* camera, const char* password) {
  if (password == nullptr) {
    return nullArgument("optiqon_set_password", "password");
  }
  if (!isPassword(password)) {
    return fail(OPTIQON_BAD_ARGUMENT, camera_messages::BadPassword);
  }
  const PasswordBytes bytes = passwordBytes(password);
  return onVideo(camera, "optiqon_set_password", [&](VideoCamera& video) {
    bool accepted = false;
    const optiqon_result result = requestResult(
        camera, video.sendPassword(bytes.first, bytes.second, accepted), "sending the password");
    if (result == OPTIQON_OK && !accepted) {
      return fail(OPTIQON_REFUSED,
                  formatted(camera_messages::PasswordRefused, nameOf(camera->entry).c_str()));
    }
    return result;
  });
}

optiqon_result optiqon_save_settings(optiqon_camera* camera) {
  return onVideo(camera, "optiqon_save_settings", [&](VideoCamera& video) {
    return requestResult(camera, video.saveSettings(), "saving the settings");
  });
}

optiqon_result optiqon_reset_settings(optiqon_camera* camera) {
  return onVideo(camera, "optiqon_reset_settings", [&](VideoCamera& video) {
    return requestResult(camera, video.resetSettings(), "resetting the settings");
  });
}

optiqon_result optiqon_check_image(const void* image, size_t length, unsigned* pages) {
  if (image == nullptr && length > 0) {
    return nullArgument("optiqon_check_image", "image");
  }
  const auto problem = imageProblem(static_cast<const std::uint8_t*>(image), length, pages);
  return problem ? fail(OPTIQON_BAD_ARGUMENT, *problem) : succeed();
}

optiqon_update_verdict optiqon_update_firmware(optiqon_camera* camera, const void* image,
                                               size_t length, optiqon_progress_callback progress,
                                               void* context) {
  if (camera == nullptr) {
    nullArgument("optiqon_update_firmware", "camera");
    return OPTIQON_UPDATE_NO_CAMERA;
  }
  if (image == nullptr && length > 0) {
    nullArgument("optiqon_update_firmware", "image");
    return OPTIQON_UPDATE_IMAGE_REFUSED;
  }
  const std::lock_guard<std::mutex> lock(camera->calls);
  if (!camera->entry.hidPath) {
    fail(OPTIQON_NOT_AVAILABLE,
         formatted(camera_messages::NoHidSide, nameOf(camera->entry).c_str()));
    return OPTIQON_UPDATE_NO_CAMERA;
  }
  const UpdateOutcome outcome =
      updateFirmware(*camera->entry.hidPath, nameOf(camera->entry),
                     static_cast<const std::uint8_t*>(image), length, progress, context);
  if (outcome.verdict == OPTIQON_UPDATE_VERIFIED) {
    succeed();
  } else {
    fail(OPTIQON_FAILED, outcome.message);
  }
  return static_cast<optiqon_update_verdict>(outcome.verdict);
}

const char* optiqon_last_error(void) {
  return lastError.c_str();
}

void optiqon_set_diagnostics(optiqon_diagnostics_callback callback, void* context) {
  setDiagnostics(callback, context);
}

const char* optiqon_version(void) {
  return OPTIQON_CAMERAS_VERSION;
}

}  // extern "C"
