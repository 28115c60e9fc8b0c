// Every text the camera API hands its callers, each written once. Callers show them to people;
// codes, not these texts, say what happened.
#pragma once

namespace camera_messages {

inline constexpr const char* NoCamera = "no camera found";
inline constexpr const char* NoCameraWithSerial = "no camera with serial number %s; present: %s";
inline constexpr const char* NoCameraAt = "no camera at %s; present: %s";
inline constexpr const char* SeveralCameras =
    "%zu cameras are plugged in (%s): choose one by its serial number";
inline constexpr const char* SameSerial =
    "%zu cameras give serial number %s (at %s): choose one by its location";
inline constexpr const char* NoneAsPresent = "none";
inline constexpr const char* NullArgument = "%s: a null pointer where a %s was expected";

inline constexpr const char* NoVideoSide =
    "camera %s: its video device was not found, so its settings cannot be reached";
inline constexpr const char* NoHidSide =
    "camera %s: its HID interface was not found, so its firmware cannot be reached";
inline constexpr const char* Gone = "camera %s is no longer plugged in";
inline constexpr const char* OpenFailed =
    "camera %s: its video device could not be opened (0x%08x)";
inline constexpr const char* RequestFailed = "camera %s: %s failed (0x%08x)";

inline constexpr const char* NoImageProperty =
    "there is no image property %d: image properties are 0 (brightness) to 9 (gain)";
inline constexpr const char* OutOfRange =
    "%ld is outside the range of image property %d, %ld to %ld";
inline constexpr const char* NoAutomaticMode = "image property %d has no automatic mode";
inline constexpr const char* NoSuchControl = "there is no vendor control %d: controls are 1 to 39";
inline constexpr const char* WrongLength = "vendor control %d carries %d bytes, not %zu";
inline constexpr const char* BufferTooSmall =
    "vendor control %d carries %d bytes; the buffer holds %zu";
inline constexpr const char* BadPassword = "a password is four hexadecimal digits";
inline constexpr const char* PasswordRefused = "camera %s did not take the password";
inline constexpr const char* RegisterUnreadable = "camera %s did not answer for its register";

inline constexpr const char* ImageEmpty = "the image is empty";
inline constexpr const char* ImageTooLarge =
    "the image is %zu bytes: the camera's flash takes at most %u";
inline constexpr const char* HidGone =
    "camera %s: its HID interface could not be opened: unplugged, or in use by a program that "
    "holds it alone";
inline constexpr const char* EraseFailed = "camera %s: a flash sector stayed busy: erase failed";
inline constexpr const char* DownloadFailed =
    "camera %s: page %u of %u did not verify: the download failed";
inline constexpr const char* WriteRefused = "camera %s refused page %u of %u: the download failed";
inline constexpr const char* UnpluggedDuringUpdate =
    "camera %s was unplugged during the update, after %u of %u pages: it may be left without "
    "working firmware";

}  // namespace camera_messages
