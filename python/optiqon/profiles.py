"""Settings profiles: a camera's settings as the JSON file ``optiqon export`` writes and
``optiqon import`` reads, in the very same format, so that a profile made here is read by the
tool and one made by the tool is read here.

A profile is one value a line::

    {
      "format": 1,
      "serial_number": "K3M51-A001",
      "taken": "2026-12-08T13:57:56Z",
      "properties": {
        "brightness": -5,
        ...
      },
      "controls": {
        "1": [0],
        ...
        "20": [1,2,3,4],
        ...
        "30": -0.45,
        ...
      }
    }

It holds every image property and every vendor control but 3 and 6 (the register and password
controls, which are commands rather than settings); control 30 as the number its byte reads back
as. A profile is checked whole before anything is sent: a bad part anywhere, and nothing is.
"""

from __future__ import annotations

import datetime
import json
import math
import os
import re
import secrets
import stat
from dataclasses import dataclass, field
from typing import TYPE_CHECKING, Any

from .errors import BadValue, CameraRefused, NotTaken, ProfileError
from .settings import (
    CONTROLS,
    FIRST_CONTROL,
    LAST_CONTROL,
    PASSWORD_CONTROL,
    PROPERTIES,
    PROPERTY_NAMES,
    REGISTER_CONTROL,
    SCALE_OFFSET,
    SCALE_READ_FACTOR,
    SCALED_CONTROL,
    SETTINGS,
    WHOLE_NUMBER_HIGHEST,
    WHOLE_NUMBER_LOWEST,
    Setting,
    Value,
    format_value,
    table_row,
)

if TYPE_CHECKING:
    from .camera import Camera

__all__ = ["PROFILE_FORMAT", "Profile", "Change", "read_profile"]

#: The profile format this package writes and reads.
PROFILE_FORMAT = 1
# Larger than any profile: export writes about 1 KB.
MOST_PROFILE_BYTES = 1024 * 1024
# A profile nests three deep (the profile, its groups, a control's bytes); a file that nests far
# deeper is no profile, and is refused before it is parsed.
MOST_NESTING = 8
# How much of a bad value or name a message shows.
MOST_EXCERPT_CHARACTERS = 40
# Links followed from the profile's name to the file it leads to.
MOST_LINKS_FOLLOWED = 40


@dataclass(frozen=True)
class _Entry:
    """One value of a profile: as the file holds it, and what is written to the camera."""

    setting: Setting
    value: Value
    write: int | bytes


@dataclass(frozen=True)
class Profile:
    """A settings profile, read and checked whole.

    ``values`` holds its values by the names ``optiqon show`` uses, as the file holds them:
    the image properties in their numbering order, then the vendor controls ascending.
    """

    path: str
    serial_number: str | None
    taken: str | None
    values: dict[str, Value]
    entries: tuple[_Entry, ...] = field(repr=False, compare=False, default=())


@dataclass(frozen=True)
class Change:
    """A value an import changes (``after``: as read back) or would change (``after``: the
    profile's value, for a dry run). ``str()`` gives the line ``optiqon import --dry-run``
    prints: ``brightness              12 -> -5``."""

    name: str
    before: Value
    after: Value

    def __str__(self) -> str:
        setting = _setting_by_name(self.name)
        before = format_value(setting, self.before)
        return table_row(self.name, f"{before} -> {format_value(setting, self.after)}")


def _setting_by_name(name: str) -> Setting:
    return next(setting for setting in SETTINGS if setting.name == name)


# ---- Reading a profile --------------------------------------------------------------------


def _short(text: str, most: int = MOST_EXCERPT_CHARACTERS) -> str:
    """Text for a message: printable ASCII as it is, anything else as \\xNN, cut past ``most``."""
    shown = ""
    for byte in text.encode("utf-8", errors="surrogateescape"):
        shown += chr(byte) if 0x20 <= byte < 0x7F else f"\\x{byte:02X}"
        if len(shown) > most:
            return shown[:most] + "..."
    return shown


def _excerpt(value: object) -> str:
    return _short(json.dumps(value, ensure_ascii=False, separators=(",", ":")))


def _is_whole(value: object) -> bool:
    return isinstance(value, int) and not isinstance(value, bool)


class _GivenTwice(Exception):
    def __init__(self, key: str) -> None:
        super().__init__(key)
        self.key = key


def _unique_keys(pairs: list[tuple[str, Any]]) -> dict[str, Any]:
    object_ = {}
    for key, value in pairs:
        if key in object_:
            raise _GivenTwice(key)
        object_[key] = value
    return object_


def _refuse_constant(name: str) -> Any:
    raise ValueError(f"{name} is not a JSON value")


_TOKENS = re.compile(r'"(?:[^"\\]|\\.)*"|[\[\]{}]', re.DOTALL)


def _nesting(text: str) -> int:
    """How deep the text's arrays and objects nest (strings skipped)."""
    depth = deepest = 0
    for match in _TOKENS.finditer(text):
        token = match.group()
        if token in "[{":
            depth += 1
            deepest = max(deepest, depth)
        elif token in "]}":
            depth -= 1
    return deepest


def _profile_text(path: str) -> str:
    """The file's text: a regular file, read no further than one byte past the most a profile
    holds, at most 1 MiB, UTF-8, without a NUL."""
    try:
        status = os.stat(path)
    except (OSError, ValueError):  # ValueError: a NUL in the name
        raise ProfileError([f"cannot read the profile {path}"]) from None
    if not stat.S_ISREG(status.st_mode):
        raise ProfileError([f"{path} is not a settings profile: not a regular file"])
    try:
        with open(path, "rb") as file:
            raw = file.read(MOST_PROFILE_BYTES + 1)
    except OSError:
        raise ProfileError([f"cannot read the profile {path}"]) from None
    if len(raw) > MOST_PROFILE_BYTES:
        raise ProfileError([f"{path} is not a settings profile: larger than 1 MiB"])
    if b"\0" in raw:
        raise ProfileError([f"{path} is not a settings profile: it holds a NUL byte"])
    try:
        return raw.decode("utf-8-sig")
    except UnicodeDecodeError:
        raise ProfileError([f"{path} is not valid JSON: it is not UTF-8 text"]) from None


def _parsed(path: str, text: str) -> Any:
    if _nesting(text) > MOST_NESTING:
        raise ProfileError(
            [f"{path} is not a settings profile: it nests values more than {MOST_NESTING} deep"]
        )
    try:
        return json.loads(text, object_pairs_hook=_unique_keys, parse_constant=_refuse_constant)
    except _GivenTwice as twice:
        raise ProfileError([f"{path}: {_excerpt(twice.key)} is given twice"]) from None
    except ValueError as error:  # json.JSONDecodeError, a number too long to read
        raise ProfileError([f"{path} is not valid JSON: {_short(str(error), 200)}"]) from None


def _entry_problems(profile: dict[str, Any]) -> list[str]:
    problems = []
    for key, entry in profile.items():
        if key in ("properties", "controls"):
            if not isinstance(entry, dict):
                problems.append(f"{_excerpt(key)} is not a JSON object")
        elif key in ("serial_number", "taken"):
            if not isinstance(entry, str):
                problems.append(f"{_excerpt(key)} is not a string")
        elif key != "format":
            problems.append(f"unknown entry {_excerpt(key)}")
    return problems


_WHOLE_NUMBER = re.compile(r"-?[0-9]+")


def _setting_of_key(key: str, is_property: bool) -> Setting:
    """The setting a key names: a property by its exact name in "properties", a vendor control
    by its number (however spelled: "20", "020") in "controls"."""
    plain = len(key) <= MOST_EXCERPT_CHARACTERS and all(0x20 < ord(c) < 0x7F for c in key)
    if not plain:
        raise BadValue("not an image property or vendor control number")
    if key in PROPERTY_NAMES:
        setting = PROPERTIES[PROPERTY_NAMES.index(key)]
    elif _WHOLE_NUMBER.fullmatch(key):
        number = int(key)
        if not FIRST_CONTROL <= number <= LAST_CONTROL:
            raise BadValue(f"there is no vendor control {key} (they are 1 to 39)")
        setting = CONTROLS[number - FIRST_CONTROL]
    else:
        raise BadValue(f"{key!r} is neither an image property nor a vendor control number")
    if setting.is_property != is_property:
        raise BadValue("not an image property" if is_property else "not a vendor control number")
    return setting


def _takes(setting: Setting) -> str:
    return f"{setting.name} takes {setting.length} byte{'s' if setting.length > 1 else ''}"


def scaled_reading_byte(number: object) -> int | None:
    """The byte whose reading is control 30's ``number`` (the profile holds the number as it
    reads back); None when no byte reads back as it."""
    if isinstance(number, bool) or not isinstance(number, (int, float)):
        return None
    if not -1 <= number <= 13:
        return None
    steps = (number + SCALE_OFFSET) / SCALE_READ_FACTOR
    byte = int(math.copysign(math.floor(abs(steps) + 0.5), steps))
    if abs(steps - byte) > 1e-6 or not 0 <= byte <= 255:
        return None
    return byte


def _entry(setting: Setting, value: Any) -> _Entry:
    if setting.is_property:
        if not _is_whole(value):
            raise BadValue(f"{_excerpt(value)} is not a whole number")
        if not WHOLE_NUMBER_LOWEST <= value <= WHOLE_NUMBER_HIGHEST:
            raise BadValue(
                f"{_excerpt(value)} is not a whole number from {WHOLE_NUMBER_LOWEST} "
                f"to {WHOLE_NUMBER_HIGHEST}"
            )
        return _Entry(setting, value, value)
    if setting.number in (REGISTER_CONTROL, PASSWORD_CONTROL):
        kind = "register" if setting.number == REGISTER_CONTROL else "password"
        raise BadValue(f"{setting.name} is the {kind} control, not a setting")
    if setting.number == SCALED_CONTROL:
        byte = scaled_reading_byte(value)
        if byte is None:
            raise BadValue(
                f"{_excerpt(value)} is not a value of control 30 (-0.45 to 12.3 in steps of 0.05)"
            )
        return _Entry(setting, value, bytes([byte]))
    if not isinstance(value, list):
        raise BadValue(f"{_excerpt(value)} is not a list of bytes: {_takes(setting)}")
    if len(value) != setting.length:
        raise BadValue(f"{_takes(setting)}, not {len(value)}")
    for byte in value:
        if not _is_whole(byte) or not 0 <= byte <= 255:
            raise BadValue(f"byte {_excerpt(byte)} is not a whole number from 0 to 255")
    return _Entry(setting, list(value), bytes(value))


def _format_problem(path: str, profile: dict[str, Any]) -> str | None:
    if "format" not in profile:
        return f'{path} is not a settings profile: it has no "format"'
    format_ = profile["format"]
    if not _is_whole(format_) or format_ != PROFILE_FORMAT:
        return (
            f"{path}: profile format {_excerpt(format_)} is not one this package reads "
            f"(it reads format {PROFILE_FORMAT})"
        )
    return None


def read_profile(path: str | os.PathLike[str]) -> Profile:
    """Reads a settings profile and checks it whole, as ``optiqon import`` does.

    :raises ProfileError: naming every bad part (its ``problems``): not a regular file, larger
        than 1 MiB, a NUL byte, not JSON, nesting deeper than 8, a key given twice (a control
        by any spelling of its number too), no ``format`` 1, an unknown entry or one of the
        wrong type, a property or control that does not exist (or control 3 or 6), a value of
        the wrong type or length, or out of range.
    """
    name = os.fspath(path)
    if not isinstance(name, str):
        raise TypeError(f"a profile's path is a str or a path, not {type(name).__name__}")
    profile = _parsed(name, _profile_text(name))
    if not isinstance(profile, dict):
        raise ProfileError([f"{name} is not a settings profile: expected a JSON object"])
    format_problem = _format_problem(name, profile)
    if format_problem:
        raise ProfileError([format_problem])
    problems = _entry_problems(profile)
    entries: list[_Entry] = []
    for group, is_property in (("properties", True), ("controls", False)):
        values = profile.get(group)
        if not isinstance(values, dict):
            continue
        given: set[Setting] = set()
        for key, value in values.items():
            try:
                setting = _setting_of_key(key, is_property)
                if setting in given:
                    raise BadValue(f"{setting.name} is given twice")
                given.add(setting)
                entries.append(_entry(setting, value))
            except BadValue as error:
                problems.append(f"{group} {_excerpt(key)}: {error.message}")
    if problems:
        raise ProfileError([f"{name}: {problem}" for problem in problems])
    entries.sort(key=lambda entry: (not entry.setting.is_property, entry.setting.number))
    return Profile(
        path=name,
        serial_number=profile.get("serial_number"),
        taken=profile.get("taken"),
        values={entry.setting.name: entry.value for entry in entries},
        entries=tuple(entries),
    )


# ---- Writing a profile ---------------------------------------------------------------------


def _dumped(value: object) -> str:
    """A value as the kit's JSON writes it: compact, UTF-8 as it is."""
    return json.dumps(value, ensure_ascii=False, separators=(",", ":"))


def _laid_out(profile: dict[str, Any]) -> str:
    """The profile one value a line, each value whole on its line, as ``optiqon export``
    lays it out."""
    text = "{"
    separator = "\n"
    for key, entry in profile.items():
        text += f"{separator}  {_dumped(key)}: "
        if isinstance(entry, dict):
            text += "{"
            inner = "\n"
            for name, value in entry.items():
                text += f"{inner}    {_dumped(name)}: {_dumped(value)}"
                inner = ",\n"
            text += "\n  }"
        else:
            text += _dumped(entry)
        separator = ",\n"
    return text + "\n}\n"


def _utc_now() -> str:
    return datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")


def profile_of(camera: Camera) -> str:
    """The camera's settings now, as a profile's text."""
    properties: dict[str, Value] = {}
    controls: dict[str, Value] = {}
    for setting in SETTINGS:
        if not setting.kept_in_profile:
            continue
        try:
            value = camera.get(setting.name)
        except CameraRefused as error:
            raise CameraRefused(
                f"the camera did not answer for {setting.name}: {error.message}: no profile written"
            ) from error
        if setting.is_property:
            properties[setting.name] = value
        else:
            controls[str(setting.number)] = value
    profile: dict[str, Any] = {"format": PROFILE_FORMAT}
    # A camera whose HID interface was not found gave no serial number: the profile holds none.
    if camera.serial is not None:
        profile["serial_number"] = camera.serial
    profile["taken"] = _utc_now()
    profile["properties"] = properties
    profile["controls"] = controls
    return _laid_out(profile)


def _followed(path: str) -> str:
    """The file a chain of links named ``path`` leads to (the path itself when no link)."""
    target = path
    for _ in range(MOST_LINKS_FOLLOWED + 1):
        if not os.path.islink(target):
            return target
        following = os.readlink(target)
        target = os.path.join(os.path.dirname(target), following)
    raise OSError(f"{path}: too many links")


def _write_new_file_beside(target: str, data: bytes) -> str:
    """A new file beside ``target`` under a name no file had, made exclusively and never
    through a link, holding ``data``."""
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL | getattr(os, "O_NOFOLLOW", 0)
    flags |= getattr(os, "O_CLOEXEC", 0) | getattr(os, "O_BINARY", 0)
    for _ in range(16):  # a name taken by chance is tried again under another
        name = f"{target}.{os.getpid()}.{secrets.token_hex(8)}.new"
        try:
            descriptor = os.open(name, flags, 0o666)
        except FileExistsError:
            continue
        try:
            with os.fdopen(descriptor, "wb") as file:
                file.write(data)
        except BaseException:
            os.unlink(name)
            raise
        return name
    raise FileExistsError(f"no new file could be made beside {target}")


def write_whole(path: str | os.PathLike[str], text: str) -> None:
    """Writes the text as the tool writes a profile: into a new file made beside it, renamed
    into place, so that a failed write leaves an earlier profile as it was. A link is followed
    and the file it leads to replaced; a device or FIFO is written in place."""
    target = _followed(os.fspath(path))
    data = text.encode("utf-8")
    try:
        mode = os.stat(target).st_mode
    except FileNotFoundError:
        mode = None
    if mode is not None and not stat.S_ISREG(mode):
        if stat.S_ISDIR(mode):
            raise IsADirectoryError(f"{target} is a folder")
        with open(target, "wb") as file:
            file.write(data)
        return
    written = _write_new_file_beside(target, data)
    try:
        os.replace(written, target)
    except BaseException:
        os.unlink(written)
        raise


def export_profile(camera: Camera, path: str | os.PathLike[str]) -> None:
    """Writes the camera's profile to ``path`` (see Camera.export_profile)."""
    if not isinstance(path, (str, os.PathLike)):
        raise TypeError(f"a profile's path is a str or a path, not {type(path).__name__}")
    if "\0" in os.fspath(path):
        raise BadValue(f"the profile's name {os.fspath(path)!r} holds a NUL character")
    write_whole(path, profile_of(camera))


# ---- Importing a profile ---------------------------------------------------------------------


def _holds(entry: _Entry, current: Value) -> bool:
    """Whether the camera holds the profile's value (control 30 compared by its byte)."""
    if entry.setting.number == SCALED_CONTROL and not entry.setting.is_property:
        return scaled_reading_byte(current) == scaled_reading_byte(entry.value)
    return current == entry.value


def _check_ranges(camera: Camera, profile: Profile) -> None:
    problems = []
    for entry in profile.entries:
        if entry.setting.is_property:
            found = camera.range(entry.setting.name)
            if not found.minimum <= int(entry.value) <= found.maximum:  # type: ignore[arg-type]
                problems.append(
                    f"{profile.path}: properties {_excerpt(entry.setting.name)}: {entry.value} is "
                    f"outside the range of camera {camera.name}, {found.minimum} to {found.maximum}"
                )
    if problems:
        raise ProfileError(problems)


def import_profile(
    camera: Camera, path: str | os.PathLike[str], *, dry_run: bool, save: bool
) -> list[Change]:
    """Writes the profile at ``path`` to the camera (see Camera.import_profile)."""
    for flag, name in ((dry_run, "dry_run"), (save, "save")):
        if not isinstance(flag, bool):
            raise TypeError(f"{name} is True or False, not {type(flag).__name__}")
    if dry_run and save:
        raise BadValue("a dry run saves nothing: give dry_run or save, not both")
    profile = read_profile(path)
    _check_ranges(camera, profile)
    changes: list[Change] = []
    if dry_run:
        for entry in profile.entries:
            current = camera.get(entry.setting.name)
            if not _holds(entry, current):
                changes.append(Change(entry.setting.name, current, entry.value))
        return changes
    readings: dict[str, Value] = {}
    not_taken: list[str] = []
    for entry in profile.entries:
        before = camera.get(entry.setting.name)
        camera._write(entry.setting, entry.write)
        after = camera.get(entry.setting.name)
        readings[entry.setting.name] = after
        if not _holds(entry, after):
            not_taken.append(entry.setting.name)
        if after != before:
            changes.append(Change(entry.setting.name, before, after))
    if not_taken:
        raise NotTaken(
            f"camera {camera.name} did not take "
            + ", ".join(
                f"{name} {format_value(_setting_by_name(name), profile.values[name])}"
                for name in not_taken
            )
            + (": settings not saved" if save else ""),
            not_taken,
            readings,
        )
    if save:
        camera.save()
    return changes

