"""The exceptions of the package: one class for each code of the camera API, all under
:class:`OptiqonError`, each carrying the library's own message.

==========================  ====  =====================================================
exception                   code  what happened
==========================  ====  =====================================================
:class:`NoCamera`           1     no camera, or none with the serial number or location
                                  asked; the message names those present
:class:`SeveralCameras`     2     several cameras fit: choose one by serial number (or
                                  by location, for two giving the same serial number)
:class:`BadValue`           3     a value, name or argument refused before anything was
                                  sent (also a :class:`ValueError`)
:class:`CameraRefused`      4     the camera refused the request or did not answer it
:class:`CameraGone`         5     the camera is no longer plugged in
:class:`NotAvailable`       6     the side of the camera the request needs was not found
:class:`BufferTooSmall`     7     a buffer could not hold a control's bytes
:class:`PlatformFailed`     8     the platform failed (a service missing, the video
                                  device not opened)
==========================  ====  =====================================================

Beyond the codes: :class:`NotTaken` (a :class:`CameraRefused`) for values the camera did not
keep, :class:`ProfileError` (a :class:`BadValue`) for a profile refused whole,
:class:`CameraClosed` for a camera used after it was closed, :class:`LibraryError` when the
camera API cannot be loaded, and :class:`UpdateInterrupted`, the :class:`KeyboardInterrupt`
raised after a firmware update's verdict.
"""

from __future__ import annotations

from typing import TYPE_CHECKING, Any, ClassVar

if TYPE_CHECKING:
    from .firmware import UpdateResult

__all__ = [
    "OptiqonError",
    "NoCamera",
    "SeveralCameras",
    "BadValue",
    "CameraRefused",
    "CameraGone",
    "NotAvailable",
    "BufferTooSmall",
    "PlatformFailed",
    "NotTaken",
    "ProfileError",
    "CameraClosed",
    "LibraryError",
    "UpdateInterrupted",
]


class OptiqonError(Exception):
    """Anything the camera API or this package refused or could not do.

    ``message`` is the text for a person (the library's own when it comes from the library);
    ``code`` is the camera API's code (``OPTIQON_NO_CAMERA`` = 1 ...), or ``None`` for an error
    of the package itself.
    """

    code: ClassVar[int | None] = None

    def __init__(self, message: str) -> None:
        super().__init__(message)
        self.message = message


class NoCamera(OptiqonError):
    """No camera is plugged in, or none with the serial number or location asked."""

    code = 1


class SeveralCameras(OptiqonError):
    """Several cameras fit the request: name one by its serial number or location."""

    code = 2


class BadValue(OptiqonError, ValueError):
    """A name, value or argument refused before anything was sent to a camera."""

    code = 3


class CameraRefused(OptiqonError):
    """The camera refused the request, or did not answer it."""

    code = 4


class CameraGone(OptiqonError):
    """The camera is no longer plugged in. Open it again once it is plugged back in."""

    code = 5


class NotAvailable(OptiqonError):
    """The side of the camera a request needs was not found: its video device for the
    settings, its HID interface for the firmware."""

    code = 6


class BufferTooSmall(OptiqonError):
    """A buffer could not hold a vendor control's bytes."""

    code = 7


class PlatformFailed(OptiqonError):
    """The platform failed: out of memory, a service missing, the video device not opened."""

    code = 8


class NotTaken(CameraRefused):
    """Values the camera was sent but did not keep: read back, each differed.

    Every other value was still written. ``names`` lists those that did not take, and
    ``readings`` holds every value as read back after its write.
    """

    def __init__(self, message: str, names: list[str], readings: dict[str, Any]) -> None:
        super().__init__(message)
        self.names = names
        self.readings = readings


class ProfileError(BadValue):
    """A settings profile that cannot be used: nothing was sent.

    ``problems`` lists every bad part of it, each a line of the message.
    """

    def __init__(self, problems: list[str]) -> None:
        super().__init__("\n".join(problems))
        self.problems = problems


class CameraClosed(OptiqonError, ValueError):
    """A camera used after it was closed."""


class LibraryError(OptiqonError):
    """The camera API's library cannot be loaded, or is not one this package can use."""


class UpdateInterrupted(KeyboardInterrupt):
    """The interrupt (Ctrl-C) that came during a firmware update, raised after its verdict.

    An update never stops part way: from the first erase to the verdict the camera holds no
    working firmware. The interrupt is held back until the update has ended, then raised as
    this :class:`KeyboardInterrupt`, whose ``result`` is the update's verdict.
    """

    def __init__(self, result: UpdateResult) -> None:
        super().__init__(f"interrupted during a firmware update, which ran to its end: {result}")
        self.result = result


_BY_CODE: dict[int, type[OptiqonError]] = {
    error.code: error
    for error in (
        NoCamera,
        SeveralCameras,
        BadValue,
        CameraRefused,
        CameraGone,
        NotAvailable,
        BufferTooSmall,
        PlatformFailed,
    )
    if error.code is not None
}


def error_for(code: int, message: str) -> OptiqonError:
    """The exception for a code the camera API returned, with its message."""
    kind = _BY_CODE.get(code)
    if kind is not None:
        return kind(message)
    error = OptiqonError(f"{message} (code {code}, which this package does not know)")
    error.code = code  # type: ignore[misc]
    return error
