"""Profiles: written byte for byte as `optiqon export` writes them, read as `optiqon import`
reads them (each file the tool refuses is refused here, and the other way round), round trips
and dry runs, and profiles carried between this package and the tool."""

from __future__ import annotations

import json
import re
from pathlib import Path

import pytest
from conftest import run_tool

import optiqon

TAKEN = re.compile(r'^  "taken": "\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ",$', re.MULTILINE)


def _without_time(text: str) -> str:
    assert TAKEN.search(text), text
    return TAKEN.sub('  "taken": "-",', text)


def test_export_writes_the_very_file_the_tool_writes(camera_a, tmp_path: Path):
    camera_a.set(brightness=-5, white_balance=5000, control_20=[1, 2, 3, 4], control_30=1.0,
                 control_39=[255, 0])
    mine, tools = tmp_path / "python.json", tmp_path / "tool.json"
    camera_a.export_profile(mine)
    run_tool("export", "--serial", "K3M51-A001", str(tools))
    assert _without_time(mine.read_text()) == _without_time(tools.read_text())
    assert camera_a.profile_text().startswith('{\n  "format": 1,\n  "serial_number": "K3M51-A001",\n')
    assert oct(mine.stat().st_mode & 0o777) == oct(tools.stat().st_mode & 0o777)


@pytest.mark.parametrize("byte", [0, 1, 6, 9, 11, 32, 81, 128, 254, 255])
def test_control_30_is_written_as_the_tool_shows_it(camera_a, byte):
    """Each reading of control 30 as the tool's JSON gives it (its numbers, such as
    1.1500000000000001, are the shortest that read back as the same double)."""
    setting = optiqon.settings.CONTROLS[29]
    camera_a._write(setting, bytes([byte]))
    shown = run_tool("get", "--serial", "K3M51-A001", "30", "--json").stdout
    assert json.loads(shown)["controls"]["30"] == camera_a.get(30)
    assert shown == '{"properties":{},"controls":{"30":' + json.dumps(camera_a.get(30)) + "}}\n"


def test_a_profile_round_trips_and_a_dry_run_shows_what_would_change(camera_a, tmp_path: Path):
    camera_a.set(brightness=-5, control_20=[1, 2, 3, 4], control_30=2.0)
    profile = tmp_path / "a.json"
    camera_a.export_profile(profile)
    camera_a.set(brightness=12, control_20=[9, 9, 9, 9], gain=7)
    changes = camera_a.import_profile(profile, dry_run=True)
    assert changes == [
        optiqon.Change("brightness", 12, -5),
        optiqon.Change("gain", 7, 0),
        optiqon.Change("control 20", [9, 9, 9, 9], [1, 2, 3, 4]),
    ]
    # Nothing was sent.
    assert camera_a.values("brightness", "gain", 20) == {
        "brightness": 12, "gain": 7, "control 20": [9, 9, 9, 9]}
    # Each change as the tool's dry run prints it.
    tool = run_tool("import", "--serial", "K3M51-A001", str(profile), "--dry-run").stdout
    assert "".join(f"{change}\n" for change in changes) == tool
    assert camera_a.import_profile(profile) == changes
    assert camera_a.import_profile(profile, dry_run=True) == []
    assert _without_time(camera_a.profile_text()) == _without_time(profile.read_text())


def test_a_profile_from_the_tool_is_imported_and_one_from_python_by_the_tool(
    camera_a, tmp_path: Path
):
    tools = tmp_path / "tool.json"
    run_tool("set", "--serial", "K3M51-A001", "hue=-90", "21=4,3,2,1", "30=5.5")
    run_tool("export", "--serial", "K3M51-A001", str(tools))
    camera_a.reset()
    camera_a.import_profile(tools)
    assert camera_a.values("hue", 21) == {"hue": -90, "control 21": [4, 3, 2, 1]}
    assert run_tool("import", "--serial", "K3M51-A001", str(tools), "--dry-run").stdout == (
        "nothing would change\n"
    )

    mine = tmp_path / "python.json"
    camera_a.set(saturation=80, control_36=[7, 8], control_30=12.0)
    camera_a.export_profile(mine)
    camera_a.reset()
    run_tool("import", "--serial", "K3M51-A001", str(mine))
    assert camera_a.values("saturation", 36) == {"saturation": 80, "control 36": [7, 8]}
    assert camera_a.import_profile(mine, dry_run=True) == []


def test_import_with_save_stores_the_settings(camera_a, tmp_path: Path, pc_folder: Path):
    profile = tmp_path / "p.json"
    profile.write_text('{"format": 1, "properties": {"brightness": 33}}')
    camera_a.send_password("1A2B")
    assert camera_a.import_profile(profile, save=True) == [optiqon.Change("brightness", 0, 33)]
    assert "0=33" in (pc_folder / "a.settings.saved").read_text()


def test_export_writes_whole_through_a_link_and_leaves_no_file_behind(camera_a, tmp_path: Path):
    target = tmp_path / "kept" / "real.json"
    target.parent.mkdir()
    target.write_text("earlier")
    link = tmp_path / "link.json"
    link.symlink_to(Path("kept") / "real.json")
    camera_a.export_profile(str(link))
    assert link.is_symlink()
    assert json.loads(target.read_text())["serial_number"] == "K3M51-A001"
    assert sorted(p.name for p in target.parent.iterdir()) == ["real.json"]
    with pytest.raises(IsADirectoryError):
        camera_a.export_profile(tmp_path / "kept")


def _profile(**entries) -> str:
    profile = {"format": 1, "serial_number": "K3M51-A001", "taken": "2026-12-08T13:57:56Z"}
    profile.update(entries)
    return json.dumps(profile)


NESTED = "[" * 8 + "]" * 8
# Files import refuses whole, each with (part of) the message this package gives.
REFUSED = {
    "not json": ("{", "is not valid JSON"),
    "not an object": ("[1]", "is not a settings profile: expected a JSON object"),
    "no format": ('{"properties": {}}', 'is not a settings profile: it has no "format"'),
    "format 2": ('{"format": 2}', "profile format 2 is not one this package reads"),
    "format 1.0": ('{"format": 1.0}', "profile format 1.0 is not one"),
    "format true": ('{"format": true}', "profile format true is not one"),
    "a NUL byte": ('{"format": 1}\0', "it holds a NUL byte"),
    "nested 9 deep": ('{"format": 1, "x": ' + NESTED + "}", "it nests values more than 8 deep"),
    "a key twice": ('{"format": 1, "format": 1}', '"format" is given twice'),
    "a control twice by its spelling": (
        _profile(controls={"20": [1, 2, 3, 4], "020": [1, 2, 3, 4]}),
        'controls "020": control 20 is given twice',
    ),
    "an unknown entry": (_profile(colour=1), 'unknown entry "colour"'),
    "properties not an object": (_profile(properties=[1]), '"properties" is not a JSON object'),
    "serial number not a string": (_profile(serial_number=5), '"serial_number" is not a string'),
    "taken not a string": (_profile(taken=None), '"taken" is not a string'),
    "an unknown property": (_profile(properties={"brightnes": 1}), 'properties "brightnes": '),
    "a property spelled as a keyword": (
        _profile(properties={"white_balance": 4600}), 'properties "white_balance"'),
    "a control among the properties": (
        _profile(properties={"20": [1, 2, 3, 4]}), 'properties "20": not an image property'),
    "a property among the controls": (
        _profile(controls={"gain": 1}), 'controls "gain": not a vendor control number'),
    "control 40": (_profile(controls={"40": [1]}), "there is no vendor control 40"),
    "control 3": (_profile(controls={"3": [1]}), "control 3 is the register control"),
    "control 6": (_profile(controls={"6": [1, 2]}), "control 6 is the password control"),
    "a property's fraction": (_profile(properties={"hue": 1.5}), "1.5 is not a whole number"),
    "a property's bool": (_profile(properties={"hue": True}), "true is not a whole number"),
    "a property past 32 bits": (
        _profile(properties={"hue": 2**31}), "2147483648 is not a whole number from"),
    "a byte of 256": (_profile(controls={"9": [256]}), "byte 256 is not a whole number from 0"),
    "a byte as 1.0": (_profile(controls={"9": [1.0]}), "byte 1.0 is not a whole number"),
    "too few bytes": (_profile(controls={"20": [1, 2, 3]}), "control 20 takes 4 bytes, not 3"),
    "bytes not a list": (_profile(controls={"20": "1,2,3,4"}), 'is not a list of bytes'),
    "control 30 off its steps": (
        _profile(controls={"30": 0.12}), "0.12 is not a value of control 30"),
    "control 30 past its bytes": (
        _profile(controls={"30": 12.35}), "12.35 is not a value of control 30"),
    "NaN": ('{"format": 1, "controls": {"30": NaN}}', "is not valid JSON"),
}
# Files import takes, though export never writes them so.
ACCEPTED = {
    "a few values": '{"format": 1, "properties": {"gain": 3}, "controls": {"9": [4]}}',
    "a control spelled with a zero": '{"format": 1, "controls": {"09": [5]}}',
    "control 30 as a whole number": '{"format": 1, "controls": {"30": 1}}',
    "no values at all": '{"format": 1}',
}


@pytest.mark.parametrize("case", REFUSED)
def test_a_profile_the_tool_refuses_is_refused_whole_with_nothing_sent(
    camera_a, tmp_path: Path, case: str
):
    text, message = REFUSED[case]
    path = tmp_path / "bad.json"
    path.write_bytes(text.encode())
    before = camera_a.values()
    tool = run_tool("import", "--serial", "K3M51-A001", str(path), check=False)
    assert tool.returncode == 2, tool.stderr
    for dry_run in (True, False):
        with pytest.raises(optiqon.ProfileError) as raised:
            camera_a.import_profile(path, dry_run=dry_run)
        assert message in raised.value.message
        assert isinstance(raised.value, optiqon.BadValue)
        assert raised.value.message.startswith(str(path))
    assert camera_a.values() == before


@pytest.mark.parametrize("case", ACCEPTED)
def test_a_profile_the_tool_takes_is_taken(camera_a, tmp_path: Path, case: str):
    path = tmp_path / "good.json"
    path.write_text(ACCEPTED[case])
    assert run_tool("import", "--serial", "K3M51-A001", str(path), "--dry-run").returncode == 0
    optiqon.read_profile(path)
    camera_a.import_profile(path)
    assert camera_a.import_profile(path, dry_run=True) == []


def test_every_bad_part_is_named_and_the_values_come_in_the_cameras_order(tmp_path: Path):
    path = tmp_path / "bad.json"
    path.write_text(_profile(properties={"hue": 1.5, "gain": 1}, controls={"40": [0]}, x=1))
    with pytest.raises(optiqon.ProfileError) as raised:
        optiqon.read_profile(path)
    assert raised.value.problems == [
        f'{path}: unknown entry "x"',
        f'{path}: properties "hue": 1.5 is not a whole number',
        f'{path}: controls "40": there is no vendor control 40 (they are 1 to 39)',
    ]
    path.write_text('{"controls": {"21": [1,2,3,4], "2": [9]}, "properties": {"gain": 1,'
                    ' "brightness": 2}, "format": 1}')
    profile = optiqon.read_profile(path)
    assert list(profile.values.items()) == [
        ("brightness", 2), ("gain", 1), ("control 2", [9]), ("control 21", [1, 2, 3, 4])]
    assert (profile.serial_number, profile.taken) == (None, None)


def test_a_file_that_is_no_profile_is_refused_before_it_is_read(tmp_path: Path):
    with pytest.raises(optiqon.ProfileError, match="^cannot read the profile .*missing.json$"):
        optiqon.read_profile(tmp_path / "missing.json")
    with pytest.raises(optiqon.ProfileError, match="is not a settings profile: not a regular file"):
        optiqon.read_profile(tmp_path)
    large = tmp_path / "large.json"
    large.write_text('{"format": 1, "taken": "' + "x" * (1024 * 1024) + '"}')
    with pytest.raises(optiqon.ProfileError, match="is not a settings profile: larger than 1 MiB"):
        optiqon.read_profile(large)
    deep = tmp_path / "deep.json"
    deep.write_text("[" * 100000 + "]" * 100000)
    with pytest.raises(optiqon.ProfileError, match="nests values more than 8 deep"):
        optiqon.read_profile(deep)
    binary = tmp_path / "binary.json"
    binary.write_bytes(b'{"format": 1, "taken": "\xff"}')
    with pytest.raises(optiqon.ProfileError, match="is not valid JSON: it is not UTF-8 text"):
        optiqon.read_profile(binary)


def test_a_property_the_camera_does_not_take_refuses_the_profile_before_anything_is_sent(
    camera_a, tmp_path: Path
):
    """The tool learns a property's range only when it writes the value; here each property is
    checked against the camera's range before the first value is sent."""
    path = tmp_path / "p.json"
    path.write_text(_profile(properties={"gain": 5, "brightness": 65}, controls={"9": [1]}))
    with pytest.raises(optiqon.ProfileError) as raised:
        camera_a.import_profile(path)
    assert raised.value.problems == [
        f'{path}: properties "brightness": 65 is outside the range of camera K3M51-A001, -64 to 64'
    ]
    assert camera_a.values("gain", 9) == {"gain": 0, "control 9": [0]}
