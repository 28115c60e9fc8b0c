"""The firmware update: an image checked, then written into a camera's flash page by page, each
page read back, with its progress as it happens and its verdict as a value.
"""

from __future__ import annotations

import ctypes
import os
from ctypes import c_ubyte, c_uint
from dataclasses import dataclass
from enum import IntEnum
from typing import TYPE_CHECKING, Callable, Union

from . import _library
from ._interrupts import InterruptsHeld
from .errors import OptiqonError

if TYPE_CHECKING:
    from .camera import Camera

__all__ = ["Verdict", "UpdateResult", "Image", "Progress", "check_image", "LARGEST_IMAGE"]

#: An image: its bytes, or the path of its file.
Image = Union[bytes, bytearray, memoryview, str, "os.PathLike[str]"]
#: Called with (pages written and verified, pages in all): once with 0 before the first page,
#: then after each page.
Progress = Callable[[int, int], object]

#: The largest image the camera's flash takes: 65535 pages of 256 bytes.
LARGEST_IMAGE = 65535 * 256


class Verdict(IntEnum):
    """The update's verdict: the same numbers as the firmware upgrader's exit codes."""

    VERIFIED = 0  #: every page written and verified
    NO_CAMERA = 1  #: the camera's HID interface was not found: nothing sent
    IMAGE_REFUSED = 2  #: empty or too large: nothing sent
    ERASE_FAILED = 3  #: a flash sector stayed busy, or the camera went away erasing
    DOWNLOAD_FAILED = 4  #: a page did not verify, a report was refused, or the camera went away


@dataclass(frozen=True)
class UpdateResult:
    """How a firmware update ended.

    ``verdict`` says what happened, ``message`` why it failed (the camera API's words; empty
    when verified), ``pages`` how many pages the image took. True when the image was written
    and verified.
    """

    verdict: Verdict
    message: str
    pages: int

    @property
    def verified(self) -> bool:
        """Every page written and read back as it was written."""
        return self.verdict is Verdict.VERIFIED

    def __bool__(self) -> bool:
        return self.verified

    def __str__(self) -> str:
        if self.verified:
            return f"firmware updated: {self.pages} pages written and verified"
        return f"firmware update failed: {self.message}"


def image_bytes(image: Image) -> bytes:
    """The image's bytes: given, or read from its file (at most one byte more than the largest
    image, so that the check still says an image is too large without reading it all)."""
    if isinstance(image, (bytes, bytearray)):
        return bytes(image)
    if isinstance(image, memoryview):
        return image.tobytes()
    if isinstance(image, (str, os.PathLike)):
        with open(image, "rb") as file:
            return file.read(LARGEST_IMAGE + 1)
    raise TypeError(
        f"a firmware image is bytes or the path of its file, not {type(image).__name__}"
    )


def _checked_pages(data: bytes) -> int:
    pages = c_uint(0)
    result = _library.library().optiqon_check_image(data, len(data), ctypes.byref(pages))
    _library.check(result)
    return pages.value


def check_image(image: Image) -> int:
    """The pages an image takes in the camera's flash.

    :raises BadValue: when the image is empty or larger than the flash (nothing is sent).
    """
    return _checked_pages(image_bytes(image))


def update(camera: Camera, handle: object, image: Image, progress: Progress | None) -> UpdateResult:
    """Flashes ``image`` through the open ``handle`` of ``camera`` (see Camera.update_firmware)."""
    if progress is not None and not callable(progress):
        raise TypeError(
            f"progress is a function of (written, pages), not {type(progress).__name__}"
        )
    data = image_bytes(image)
    pages = _checked_pages(data)
    raised: list[BaseException] = []

    def on_page(_context: object, written: int, total: int) -> None:
        # Whatever the caller's function raises is kept for after the verdict: raised here it
        # would only be printed and dropped by ctypes, and the update runs on regardless.
        if progress is None or raised:
            return
        try:
            progress(written, total)
        except BaseException as error:  # noqa: BLE001 - every one is raised after the verdict
            raised.append(error)

    callback = _library.ProgressCallback(on_page)
    buffer = (c_ubyte * len(data)).from_buffer_copy(data)
    library = _library.library()
    with InterruptsHeld(camera.name) as interrupts:
        code = library.optiqon_update_firmware(handle, buffer, len(data), callback, None)
        message = _library.last_error() if code != Verdict.VERIFIED else ""
    try:
        verdict = Verdict(code)
    except ValueError:
        raise OptiqonError(f"the camera API gave verdict {code}, unknown here: {message}") from None
    result = UpdateResult(verdict, message, pages)
    interrupts.deliver(result)
    if raised:
        error = raised[0]
        error.add_note(f"the firmware update of camera {camera.name} ran to its end: {result}")
        raise error
    return result

