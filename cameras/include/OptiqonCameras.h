/* The Optiqon camera API: every Corvantis Optiqon camera on the PC, each known by its serial
 * number and the USB port it is plugged into, for programs that serve several cameras at once.
 *
 * A camera is opened by its serial number (or its location, or as the only camera) and used
 * through its handle: image properties with their ranges and auto modes, the numbered vendor
 * controls, the sensor register, the password, saving and resetting the settings, and the
 * firmware update with its progress as it happens and its verdict as a code.
 *
 * The library prints nothing. A call returns an optiqon_result; when it is not OPTIQON_OK,
 * optiqon_last_error() holds a message for a person, in UTF-8, for the thread that made the call.
 * The library's own diagnostics (each platform call that failed) go to the callback a host may
 * set with optiqon_set_diagnostics.
 *
 * Threads: different cameras may be used from different threads at once; the calls on one
 * camera are made one after the other, whichever threads make them. Plain C: no C++ types cross
 * the boundary, and every text is UTF-8. */
#ifndef OPTIQON_CAMERAS_H
#define OPTIQON_CAMERAS_H

#include <stddef.h>

#include "OptiqonCamera.h"

#if defined(_WIN32)
#if defined(OPTIQON_CAMERAS_BUILDING_LIBRARY)
#define OPTIQON_CAMERAS_API __declspec(dllexport)
#else
#define OPTIQON_CAMERAS_API __declspec(dllimport)
#endif
#else
#if defined(OPTIQON_CAMERAS_BUILDING_LIBRARY)
#define OPTIQON_CAMERAS_API __attribute__((visibility("default")))
#else
#define OPTIQON_CAMERAS_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* What a call came to. The numbers are part of the interface and never change. */
typedef enum optiqon_result {
  OPTIQON_OK = 0,
  OPTIQON_NO_CAMERA = 1,        /* no camera, or none with the serial number or location asked */
  OPTIQON_AMBIGUOUS = 2,        /* several cameras fit: name one by serial number or location */
  OPTIQON_BAD_ARGUMENT = 3,     /* a null pointer, a number the camera does not have, a length
                                   or value it does not take: nothing was sent */
  OPTIQON_REFUSED = 4,          /* the camera refused the request or did not answer it */
  OPTIQON_GONE = 5,             /* the camera is no longer plugged in */
  OPTIQON_NOT_AVAILABLE = 6,    /* the side of the camera the request needs was not found: its
                                   video device for the settings, its HID interface for the
                                   serial number and the firmware */
  OPTIQON_BUFFER_TOO_SMALL = 7, /* the caller's buffer cannot hold the answer */
  OPTIQON_FAILED = 8            /* the platform failed (out of memory, a service missing) */
} optiqon_result;

/* The firmware update's verdict: the same numbers as the upgrader's exit codes. */
typedef enum optiqon_update_verdict {
  OPTIQON_UPDATE_VERIFIED = OPTIQON_UPGRADER_SUCCESS,    /* every page written and verified */
  OPTIQON_UPDATE_NO_CAMERA = OPTIQON_UPGRADER_NO_CAMERA, /* the camera's HID side not found */
  OPTIQON_UPDATE_IMAGE_REFUSED = OPTIQON_UPGRADER_IMAGE_REFUSED,    /* empty or too large: nothing
                                                                       was sent */
  OPTIQON_UPDATE_ERASE_FAILED = OPTIQON_UPGRADER_ERASE_FAILED,      /* a sector stayed busy, or the
                                                                       camera went away erasing */
  OPTIQON_UPDATE_DOWNLOAD_FAILED = OPTIQON_UPGRADER_DOWNLOAD_FAILED /* a page did not verify, a
                                                                       report was refused, or
                                                                       the camera went away */
} optiqon_update_verdict;

/* The state of one side of a camera in the list. */
typedef enum optiqon_side_state {
  OPTIQON_SIDE_MISSING = 0, /* not found */
  OPTIQON_SIDE_FOUND = 1    /* found and paired with the other side by their USB device */
} optiqon_side_state;

/* ---- The cameras present ---------------------------------------------------------------- */

typedef struct optiqon_camera_list optiqon_camera_list;

/* Lists the cameras plugged in now, in the order of their locations. An empty list is a
 * success: count 0. The list is the caller's, freed with optiqon_free_camera_list. */
OPTIQON_CAMERAS_API optiqon_result optiqon_list_cameras(optiqon_camera_list** list);
OPTIQON_CAMERAS_API void optiqon_free_camera_list(optiqon_camera_list* list);
OPTIQON_CAMERAS_API size_t optiqon_camera_count(const optiqon_camera_list* list);
/* The camera's serial number, as it gives it over its HID interface, in UTF-8; "" when it gave
 * none or its HID side was not found (optiqon_camera_serial_known then says 0). The texts belong
 * to the list. An index past the end gives "" and 0. */
OPTIQON_CAMERAS_API const char* optiqon_camera_serial(const optiqon_camera_list* list,
                                                      size_t index);
OPTIQON_CAMERAS_API int optiqon_camera_serial_known(const optiqon_camera_list* list, size_t index);
/* Where the camera is plugged in: the USB port path on Linux (1-2.3), the location path on
 * Windows (PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(3)). */
OPTIQON_CAMERAS_API const char* optiqon_camera_location(const optiqon_camera_list* list,
                                                        size_t index);
OPTIQON_CAMERAS_API optiqon_side_state optiqon_camera_video_side(const optiqon_camera_list* list,
                                                                 size_t index);
OPTIQON_CAMERAS_API optiqon_side_state optiqon_camera_hid_side(const optiqon_camera_list* list,
                                                               size_t index);

/* ---- A camera ----------------------------------------------------------------------------- */

typedef struct optiqon_camera optiqon_camera;

/* Opens the camera with this serial number, or, with a null serial, the only camera on the PC.
 * OPTIQON_NO_CAMERA when there is none; OPTIQON_AMBIGUOUS when several fit (several cameras and
 * no serial, or two cameras that give the same serial number): the message names them. */
OPTIQON_CAMERAS_API optiqon_result optiqon_open(const char* serial, optiqon_camera** camera);
/* Opens the camera plugged in at this location, as the list gives it. */
OPTIQON_CAMERAS_API optiqon_result optiqon_open_at(const char* location, optiqon_camera** camera);
/* Lets go of the camera. Null is allowed. */
OPTIQON_CAMERAS_API void optiqon_close(optiqon_camera* camera);

/* The camera's serial number and location as the list gave them when it was opened; the texts
 * belong to the camera. */
OPTIQON_CAMERAS_API const char* optiqon_serial(const optiqon_camera* camera);
/* 1 when the camera gave a serial number, 0 when it gave none or its HID side was not found. */
OPTIQON_CAMERAS_API int optiqon_serial_known(const optiqon_camera* camera);
OPTIQON_CAMERAS_API const char* optiqon_location(const optiqon_camera* camera);

/* Image properties, by the platform's video processing amplifier numbering (0 brightness, 1
 * contrast, 2 hue, 3 saturation, 4 sharpness, 5 gamma, 6 colour enable, 7 white balance, 8
 * backlight compensation, 9 gain). `automatic` is 1 when the camera sets the property itself. */
typedef struct optiqon_property_range {
  long minimum;
  long maximum;
  long step;
  long default_value;
  int can_be_automatic; /* the camera offers an automatic mode for it */
  int can_be_manual;
} optiqon_property_range;

OPTIQON_CAMERAS_API optiqon_result optiqon_property_range_of(optiqon_camera* camera, int property,
                                                             optiqon_property_range* range);
OPTIQON_CAMERAS_API optiqon_result optiqon_get_property(optiqon_camera* camera, int property,
                                                        long* value, int* automatic);
/* Sets the value in manual mode, or, with `automatic`, hands the property to the camera. A
 * value outside the property's range is refused with OPTIQON_BAD_ARGUMENT and not sent. */
OPTIQON_CAMERAS_API optiqon_result optiqon_set_property(optiqon_camera* camera, int property,
                                                        long value, int automatic);

/* Numbered vendor controls, 1 to 39, as bytes: a read fills exactly the control's length
 * (OptiqonControlLength) and a write takes exactly that many bytes. Control 30's byte is the
 * camera's; OptiqonScaledAfterReading and OptiqonScaledForWriting convert its number. */
OPTIQON_CAMERAS_API optiqon_result optiqon_get_control(optiqon_camera* camera, int number,
                                                       unsigned char* bytes, size_t length);
OPTIQON_CAMERAS_API optiqon_result optiqon_set_control(optiqon_camera* camera, int number,
                                                       const unsigned char* bytes, size_t length);

/* The sensor register: writes `value` to `address`; reads the value of the register last
 * addressed. */
OPTIQON_CAMERAS_API optiqon_result optiqon_set_register(optiqon_camera* camera,
                                                        unsigned char address, unsigned char value);
OPTIQON_CAMERAS_API optiqon_result optiqon_get_register(optiqon_camera* camera,
                                                        unsigned char* value);
/* Sends the password (four hexadecimal digits) and reads whether the camera took it:
 * OPTIQON_OK when it did, OPTIQON_REFUSED when it did not, OPTIQON_BAD_ARGUMENT for a password
 * that is not four hexadecimal digits (nothing sent). */
OPTIQON_CAMERAS_API optiqon_result optiqon_set_password(optiqon_camera* camera,
                                                        const char* password);
/* The camera stores its current settings, or goes back to its factory settings; both need the
 * password first. */
OPTIQON_CAMERAS_API optiqon_result optiqon_save_settings(optiqon_camera* camera);
OPTIQON_CAMERAS_API optiqon_result optiqon_reset_settings(optiqon_camera* camera);

/* ---- The firmware ------------------------------------------------------------------------ */

/* Called after each page is written and read back, and once before the first page with 0:
 * `pages_written` of `pages` in all. Called on the thread that runs the update. */
typedef void (*optiqon_progress_callback)(void* context, unsigned pages_written, unsigned pages);

/* Whether an image can be flashed: OPTIQON_OK, or OPTIQON_BAD_ARGUMENT (empty, or larger than
 * the camera's flash) with the reason. The pages it takes go to `pages` when not null. */
OPTIQON_CAMERAS_API optiqon_result optiqon_check_image(const void* image, size_t length,
                                                       unsigned* pages);
/* Erases the camera's flash, writes the image page by page and reads each page back. Returns
 * the verdict; optiqon_last_error() says what failed when it is not OPTIQON_UPDATE_VERIFIED.
 * From the first erase to the verdict the camera holds no working firmware: the call always runs
 * to its end. */
OPTIQON_CAMERAS_API optiqon_update_verdict
optiqon_update_firmware(optiqon_camera* camera, const void* image, size_t length,
                        optiqon_progress_callback progress, void* context);

/* ---- Messages ---------------------------------------------------------------------------- */

/* The message of the last call of this thread that did not succeed; "" when there was none. It
 * stays valid until this thread's next call into the library. */
OPTIQON_CAMERAS_API const char* optiqon_last_error(void);

/* Where the library's diagnostics go: one line at a time, without its line end, from the thread
 * that made the failing call. Null (the default) drops them. */
typedef void (*optiqon_diagnostics_callback)(void* context, const char* line);
OPTIQON_CAMERAS_API void optiqon_set_diagnostics(optiqon_diagnostics_callback callback,
                                                 void* context);

/* The library's version, "1.0.0". */
OPTIQON_CAMERAS_API const char* optiqon_version(void);

#ifdef __cplusplus
}
#endif

#endif /* OPTIQON_CAMERAS_H */
