/* A host of the Optiqon camera API in plain C: it lists every camera on the PC with its serial
 * number, where it is plugged in and which of its sides were found, then opens the second camera
 * by its serial number (by its location when it gave none), sets its brightness to the value on
 * the command line, or to the camera's default without one, and reads it back.
 *
 * Exit codes: 0 the brightness was set and read back; 1 fewer than two cameras are connected;
 * 2 the command line is wrong; 3 the camera API refused or failed a call (its message is shown). */
#include <OptiqonCameras.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

enum { STATUS_DONE = 0, STATUS_TOO_FEW_CAMERAS = 1, STATUS_USAGE = 2, STATUS_CAMERA_FAILED = 3 };

/* The video processing amplifier's first property. */
enum { BRIGHTNESS = 0 };

/* The second camera in the list, the one whose brightness is set. */
enum { CHOSEN = 1 };

static void printDiagnostic(void* context, const char* line) {
  (void)context;
  fprintf(stderr, "diagnostic: %s\n", line);
}

static const char* sideState(optiqon_side_state state) {
  return state == OPTIQON_SIDE_FOUND ? "found" : "missing";
}

/* A camera as a person tells it apart: its serial number, or that it gave none. */
static const char* cameraName(const optiqon_camera_list* list, size_t index) {
  return optiqon_camera_serial_known(list, index) ? optiqon_camera_serial(list, index)
                                                  : "(no serial number)";
}

static void printCameras(const optiqon_camera_list* list) {
  size_t count = optiqon_camera_count(list);
  size_t index;
  printf("%lu camera%s connected:\n", (unsigned long)count, count == 1 ? "" : "s");
  for (index = 0; index < count; ++index) {
    const char* location = optiqon_camera_location(list, index);
    printf("  %lu. %s at %s: video device %s, HID interface %s\n", (unsigned long)(index + 1),
           cameraName(list, index), location[0] != '\0' ? location : "(unknown location)",
           sideState(optiqon_camera_video_side(list, index)),
           sideState(optiqon_camera_hid_side(list, index)));
  }
}

/* The brightness the command line asks for; 0 when it names none, -1 when it is no number. */
static int requestedBrightness(int argc, char** argv, long* value) {
  char* end = NULL;
  if (argc < 2) {
    return 0;
  }
  errno = 0;
  *value = strtol(argv[1], &end, 10);
  if (argc > 2 || end == argv[1] || *end != '\0' || errno == ERANGE) {
    return -1;
  }
  return 1;
}

static int cameraFailed(const char* name, const char* what) {
  fprintf(stderr, "Camera %s: %s: %s\n", name, what, optiqon_last_error());
  return STATUS_CAMERA_FAILED;
}

/* Sets the camera's brightness (its default when `given` is 0) and shows what it reads back. */
static int setBrightness(optiqon_camera* camera, const char* name, int given, long value) {
  optiqon_property_range range;
  long reading = 0;
  int automatic = 0;
  if (optiqon_property_range_of(camera, BRIGHTNESS, &range) != OPTIQON_OK) {
    return cameraFailed(name, "the brightness's range");
  }
  if (!given) {
    value = range.default_value;
  }
  if (optiqon_set_property(camera, BRIGHTNESS, value, 0) != OPTIQON_OK) {
    return cameraFailed(name, "setting the brightness");
  }
  if (optiqon_get_property(camera, BRIGHTNESS, &reading, &automatic) != OPTIQON_OK) {
    return cameraFailed(name, "reading the brightness");
  }
  printf("Camera %s: brightness set to %ld (range %ld to %ld), reads %ld%s\n", name, value,
         range.minimum, range.maximum, reading, automatic ? " (automatic)" : "");
  return STATUS_DONE;
}

/* Opens the second camera of the list, by serial number when it gave one, else by location. */
static int useSecondCamera(const optiqon_camera_list* list, int given, long value) {
  optiqon_camera* camera = NULL;
  const char* name = cameraName(list, CHOSEN);
  optiqon_result opened = optiqon_camera_serial_known(list, CHOSEN)
                              ? optiqon_open(optiqon_camera_serial(list, CHOSEN), &camera)
                              : optiqon_open_at(optiqon_camera_location(list, CHOSEN), &camera);
  int status;
  if (opened != OPTIQON_OK) {
    return cameraFailed(name, "opening it");
  }
  status = setBrightness(camera, name, given, value);
  optiqon_close(camera);
  return status;
}

int main(int argc, char** argv) {
  optiqon_camera_list* list = NULL;
  long value = 0;
  int given = requestedBrightness(argc, argv, &value);
  int status;
  if (given < 0) {
    fprintf(stderr, "usage: %s [BRIGHTNESS]\n", argv[0]);
    return STATUS_USAGE;
  }
  optiqon_set_diagnostics(printDiagnostic, NULL);
  printf("Optiqon camera API %s\n", optiqon_version());
  if (optiqon_list_cameras(&list) != OPTIQON_OK) {
    fprintf(stderr, "The cameras could not be listed: %s\n", optiqon_last_error());
    return STATUS_CAMERA_FAILED;
  }
  if (optiqon_camera_count(list) == 0) {
    printf("No Corvantis Optiqon camera is connected.\n");
    optiqon_free_camera_list(list);
    return STATUS_TOO_FEW_CAMERAS;
  }
  printCameras(list);
  if (optiqon_camera_count(list) < 2) {
    printf(
        "Only one Corvantis Optiqon camera is connected: connect a second to set its "
        "brightness.\n");
    status = STATUS_TOO_FEW_CAMERAS;
  } else {
    status = useSecondCamera(list, given, value);
  }
  optiqon_free_camera_list(list);
  return status;
}
