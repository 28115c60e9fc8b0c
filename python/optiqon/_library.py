"""The camera API's shared library, loaded through ctypes, with the prototype of every function
this package calls: each one's argument and result types set, so that ctypes converts and checks
every argument as the C header declares it, and never guesses.

Which file is loaded:

1. the file the environment variable ``OPTIQON_LIBRARY`` names (the simulated library
   ``libOptiqonCameras_sim.so.1``, say, with ``OPTIQON_SIM_CAMERA`` naming its scenario);
2. otherwise the installed library: ``libOptiqonCameras.so.1`` as the dynamic loader finds it on
   Linux (Debian package ``liboptiqoncameras1``); on Windows ``OptiqonCameras.dll`` in the folder
   the kit's installer always uses, ``C:\\Program Files\\Optiqon\\bin`` (the installer leaves
   ``PATH`` alone, so the DLL is loaded by its full path), and failing that the DLL by its name
   on the process's DLL search path.

The library is loaded at the first call that needs it, once per process, so that ``import
optiqon`` and ``help(optiqon)`` work without it.
"""

from __future__ import annotations

import ctypes
import logging
import ntpath
import os
import sys
import threading
from ctypes import (
    CFUNCTYPE,
    POINTER,
    Structure,
    c_char_p,
    c_int,
    c_long,
    c_size_t,
    c_ubyte,
    c_uint,
    c_void_p,
)
from typing import Any

from .errors import LibraryError, error_for

LIBRARY_VARIABLE = "OPTIQON_LIBRARY"
# Within a major version the functions only grow and the codes never change.
MAJOR_VERSION = 1

OK = 0


class CameraListStruct(Structure):
    """``optiqon_camera_list``: opaque, only ever behind a pointer."""


class CameraStruct(Structure):
    """``optiqon_camera``: opaque, only ever behind a pointer."""


class PropertyRangeStruct(Structure):
    """``optiqon_property_range``."""

    _fields_ = [
        ("minimum", c_long),
        ("maximum", c_long),
        ("step", c_long),
        ("default_value", c_long),
        ("can_be_automatic", c_int),
        ("can_be_manual", c_int),
    ]


CameraListPointer = POINTER(CameraListStruct)
CameraPointer = POINTER(CameraStruct)
# void (*)(void* context, unsigned pages_written, unsigned pages)
ProgressCallback = CFUNCTYPE(None, c_void_p, c_uint, c_uint)
# void (*)(void* context, const char* line)
DiagnosticsCallback = CFUNCTYPE(None, c_void_p, c_char_p)

# Every function used, as OptiqonCameras.h declares it: name, result, arguments. The header's
# enums (optiqon_result, optiqon_update_verdict, optiqon_side_state) are C ints.
_PROTOTYPES: dict[str, tuple[Any, list[Any]]] = {
    "optiqon_list_cameras": (c_int, [POINTER(CameraListPointer)]),
    "optiqon_free_camera_list": (None, [CameraListPointer]),
    "optiqon_camera_count": (c_size_t, [CameraListPointer]),
    "optiqon_camera_serial": (c_char_p, [CameraListPointer, c_size_t]),
    "optiqon_camera_serial_known": (c_int, [CameraListPointer, c_size_t]),
    "optiqon_camera_location": (c_char_p, [CameraListPointer, c_size_t]),
    "optiqon_camera_video_side": (c_int, [CameraListPointer, c_size_t]),
    "optiqon_camera_hid_side": (c_int, [CameraListPointer, c_size_t]),
    "optiqon_open": (c_int, [c_char_p, POINTER(CameraPointer)]),
    "optiqon_open_at": (c_int, [c_char_p, POINTER(CameraPointer)]),
    "optiqon_close": (None, [CameraPointer]),
    "optiqon_serial": (c_char_p, [CameraPointer]),
    "optiqon_serial_known": (c_int, [CameraPointer]),
    "optiqon_location": (c_char_p, [CameraPointer]),
    "optiqon_property_range_of": (c_int, [CameraPointer, c_int, POINTER(PropertyRangeStruct)]),
    "optiqon_get_property": (c_int, [CameraPointer, c_int, POINTER(c_long), POINTER(c_int)]),
    "optiqon_set_property": (c_int, [CameraPointer, c_int, c_long, c_int]),
    "optiqon_get_control": (c_int, [CameraPointer, c_int, POINTER(c_ubyte), c_size_t]),
    "optiqon_set_control": (c_int, [CameraPointer, c_int, POINTER(c_ubyte), c_size_t]),
    "optiqon_set_register": (c_int, [CameraPointer, c_ubyte, c_ubyte]),
    "optiqon_get_register": (c_int, [CameraPointer, POINTER(c_ubyte)]),
    "optiqon_set_password": (c_int, [CameraPointer, c_char_p]),
    "optiqon_save_settings": (c_int, [CameraPointer]),
    "optiqon_reset_settings": (c_int, [CameraPointer]),
    "optiqon_check_image": (c_int, [c_void_p, c_size_t, POINTER(c_uint)]),
    "optiqon_update_firmware": (
        c_int,
        [CameraPointer, c_void_p, c_size_t, ProgressCallback, c_void_p],
    ),
    "optiqon_last_error": (c_char_p, []),
    "optiqon_set_diagnostics": (None, [DiagnosticsCallback, c_void_p]),
    "optiqon_version": (c_char_p, []),
}

logger = logging.getLogger("optiqon")

_lock = threading.Lock()
_library: ctypes.CDLL | None = None
_path: str | None = None


def text(raw: bytes | None) -> str:
    """A text of the library (UTF-8) as a str; a byte that is not UTF-8 shown as U+FFFD."""
    return raw.decode("utf-8", errors="replace") if raw else ""


def candidates() -> list[str]:
    """The files to try, in order: the one OPTIQON_LIBRARY names, or the installed library."""
    named = os.environ.get(LIBRARY_VARIABLE)
    if named:
        return [os.path.abspath(named) if os.path.exists(named) else named]
    if sys.platform == "win32":
        # The 64-bit Program Files folder (which ProgramFiles names only to 64-bit programs, and
        # only a 64-bit Python loads the kit's 64-bit DLL), wherever Windows has it.
        program_files = (
            os.environ.get("ProgramW6432") or os.environ.get("ProgramFiles") or r"C:\Program Files"
        )
        installed = ntpath.join(program_files, "Optiqon", "bin", "OptiqonCameras.dll")
        return [installed, "OptiqonCameras.dll"]
    return ["libOptiqonCameras.so.1"]


def _load_first(paths: list[str]) -> tuple[ctypes.CDLL, str]:
    reasons = []
    for path in paths:
        try:
            # A full path on Windows is loaded with its own folder searched for what it imports.
            return ctypes.CDLL(path), path
        except OSError as error:
            reasons.append(f"{path}: {error}")
    hint = (
        f"set {LIBRARY_VARIABLE} to the library's file"
        if not os.environ.get(LIBRARY_VARIABLE)
        else f"check the file {LIBRARY_VARIABLE} names"
    )
    raise LibraryError(
        "the Optiqon camera API could not be loaded ("
        + "; ".join(reasons)
        + f"): install it, or {hint}"
    )


def _declare(library: ctypes.CDLL, path: str) -> None:
    for name, (result, arguments) in _PROTOTYPES.items():
        try:
            function = getattr(library, name)
        except AttributeError:
            raise LibraryError(f"{path} is not the Optiqon camera API: it lacks {name}") from None
        function.restype = result
        function.argtypes = arguments


def _check_version(library: ctypes.CDLL, path: str) -> None:
    version = text(library.optiqon_version())
    if version.split(".")[0] != str(MAJOR_VERSION):
        raise LibraryError(
            f"{path} is the Optiqon camera API {version}; this package needs {MAJOR_VERSION}.x"
        )


def _log_diagnostic(_context: int | None, line: bytes | None) -> None:
    logger.info("%s", text(line))


# Kept for as long as the library may call it: the process's lifetime.
_diagnostics = DiagnosticsCallback(_log_diagnostic)


def library() -> ctypes.CDLL:
    """The camera API, loaded and declared at the first call; LibraryError when it cannot be."""
    global _library, _path
    with _lock:
        if _library is None:
            loaded, path = _load_first(candidates())
            _declare(loaded, path)
            _check_version(loaded, path)
            # The library's diagnostic lines (each platform call that failed) go to the logger
            # "optiqon" at level INFO, rather than nowhere.
            loaded.optiqon_set_diagnostics(_diagnostics, None)
            _library, _path = loaded, path
        return _library


def loaded_path() -> str:
    """The file the camera API was loaded from (loading it first)."""
    library()
    assert _path is not None
    return _path


def last_error() -> str:
    """The message of this thread's last call into the library that did not succeed."""
    return text(library().optiqon_last_error())


def check(result: int) -> None:
    """Raises the exception for a code other than OK, with this thread's last message."""
    if result != OK:
        raise error_for(result, last_error())
