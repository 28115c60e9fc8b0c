"""The cameras plugged into the PC, and one camera opened by its serial number.

A :class:`Camera` is a handle of the camera API; use it in a ``with`` block, or :meth:`close` it.
Every call checks its arguments first (:class:`TypeError` for a wrong type, :class:`BadValue`
for a wrong value) and sends nothing when they are refused.
"""

from __future__ import annotations

import contextlib
import os
import threading
import weakref
from collections.abc import Iterator, Mapping
from ctypes import byref, c_int, c_long, c_ubyte
from dataclasses import dataclass
from types import TracebackType

from . import _library, firmware, profiles
from ._library import CameraListPointer, CameraPointer, PropertyRangeStruct, check, text
from .errors import BadValue, CameraClosed, NotTaken, OptiqonError
from .settings import (
    SETTINGS,
    Setting,
    Value,
    control_bytes,
    control_reading,
    format_value,
    property_value,
    setting_named,
)

__all__ = ["CameraInfo", "PropertyRange", "PropertyState", "Camera", "cameras", "open"]


@dataclass(frozen=True)
class CameraInfo:
    """A camera as the PC lists it now.

    ``serial`` is its serial number (``None`` when its HID interface was not found or gave
    none), ``location`` where it is plugged in (``1-2.3`` on Linux,
    ``PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(3)`` on Windows), and ``video_side`` and
    ``hid_side`` whether its video device and HID interface were found.
    """

    serial: str | None
    location: str
    video_side: bool
    hid_side: bool

    def __str__(self) -> str:
        return f"{self.serial or '(no serial number)'} at {self.location}"


@dataclass(frozen=True)
class PropertyRange:
    """What an image property takes: every ``step`` from ``minimum`` to ``maximum``; its
    factory value ``default``; and whether the camera offers automatic and manual modes."""

    minimum: int
    maximum: int
    step: int
    default: int
    can_be_automatic: bool
    can_be_manual: bool


@dataclass(frozen=True)
class PropertyState:
    """An image property as the camera holds it: its value, and whether the camera sets it
    itself (automatic mode)."""

    value: int
    automatic: bool


def cameras() -> list[CameraInfo]:
    """The cameras plugged in now, in the order of their locations (empty when none is)."""
    library = _library.library()
    listed = CameraListPointer()
    check(library.optiqon_list_cameras(byref(listed)))
    try:
        return [
            CameraInfo(
                serial=(
                    text(library.optiqon_camera_serial(listed, index))
                    if library.optiqon_camera_serial_known(listed, index)
                    else None
                ),
                location=text(library.optiqon_camera_location(listed, index)),
                video_side=library.optiqon_camera_video_side(listed, index) == 1,
                hid_side=library.optiqon_camera_hid_side(listed, index) == 1,
            )
            for index in range(library.optiqon_camera_count(listed))
        ]
    finally:
        library.optiqon_free_camera_list(listed)


def _c_text(value: object, what: str) -> bytes:
    if not isinstance(value, str):
        raise TypeError(f"{what} is a str, not {type(value).__name__}")
    if "\0" in value:
        raise BadValue(f"{what} {value!r} holds a NUL character")
    try:
        return value.encode("utf-8", errors="surrogateescape")
    except UnicodeEncodeError:
        raise BadValue(f"{what} {value!r} is no text UTF-8 can carry") from None


_OPENED = object()


def open(serial: str | None = None, *, location: str | None = None) -> Camera:  # noqa: A001
    """Opens a camera: the one with serial number ``serial``, the one plugged in at
    ``location`` (as :func:`cameras` gives it), or, with neither, the only camera on the PC.

    :raises NoCamera: when there is none, or none with that serial number or location; the
        message names the cameras present.
    :raises SeveralCameras: when several fit (several cameras and no serial number, or two
        giving the same serial number): the message names them.
    """
    if serial is not None and location is not None:
        raise BadValue("a camera is opened by its serial number or its location, not both")
    library = _library.library()
    handle = CameraPointer()
    if location is not None:
        check(library.optiqon_open_at(_c_text(location, "a location"), byref(handle)))
    else:
        wanted = None if serial is None else _c_text(serial, "a serial number")
        check(library.optiqon_open(wanted, byref(handle)))
    return Camera(handle, _OPENED)


class Camera:
    """One camera, opened with :func:`optiqon.open`; a context manager that closes it.

    Values go by the names ``optiqon show`` uses (see :mod:`optiqon.settings`)::

        with optiqon.open("K3M51-A001") as camera:
            camera.set(brightness=10, control_20=[1, 2, 3, 4])
            camera.get("brightness")          # 10
            camera.range("white-balance")     # PropertyRange(minimum=2800, ...)

    The calls on one camera are made one after the other, whichever threads make them;
    different cameras may be used from different threads at once.
    """

    def __init__(self, handle: object, opened: object = None) -> None:
        if opened is not _OPENED:
            raise TypeError("a Camera is made by optiqon.open()")
        library = _library.library()
        self._handle = handle
        self._serial = (
            text(library.optiqon_serial(handle)) if library.optiqon_serial_known(handle) else None
        )
        self._location = text(library.optiqon_location(handle))
        self._lock = threading.RLock()
        self._updating: threading.Thread | None = None
        # The handle is let go of when the camera is closed, or when it is no longer used.
        self._closer = weakref.finalize(self, library.optiqon_close, handle)

    # ---- What the camera is -------------------------------------------------------------

    @property
    def serial(self) -> str | None:
        """Its serial number; ``None`` when it gave none."""
        return self._serial

    @property
    def location(self) -> str:
        """Where it is plugged in, as :func:`cameras` gives it."""
        return self._location

    @property
    def name(self) -> str:
        """How messages name it: its serial number, or where it is plugged in."""
        return self._serial if self._serial is not None else f"at {self._location}"

    @property
    def closed(self) -> bool:
        """Whether :meth:`close` was called."""
        return not self._closer.alive

    def close(self) -> None:
        """Lets go of the camera (waiting for a call another thread is making on it)."""
        with self._lock:
            self._closer()

    def __enter__(self) -> Camera:
        return self

    def __exit__(
        self,
        kind: type[BaseException] | None,
        error: BaseException | None,
        traceback: TracebackType | None,
    ) -> None:
        self.close()

    def __repr__(self) -> str:
        state = " (closed)" if self.closed else ""
        return f"<optiqon.Camera {self.name} at {self._location}{state}>"

    @contextlib.contextmanager
    def _open_handle(self) -> Iterator[object]:
        if self._updating is threading.current_thread():
            # The camera API's own lock is held by the update: a call would never return.
            raise OptiqonError(
                f"camera {self.name} is being updated: its progress function cannot use it"
            )
        with self._lock:
            if self.closed:
                raise CameraClosed(f"camera {self.name} was closed")
            yield self._handle

    # ---- Settings by name ---------------------------------------------------------------

    def get(self, name: str | int) -> Value:
        """The value of one setting: ``get("brightness")``, ``get("control 20")``, ``get(20)``.

        An image property's whole number, a vendor control's list of bytes, or control 30's
        number as its byte reads back.
        """
        return self._read(setting_named(name))

    def values(self, *names: str | int) -> dict[str, Value]:
        """Several settings at once, by the names ``optiqon show`` labels them; every one (the
        ten image properties, then vendor controls 1 to 39) when none is named."""
        settings = [setting_named(name) for name in names] if names else list(SETTINGS)
        return {setting.name: self._read(setting) for setting in settings}

    def set(
        self, values: Mapping[str | int, Value] | None = None, /, **keywords: Value
    ) -> dict[str, Value]:
        """Sets image properties and vendor controls, then reads each back.

        ``set(brightness=10, white_balance=4600, control_20=[1, 2, 3, 4])``, or with a mapping
        by the names ``optiqon show`` uses: ``set({"white-balance": 4600, 20: [1, 2, 3, 4]})``.
        Every value is checked first (its type, its length, and an image property against the
        camera's range), and nothing is sent when any is refused. Properties are set in manual
        mode. Returns each value as read back.

        :raises BadValue: naming the value refused; nothing was sent.
        :raises NotTaken: naming each value the camera did not keep (the others were written).
        """
        assignments = self._assignments(values, keywords)
        self._check_ranges([(s, value) for s, value in assignments if s.is_property])
        readings: dict[str, Value] = {}
        not_taken: list[str] = []
        for setting, value in assignments:
            self._write(setting, value)
            readings[setting.name] = self._read(setting)
            if not _took(setting, value, readings[setting.name]):
                not_taken.append(setting.name)
        if not_taken:
            named = ", ".join(
                f"{name} (it reads {format_value(setting_named(name), readings[name])})"
                for name in not_taken
            )
            raise NotTaken(f"camera {self.name} did not take {named}", not_taken, readings)
        return readings

    def range(self, name: str | int) -> PropertyRange:
        """What an image property takes: ``range("brightness")``."""
        setting = self._property(name)
        found = PropertyRangeStruct()
        with self._open_handle() as handle:
            library = _library.library()
            check(library.optiqon_property_range_of(handle, setting.number, byref(found)))
        return PropertyRange(
            minimum=found.minimum,
            maximum=found.maximum,
            step=found.step,
            default=found.default_value,
            can_be_automatic=bool(found.can_be_automatic),
            can_be_manual=bool(found.can_be_manual),
        )

    def get_property(self, name: str | int) -> PropertyState:
        """An image property's value and whether the camera sets it itself."""
        setting = self._property(name)
        value = c_long(0)
        automatic = c_int(0)
        with self._open_handle() as handle:
            check(
                _library.library().optiqon_get_property(
                    handle, setting.number, byref(value), byref(automatic)
                )
            )
        return PropertyState(value.value, bool(automatic.value))

    def set_automatic(self, name: str | int) -> None:
        """Hands an image property to the camera, which then sets it itself; setting a value
        (:meth:`set`) takes it back into manual mode.

        :raises BadValue: when the property has no automatic mode.
        """
        setting = self._property(name)
        if not self.range(setting.name).can_be_automatic:
            raise BadValue(f"{setting.name} has no automatic mode")
        current = self.get_property(setting.name).value
        with self._open_handle() as handle:
            check(_library.library().optiqon_set_property(handle, setting.number, current, 1))

    # ---- Register, password, stored settings ---------------------------------------------

    def set_register(self, address: int, value: int) -> None:
        """Writes ``value`` to the sensor register at ``address`` (each 0 to 255)."""
        address_byte = _byte(address, "the register address")
        value_byte = _byte(value, "the register value")
        with self._open_handle() as handle:
            check(_library.library().optiqon_set_register(handle, address_byte, value_byte))

    def get_register(self) -> int:
        """The value of the register last written: the camera answers for that one only."""
        value = c_ubyte(0)
        with self._open_handle() as handle:
            check(_library.library().optiqon_get_register(handle, byref(value)))
        return value.value

    def send_password(self, password: str) -> None:
        """Sends the camera's password, four hexadecimal digits (``"1A2B"``), which
        :meth:`save` and :meth:`reset` need first.

        :raises CameraRefused: when the camera did not take it.
        """
        encoded = _c_text(password, "a password")
        if len(password) != 4 or any(c not in "0123456789abcdefABCDEF" for c in password):
            raise BadValue(f"a password is four hexadecimal digits, not {password!r}")
        with self._open_handle() as handle:
            check(_library.library().optiqon_set_password(handle, encoded))

    def save(self) -> None:
        """Has the camera store its current settings (after :meth:`send_password`)."""
        with self._open_handle() as handle:
            check(_library.library().optiqon_save_settings(handle))

    def reset(self) -> None:
        """Has the camera go back to its factory settings (after :meth:`send_password`)."""
        with self._open_handle() as handle:
            check(_library.library().optiqon_reset_settings(handle))

    # ---- Profiles -------------------------------------------------------------------------

    def profile_text(self) -> str:
        """The camera's settings as the profile :meth:`export_profile` writes."""
        return profiles.profile_of(self)

    def export_profile(self, path: str | os.PathLike[str]) -> None:
        """Writes the camera's settings to a profile, as ``optiqon export`` does: the JSON file
        ``optiqon import`` reads. The file is written whole (a new file beside it, renamed
        into place), and none at all when the camera does not answer for a value.

        :raises CameraRefused: naming the value the camera did not answer for.
        """
        profiles.export_profile(self, path)

    def import_profile(
        self, path: str | os.PathLike[str], *, dry_run: bool = False, save: bool = False
    ) -> list[profiles.Change]:
        """Writes a profile's settings to the camera, as ``optiqon import`` does, and reads
        each back. The whole file is checked first, and each image property against the
        camera's range: nothing is sent when any part is refused.

        Returns each value that changed (its ``before`` and ``after``); with ``dry_run``, each
        value that would change, sending nothing. ``save`` has the camera store the result
        when every value took (after :meth:`send_password`).

        :raises ProfileError: naming every bad part of the file; nothing was sent.
        :raises NotTaken: naming each value that did not take (the others were written).
        """
        return profiles.import_profile(self, path, dry_run=dry_run, save=save)

    # ---- Firmware ---------------------------------------------------------------------------

    def update_firmware(
        self, image: firmware.Image, progress: firmware.Progress | None = None
    ) -> firmware.UpdateResult:
        """Erases the camera's flash, writes ``image`` (bytes, or the path of its file) page by
        page and reads each page back, in this process. ``progress(written, pages)`` is called
        once with 0 before the first page and after each page verified.

        Returns the verdict, a :class:`~optiqon.UpdateResult`, true when verified. The update
        always runs to its end, since until then the camera holds no working firmware: Ctrl-C
        meanwhile is raised after the verdict as :class:`~optiqon.UpdateInterrupted` (a
        KeyboardInterrupt with the result), and whatever ``progress`` raises is raised after
        the verdict too (the progress is not called again after it raised).

        :raises BadValue: for an image that is empty or larger than the flash: nothing sent.
        """
        with self._open_handle() as handle:
            self._updating = threading.current_thread()
            try:
                return firmware.update(self, handle, image, progress)
            finally:
                self._updating = None

    # ---- Inside -----------------------------------------------------------------------------

    def _property(self, name: str | int) -> Setting:
        setting = setting_named(name)
        if not setting.is_property:
            raise BadValue(
                f"{setting.name} is a vendor control, not an image property: it carries "
                f"{setting.length} byte{'s' if setting.length > 1 else ''}"
            )
        return setting

    def _read(self, setting: Setting) -> Value:
        library = _library.library()
        if setting.is_property:
            value = c_long(0)
            automatic = c_int(0)
            with self._open_handle() as handle:
                check(
                    library.optiqon_get_property(
                        handle, setting.number, byref(value), byref(automatic)
                    )
                )
            return value.value
        return control_reading(setting, self._read_control(setting))

    def _read_control(self, setting: Setting) -> bytes:
        """A vendor control's bytes, read into a buffer of exactly the control's length."""
        buffer = (c_ubyte * setting.length)()
        with self._open_handle() as handle:
            library = _library.library()
            check(library.optiqon_get_control(handle, setting.number, buffer, setting.length))
        return bytes(buffer)

    def _write(self, setting: Setting, value: int | bytes) -> None:
        library = _library.library()
        with self._open_handle() as handle:
            if isinstance(value, bytes):
                buffer = (c_ubyte * len(value)).from_buffer_copy(value)
                check(library.optiqon_set_control(handle, setting.number, buffer, len(value)))
            else:
                check(library.optiqon_set_property(handle, setting.number, value, 0))

    def _assignments(
        self, values: Mapping[str | int, Value] | None, keywords: Mapping[str, Value]
    ) -> list[tuple[Setting, int | bytes]]:
        """Every value named, checked and made ready to send, in the order given."""
        if values is not None and not isinstance(values, Mapping):
            raise TypeError(
                f"set() takes a mapping of names to values, not {type(values).__name__}"
            )
        given = [*(values or {}).items(), *keywords.items()]
        if not given:
            raise BadValue("set() was given no value")
        assignments: list[tuple[Setting, int | bytes]] = []
        seen: set[Setting] = set()
        for name, value in given:
            setting = setting_named(name)
            if setting in seen:
                raise BadValue(f"{setting.name} is given twice")
            seen.add(setting)
            if setting.is_property:
                assignments.append((setting, property_value(setting, value)))
            else:
                assignments.append((setting, control_bytes(setting, value)))
        return assignments

    def _check_ranges(self, properties: list[tuple[Setting, int | bytes]]) -> None:
        """Each image property's value against the camera's range, all before any is sent."""
        problems = []
        for setting, value in properties:
            found = self.range(setting.name)
            if not found.minimum <= int(value) <= found.maximum:  # type: ignore[arg-type]
                problems.append(
                    f"{setting.name}: {value} is outside its range, "
                    f"{found.minimum} to {found.maximum}"
                )
        if problems:
            raise BadValue("; ".join(problems) + ": nothing was sent")


def _took(setting: Setting, written: int | bytes, reading: Value) -> bool:
    """Whether the value read back is the one written (for control 30, its byte's reading)."""
    if setting.is_property:
        return reading == written
    assert isinstance(written, bytes)
    return reading == control_reading(setting, written)


def _byte(value: object, what: str) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{what} is an int from 0 to 255, not {type(value).__name__}")
    if not 0 <= value <= 255:
        raise BadValue(f"{what} {value} is outside 0 to 255")
    return value

