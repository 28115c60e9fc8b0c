"""The camera's settings by the names ``optiqon show`` gives them, and their values, checked here
before anything reaches the camera.

Image properties go by name, each a whole number (:class:`int`):

    brightness, contrast, hue, saturation, sharpness, gamma, color-enable, white-balance,
    backlight-compensation, gain

Vendor controls go by number, ``control 1`` to ``control 39`` (also the plain number ``20``),
each a list of bytes (0 to 255), as many as the control carries: 4 for 20 and 21; 2 for 6, 23,
24, 25, 36 and 39; 1 for the others. Control 30 is a number instead (its byte scaled by the
library): it is set with a number from 0.45 to 13.2 and reads back as its byte times 0.05 less
0.45, so ``control_30=1.0`` reads back as ``0.1`` (the tool's rule). Controls 3 and 6 are the
register and password controls, read like the others but set through
:meth:`~optiqon.Camera.set_register` and :meth:`~optiqon.Camera.send_password`.

As keyword arguments a hyphen is an underscore and a control's blank too:
``white_balance=4600``, ``control_20=[1, 2, 3, 4]``.
"""

from __future__ import annotations

import difflib
import math
import operator
import re
from collections.abc import Sequence
from dataclasses import dataclass
from typing import Union

from .errors import BadValue

__all__ = [
    "Value",
    "Setting",
    "PROPERTY_NAMES",
    "PROPERTIES",
    "CONTROLS",
    "SETTINGS",
    "setting_named",
    "control_length",
    "format_value",
]

#: A setting's value: an image property's whole number, a vendor control's bytes, or control
#: 30's number.
Value = Union[int, float, list[int]]

#: The image properties in the camera's numbering: brightness is 0, gain 9.
PROPERTY_NAMES = (
    "brightness",
    "contrast",
    "hue",
    "saturation",
    "sharpness",
    "gamma",
    "color-enable",
    "white-balance",
    "backlight-compensation",
    "gain",
)
FIRST_CONTROL = 1
LAST_CONTROL = 39
REGISTER_CONTROL = 3
PASSWORD_CONTROL = 6
SCALED_CONTROL = 30

# Control 30's scaling: the library writes the byte (number - 0.45) * 20, truncated toward zero,
# and reads the byte back as byte * 0.05 - 0.45.
SCALE_OFFSET = 0.45
SCALE_WRITE_FACTOR = 20.0
SCALE_READ_FACTOR = 0.05
SCALED_LOWEST = 0.45
SCALED_HIGHEST = 13.2

# What a property's value may be: the camera API's `long`, which is 32 bits on Windows.
WHOLE_NUMBER_LOWEST = -(2**31)
WHOLE_NUMBER_HIGHEST = 2**31 - 1


def control_length(number: int) -> int:
    """The bytes vendor control ``number`` carries; 0 for a number the camera does not have."""
    if number in (20, 21):
        return 4
    if number in (6, 23, 24, 25, 36, 39):
        return 2
    return 1 if FIRST_CONTROL <= number <= LAST_CONTROL else 0


@dataclass(frozen=True)
class Setting:
    """An image property (``number`` 0 to 9) or a vendor control (1 to 39)."""

    number: int
    is_property: bool

    @property
    def name(self) -> str:
        """As ``optiqon show`` labels it: ``"white-balance"``, ``"control 20"``."""
        if self.is_property:
            return PROPERTY_NAMES[self.number]
        return f"control {self.number}"

    @property
    def keyword(self) -> str:
        """As a keyword argument names it: ``white_balance``, ``control_20``."""
        return self.name.replace("-", "_").replace(" ", "_")

    @property
    def length(self) -> int:
        """The bytes a vendor control carries (0 for an image property)."""
        return 0 if self.is_property else control_length(self.number)

    @property
    def kept_in_profile(self) -> bool:
        """Every setting but the register and password controls, which are no settings."""
        return self.is_property or self.number not in (REGISTER_CONTROL, PASSWORD_CONTROL)

    def __str__(self) -> str:
        return self.name


PROPERTIES = tuple(Setting(number, True) for number in range(len(PROPERTY_NAMES)))
CONTROLS = tuple(Setting(number, False) for number in range(FIRST_CONTROL, LAST_CONTROL + 1))
#: Every setting in the order ``optiqon show`` lists them: the properties, then the controls.
SETTINGS = PROPERTIES + CONTROLS

_CONTROL_NAME = re.compile(r"(?:control[ _])?(-?[0-9]+)")
# Digits past these cannot name a control, and are not turned into a number at all.
_MOST_CONTROL_DIGITS = 6


def _kind_of(value: object) -> str:
    return type(value).__name__


def _control(number: int, spelled: str) -> Setting:
    if not FIRST_CONTROL <= number <= LAST_CONTROL:
        raise BadValue(f"there is no vendor control {spelled} (they are 1 to 39)")
    return CONTROLS[number - FIRST_CONTROL]


def setting_named(name: str | int) -> Setting:
    """The setting ``name`` names: a property's name (``"white-balance"`` or
    ``"white_balance"``), ``"control 20"`` (or ``"control_20"``, ``"20"``) or the number 20.

    :raises TypeError: for a name that is neither a str nor an int.
    :raises BadValue: for a name that names no setting.
    """
    if isinstance(name, bool) or not isinstance(name, (str, int)):
        raise TypeError(
            "a setting is named by a str ('brightness', 'control 20') or a vendor control's "
            f"number, not {_kind_of(name)}"
        )
    if isinstance(name, int):
        return _control(name, str(name) if abs(name) < 10**_MOST_CONTROL_DIGITS else "that large")
    if name in PROPERTY_NAMES:
        return PROPERTIES[PROPERTY_NAMES.index(name)]
    hyphenated = name.replace("_", "-")
    if hyphenated in PROPERTY_NAMES:
        return PROPERTIES[PROPERTY_NAMES.index(hyphenated)]
    match = _CONTROL_NAME.fullmatch(name)
    if match:
        digits = match.group(1)
        if len(digits.lstrip("-")) > _MOST_CONTROL_DIGITS:
            raise BadValue(f"there is no vendor control {digits} (they are 1 to 39)")
        return _control(int(digits), digits)
    message = (
        f"{name!r} is neither an image property nor a vendor control "
        "('control 1' to 'control 39')"
    )
    close = difflib.get_close_matches(hyphenated, PROPERTY_NAMES, n=1)
    raise BadValue(message + (f": did you mean {close[0]!r}?" if close else ""))


def _whole_number(value: object, what: str) -> int:
    """An int (or anything that is an integer, as numpy's are), never a bool or a float."""
    if isinstance(value, bool):
        raise TypeError(f"{what} takes a whole number, not bool")
    try:
        return operator.index(value)  # type: ignore[arg-type]
    except TypeError:
        shown = f"{value!r:.40}"
        raise TypeError(f"{what} takes a whole number, not {_kind_of(value)} {shown}") from None


def property_value(setting: Setting, value: object) -> int:
    """The whole number to write to an image property."""
    number = _whole_number(value, setting.name)
    if not WHOLE_NUMBER_LOWEST <= number <= WHOLE_NUMBER_HIGHEST:
        raise BadValue(f"{setting.name}: {number} is outside the range of any image property")
    return number


def _scaled_byte_for_writing(setting: Setting, value: object) -> bytes:
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise TypeError(f"{setting.name} takes a number (0.45 to 13.2), not {_kind_of(value)}")
    number = float(value)
    # Compared as the number, not its truncated byte: 0.44 would truncate to byte 0 as well.
    if not (math.isfinite(number) and SCALED_LOWEST <= number <= SCALED_HIGHEST):
        raise BadValue(f"{setting.name}: {value!r} is outside what it carries (0.45 to 13.2)")
    return bytes([int((number - SCALE_OFFSET) * SCALE_WRITE_FACTOR)])


def _byte_list(setting: Setting, value: object) -> list[object]:
    if isinstance(value, (bytes, bytearray)):
        return list(value)
    if isinstance(value, memoryview):
        return list(value.tobytes())
    if isinstance(value, Sequence) and not isinstance(value, str):
        return list(value)
    if isinstance(value, int) and not isinstance(value, bool) and setting.length == 1:
        return [value]
    if setting.length == 1:
        raise TypeError(
            f"{setting.name} takes a list of 1 byte (or one int), not {_kind_of(value)}"
        )
    raise TypeError(f"{setting.name} takes a list of {setting.length} bytes, not {_kind_of(value)}")


def control_bytes(setting: Setting, value: object) -> bytes:
    """The bytes to write to a vendor control, exactly as many as it carries."""
    if setting.number == REGISTER_CONTROL:
        raise BadValue("control 3 is the register control: use Camera.set_register()")
    if setting.number == PASSWORD_CONTROL:
        raise BadValue("control 6 is the password control: use Camera.send_password()")
    if setting.number == SCALED_CONTROL:
        return _scaled_byte_for_writing(setting, value)
    items = _byte_list(setting, value)
    if len(items) != setting.length:
        unit = "byte" if setting.length == 1 else "bytes"
        raise BadValue(f"{setting.name} takes {setting.length} {unit}, not {len(items)}")
    data = bytearray()
    for item in items:
        byte = _whole_number(item, f"each byte of {setting.name}")
        if not 0 <= byte <= 255:
            raise BadValue(f"{setting.name}: byte {byte} is outside 0 to 255")
        data.append(byte)
    return bytes(data)


def scaled_reading(byte: int) -> float:
    """Control 30's number as its byte reads back."""
    return byte * SCALE_READ_FACTOR - SCALE_OFFSET


def control_reading(setting: Setting, data: bytes) -> Value:
    """A vendor control's bytes as read: control 30's number, or the list of bytes."""
    if setting.number == SCALED_CONTROL:
        return scaled_reading(data[0])
    return list(data)


def format_value(setting: Setting, value: Value | None) -> str:
    """A value as ``optiqon get`` shows it: ``-5``, ``1,2,3,4``, ``0.1``; for ``None``, what
    ``optiqon show`` says of a value the camera did not answer for."""
    if value is None:
        return "unavailable" if setting.is_property else "unreadable"
    if isinstance(value, list):
        return ",".join(str(byte) for byte in value)
    if isinstance(value, float):
        return "%g" % value
    return str(value)


def table_row(label: str, value: str) -> str:
    """A row as the tool's tables lay it out: the label in a column of 24, at least two blanks."""
    return label.ljust(max(len(label) + 2, 24)) + value
