/* Facts about the Corvantis Optiqon camera that the library, the firmware upgrader, the kit's
 * tools and host applications share: how its numbered vendor controls map onto its two UVC
 * extension units, how many bytes each carries, how control 30 scales its number, and the
 * upgrader's exit codes. Plain C, so that hosts in C and C++ alike can include it. */
#ifndef OPTIQON_CAMERA_H
#define OPTIQON_CAMERA_H

/* The numbered vendor controls, as the library's SetPropertyExtended and GetPropertyExtended
 * number them: 1 to 31 are selectors 1 to 31 of the first extension unit (topology node 2),
 * 32 to 39 selectors 1 to 8 of the second (node 3). */
enum {
  OPTIQON_FIRST_CONTROL = 1,
  OPTIQON_LAST_CONTROL_OF_FIRST_UNIT = 31,
  OPTIQON_LAST_CONTROL = 39,
  OPTIQON_FIRST_UNIT_NODE = 2,
  OPTIQON_SECOND_UNIT_NODE = 3,
  /* Doors to something else rather than settings: a sensor register (address, value), and the
   * two password bytes that unlock saving and resetting the settings. */
  OPTIQON_REGISTER_CONTROL = 3,
  OPTIQON_PASSWORD_CONTROL = 6,
  /* The control that carries a scaled number in its one byte instead of plain bytes. */
  OPTIQON_SCALED_CONTROL = 30
};

/* The topology node of the extension unit that holds control `number`, and the control's
 * selector there. Numbers up to 31, zero and negative ones too, go to the first unit, as the
 * library sends them. */
static inline int OptiqonControlNode(int number) {
  return number <= OPTIQON_LAST_CONTROL_OF_FIRST_UNIT ? OPTIQON_FIRST_UNIT_NODE
                                                      : OPTIQON_SECOND_UNIT_NODE;
}
static inline int OptiqonControlSelector(int number) {
  return number <= OPTIQON_LAST_CONTROL_OF_FIRST_UNIT ? number
                                                      : number - OPTIQON_LAST_CONTROL_OF_FIRST_UNIT;
}

/* The bytes vendor control `number` carries; 0 for a number the camera does not have. */
static inline int OptiqonControlLength(int number) {
  switch (number) {
    case 20:
    case 21:
      return 4;
    case 6:
    case 23:
    case 24:
    case 25:
    case 36:
    case 39:
      return 2;
    default:
      return number >= OPTIQON_FIRST_CONTROL && number <= OPTIQON_LAST_CONTROL ? 1 : 0;
  }
}

/* Control 30's number and its byte. The library writes the byte (number - 0.45) * 20, truncated
 * toward zero, and reads the byte back as byte * 0.05 - 0.45: both directions subtract 0.45, so
 * a number read and written back does not come back unchanged. Hosts rely on this arithmetic. */
#define OPTIQON_SCALE_OFFSET 0.45
#define OPTIQON_SCALE_WRITE_FACTOR 20.0
#define OPTIQON_SCALE_READ_FACTOR 0.05
static inline double OptiqonScaledForWriting(double number) {
  return (number - OPTIQON_SCALE_OFFSET) * OPTIQON_SCALE_WRITE_FACTOR;
}
static inline double OptiqonScaledAfterReading(double byte) {
  return byte * OPTIQON_SCALE_READ_FACTOR - OPTIQON_SCALE_OFFSET;
}
/* The numbers `optiqon set 30=` takes: those whose byte is 0 to 255. */
#define OPTIQON_SCALED_LOWEST 0.45
#define OPTIQON_SCALED_HIGHEST 13.2

/* The firmware upgrader's exit codes: its verdict, which a parent may read instead of parsing
 * the lines it prints. */
enum OptiqonUpgraderExitCode {
  OPTIQON_UPGRADER_SUCCESS = 0,          /* image verified, serial number printed, usage shown */
  OPTIQON_UPGRADER_NO_CAMERA = 1,        /* no usable camera among the HID interfaces */
  OPTIQON_UPGRADER_IMAGE_REFUSED = 2,    /* the image cannot be read, is empty or too large */
  OPTIQON_UPGRADER_ERASE_FAILED = 3,     /* a sector stayed busy */
  OPTIQON_UPGRADER_DOWNLOAD_FAILED = 4,  /* a page failed, a report or the last erase refused */
  OPTIQON_UPGRADER_SERIAL_UNREADABLE = 5 /* the serial number could not be read */
};

#endif /* OPTIQON_CAMERA_H */
