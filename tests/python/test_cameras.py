"""The cameras listed and opened: by serial number, by location, as the only one, and refused
with the cameras named."""

from __future__ import annotations

import pydoc
import re
from pathlib import Path

import pytest
from conftest import ROOT, SERIALS, run_python

import optiqon

LOCATION = "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB({})"


def test_cameras_lists_each_camera_with_its_serial_location_and_sides(plugged_b):
    assert optiqon.cameras() == [
        optiqon.CameraInfo(serial, LOCATION.format(port), True, True)
        for port, serial in enumerate(SERIALS, start=1)
    ]


def test_a_camera_pulled_out_is_not_listed(plugged_b):
    plugged_b.unlink()
    assert [info.serial for info in optiqon.cameras()] == ["K3M51-A001", "K3M51-C003"]


def test_open_by_serial_number_gives_that_camera():
    with optiqon.open("K3M51-C003") as camera:
        assert (camera.serial, camera.location) == ("K3M51-C003", LOCATION.format(3))
        assert repr(camera) == f"<optiqon.Camera K3M51-C003 at {LOCATION.format(3)}>"
    assert camera.closed
    assert repr(camera).endswith("(closed)>")


def test_open_by_location_gives_the_camera_plugged_in_there():
    with optiqon.open(location=LOCATION.format(2)) as camera:
        assert camera.serial == "K3M51-B002"


def test_open_without_a_serial_among_several_names_them_all():
    with pytest.raises(optiqon.SeveralCameras) as raised:
        optiqon.open()
    assert raised.value.code == 2
    assert raised.value.message == (
        "3 cameras are plugged in ("
        + ", ".join(f"{serial} at {LOCATION.format(port)}" for port, serial in enumerate(SERIALS, 1))
        + "): choose one by its serial number"
    )


def test_an_unknown_serial_number_names_the_cameras_present():
    with pytest.raises(optiqon.NoCamera, match=r"^no camera with serial number K3M51-X; present: "
                       r"K3M51-A001 at .*USB\(1\), K3M51-B002 at .*, K3M51-C003 at .*USB\(3\)$"):
        optiqon.open("K3M51-X")


def test_the_only_camera_opens_without_a_serial_and_two_with_one_serial_need_a_location(
    tmp_path: Path,
):
    code = """
import optiqon
with optiqon.open() as camera:
    print(camera.serial)
"""
    single = f"clock = virtual\nserial = K3M51-ONLY\nflash = {tmp_path}/one.flash\n"
    completed = run_python(code, single, tmp_path)
    assert (completed.returncode, completed.stdout) == (0, "K3M51-ONLY\n"), completed.stderr

    twins = "clock = virtual\nserial = K3M51-TWIN\n[camera]\nserial = K3M51-TWIN\n"
    code = """
import optiqon
try:
    optiqon.open("K3M51-TWIN")
except optiqon.SeveralCameras as error:
    print(error)
with optiqon.open(location=optiqon.cameras()[1].location) as camera:
    print(camera.serial, camera.location)
"""
    completed = run_python(code, twins, tmp_path)
    assert completed.returncode == 0, completed.stderr
    assert completed.stdout.splitlines() == [
        f"2 cameras give serial number K3M51-TWIN (at {LOCATION.format(1)}, {LOCATION.format(2)}):"
        " choose one by its location",
        f"K3M51-TWIN {LOCATION.format(2)}",
    ]


def test_a_camera_without_a_serial_number_is_named_by_its_location(tmp_path: Path):
    scenario = "clock = virtual\ncamera = absent\n"
    code = """
import optiqon
print(optiqon.cameras())
with optiqon.open() as camera:
    print(camera.serial, camera.name)
"""
    completed = run_python(code, scenario, tmp_path)
    assert completed.returncode == 0, completed.stderr
    assert completed.stdout.splitlines() == [
        f"[CameraInfo(serial=None, location='{LOCATION.format(1)}', video_side=True, "
        "hid_side=False)]",
        f"None at {LOCATION.format(1)}",
    ]


def test_versions_are_the_kits():
    cmake = (ROOT / "CMakeLists.txt").read_text()
    kit = re.search(r"^project\(\w+ VERSION ([0-9.]+)", cmake, re.MULTILINE)
    assert kit is not None
    assert optiqon.__version__ == kit.group(1)
    assert optiqon.version() == kit.group(1)
    assert Path(optiqon.library_path()).resolve() == Path(
        __import__("os").environ["OPTIQON_LIBRARY"]
    ).resolve()


def test_help_reads_well_and_every_public_name_has_its_docstring():
    text = pydoc.render_doc(optiqon, renderer=pydoc.plaintext)
    for name in ("cameras", "open", "OPTIQON_LIBRARY", "export_profile", "update_firmware"):
        assert name in text
    for name in optiqon.__all__:
        member = getattr(optiqon, name)
        if callable(member) and name != "Value":
            assert member.__doc__, name
    for name, member in vars(optiqon.Camera).items():
        if not name.startswith("_") and (callable(member) or isinstance(member, property)):
            assert member.__doc__, f"Camera.{name}"
    assert (ROOT / "python" / "optiqon" / "py.typed").exists()
