"""Settings read and set by the names `optiqon show` uses; every value checked before anything is
sent, every wrong type refused with a TypeError; register, password, save and reset."""

from __future__ import annotations

from pathlib import Path

import pytest
from conftest import PASSWORD, run_tool

import optiqon


def test_get_reads_by_the_tools_names_and_numbers(camera_a):
    run_tool("set", "--serial", "K3M51-A001", "brightness=-5", "20=1,2,3,4", "30=1.0", "9=7")
    assert camera_a.get("brightness") == -5
    assert camera_a.get("white-balance") == camera_a.get("white_balance") == 4600
    assert camera_a.get("control 20") == camera_a.get("control_20") == [1, 2, 3, 4]
    assert camera_a.get(20) == camera_a.get("20") == [1, 2, 3, 4]
    assert camera_a.get(9) == [7]
    # Control 30 reads back as its byte scales: 1.0 was written as byte 11.
    assert camera_a.get(30) == 11 * 0.05 - 0.45


def test_set_writes_reads_back_and_the_tool_sees_it(camera_a, pc_folder):
    writes = len(_trace_writes(pc_folder))
    readings = camera_a.set(
        {"white-balance": 5000, 21: b"\x01\x02\x03\x04"},
        brightness=10,
        control_20=[9, 8, 7, 6],
        control_9=255,
        control_30=1.0,
    )
    assert readings == {
        "white-balance": 5000,
        "control 21": [1, 2, 3, 4],
        "brightness": 10,
        "control 20": [9, 8, 7, 6],
        "control 9": [255],
        "control 30": 11 * 0.05 - 0.45,
    }
    # Two property sets and four control writes, each once.
    assert len(_trace_writes(pc_folder)) == writes + 6
    shown = run_tool("get", "--serial", "K3M51-A001", "brightness", "white-balance", "20", "21",
                     "9", "30").stdout
    assert shown == (
        "brightness              10\n"
        "white-balance           5000\n"
        "control 20              9,8,7,6\n"
        "control 21              1,2,3,4\n"
        "control 9               255\n"
        "control 30              0.1\n"
    )


def test_values_lists_every_setting_in_the_order_show_does(camera_a):
    values = camera_a.values()
    assert list(values)[:10] == list(optiqon.settings.PROPERTY_NAMES)
    assert list(values)[10:] == [f"control {n}" for n in range(1, 40)]
    assert camera_a.values("gain", 21) == {"gain": 0, "control 21": [0, 0, 0, 0]}


def test_range_and_automatic_mode(camera_a):
    assert camera_a.range("white-balance") == optiqon.PropertyRange(2800, 6500, 10, 4600, True, True)
    assert camera_a.range("brightness") == optiqon.PropertyRange(-64, 64, 1, 0, False, True)
    camera_a.set_automatic("white_balance")
    assert camera_a.get_property("white-balance") == optiqon.PropertyState(4600, True)
    camera_a.set(white_balance=4800)
    assert camera_a.get_property("white-balance") == optiqon.PropertyState(4800, False)
    with pytest.raises(optiqon.BadValue, match="^brightness has no automatic mode$"):
        camera_a.set_automatic("brightness")


KSPROPERTY_TYPE_SET = 2


def _is_write(line: str) -> bool:
    """A video trace line of a property set, or of an extension-unit request whose KSP_NODE
    (its third field; the flags are its bytes 20 to 23) asks to set."""
    fields = line.split()
    if fields[1] == "Set":
        return True
    if fields[1] != "KsProperty":
        return False
    flags = int.from_bytes(bytes.fromhex(fields[2][40:48]), "little")
    return bool(flags & KSPROPERTY_TYPE_SET)


def _trace_writes(pc_folder: Path) -> list[str]:
    """The property sets and control writes camera A was sent, from its video trace."""
    trace = pc_folder / "a.video-trace"
    lines = trace.read_text().splitlines() if trace.exists() else []
    return [line for line in lines if _is_write(line)]


@pytest.mark.parametrize(
    ("values", "message"),
    [
        ({"brightness": 65}, "^brightness: 65 is outside its range, -64 to 64: nothing was sent$"),
        ({"gamma": 2**40}, "^gamma: 1099511627776 is outside the range of any image property$"),
        ({"control_20": [1, 2, 3]}, "^control 20 takes 4 bytes, not 3$"),
        ({"control_20": [1, 2, 3, 256]}, "^control 20: byte 256 is outside 0 to 255$"),
        ({"control_21": [1, 2, 3, -1]}, "^control 21: byte -1 is outside 0 to 255$"),
        ({"control_9": [1, 2]}, "^control 9 takes 1 byte, not 2$"),
        ({"control_30": 0.44}, r"^control 30: 0\.44 is outside what it carries \(0\.45 to 13\.2\)$"),
        ({"control_30": 13.21}, r"^control 30: 13\.21 is outside"),
        ({"control_30": float("nan")}, r"^control 30: nan is outside"),
        ({"control_3": [1]}, r"^control 3 is the register control: use Camera\.set_register\(\)$"),
        ({"control_6": [1, 2]}, r"^control 6 is the password control: use Camera\.send_password"),
        ({"brightnes": 1}, "^'brightnes' is neither an image property nor a vendor control "
                           r"\('control 1' to 'control 39'\): did you mean 'brightness'\?$"),
        ({"control_40": [1]}, r"^there is no vendor control 40 \(they are 1 to 39\)$"),
        ({"control_0": [1]}, r"^there is no vendor control 0 \(they are 1 to 39\)$"),
    ],
)
def test_a_refused_value_sends_nothing_at_all(camera_a, pc_folder, values, message):
    writes = _trace_writes(pc_folder)
    before = camera_a.values()
    # A good value before the bad one: it is not sent either.
    with pytest.raises(optiqon.BadValue, match=message) as raised:
        camera_a.set(contrast=50, **values)
    assert isinstance(raised.value, ValueError) and raised.value.code == 3
    assert camera_a.values() == before
    assert _trace_writes(pc_folder) == writes


def test_a_setting_given_twice_or_none_is_refused(camera_a):
    with pytest.raises(optiqon.BadValue, match="^white-balance is given twice$"):
        camera_a.set({"white-balance": 5000}, white_balance=5000)
    with pytest.raises(optiqon.BadValue, match="^control 20 is given twice$"):
        camera_a.set({20: [1, 1, 1, 1]}, control_20=[1, 1, 1, 1])
    with pytest.raises(optiqon.BadValue, match=r"^set\(\) was given no value$"):
        camera_a.set()


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda c: c.get(1.5), "a setting is named by a str .* not float"),
        (lambda c: c.get(None), "not NoneType"),
        (lambda c: c.get(True), "not bool"),
        (lambda c: c.get(b"brightness"), "not bytes"),
        (lambda c: c.set(brightness="10"), "^brightness takes a whole number, not str '10'$"),
        (lambda c: c.set(brightness=1.5), "^brightness takes a whole number, not float 1.5$"),
        (lambda c: c.set(brightness=True), "^brightness takes a whole number, not bool$"),
        (lambda c: c.set(brightness=None), "not NoneType"),
        (lambda c: c.set(control_20="1234"), "^control 20 takes a list of 4 bytes, not str$"),
        (lambda c: c.set(control_20=5), "^control 20 takes a list of 4 bytes, not int$"),
        (lambda c: c.set(control_20=[1, 2, 3, "4"]), "^each byte of control 20 takes a whole"),
        (lambda c: c.set(control_20=[1, 2, 3, 4.0]), "not float 4.0$"),
        (lambda c: c.set(control_20=[1, 2, 3, False]), "not bool$"),
        (lambda c: c.set(control_9={1}), r"^control 9 takes a list of 1 byte \(or one int\), not set$"),
        (lambda c: c.set(control_30="1"), r"^control 30 takes a number \(0.45 to 13.2\), not str$"),
        (lambda c: c.set(control_30=[1]), "not list$"),
        (lambda c: c.set([("brightness", 1)]), r"^set\(\) takes a mapping of names to values"),
        (lambda c: c.set({1.5: [0]}), "not float$"),
        (lambda c: c.range(5.0), "not float$"),
        (lambda c: c.get_property(object()), "not object$"),
        (lambda c: c.set_register("1", 1), "^the register address is an int from 0 to 255, not str$"),
        (lambda c: c.set_register(1, True), "^the register value is an int .*, not bool$"),
        (lambda c: c.send_password(0x1A2B), "^a password is a str, not int$"),
        (lambda c: c.export_profile(5), "^a profile's path is a str or a path, not int$"),
        (lambda c: c.import_profile(5), "^expected str, bytes or os.PathLike object, not int$"),
        (lambda c: c.import_profile("x.json", dry_run="yes"), "^dry_run is True or False, not str$"),
        (lambda c: c.update_firmware(12345), "^a firmware image is bytes or the path of its file"),
        (lambda c: c.update_firmware(b"x", progress=5), r"^progress is a function of \(written"),
    ],
)
def test_arguments_of_the_wrong_type_raise_type_error(camera_a, call, message):
    with pytest.raises(TypeError, match=message):
        call(camera_a)


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda c: c.get(0), r"^there is no vendor control 0 \(they are 1 to 39\)$"),
        (lambda c: c.get(10**30), r"^there is no vendor control that large \(they are 1 to 39\)$"),
        (lambda c: c.get(-(10**5000)), "^there is no vendor control that large"),
        (lambda c: c.get("control " + "9" * 5000), "^there is no vendor control 9999"),
        (lambda c: c.get("control 20 "), "is neither an image property"),
        (lambda c: c.range("control 20"), "^control 20 is a vendor control, not an image property"),
        (lambda c: c.set_register(256, 0), "^the register address 256 is outside 0 to 255$"),
        (lambda c: c.set_register(0, -1), "^the register value -1 is outside 0 to 255$"),
        (lambda c: c.send_password("12345"), "^a password is four hexadecimal digits, not '12345'$"),
        (lambda c: c.send_password("1G2B"), "^a password is four hexadecimal digits"),
        (lambda c: c.send_password("1A\0B"), "holds a NUL character$"),
        (lambda c: c.send_password("1A\ud800B"), "is no text UTF-8 can carry$"),
        (lambda c: c.export_profile("a\0.json"), r"^the profile's name 'a\\x00\.json' holds a NUL"),
        (lambda c: c.import_profile("a\0.json"), "^cannot read the profile a\x00.json$"),
        (lambda c: c.update_firmware(b""), "^the image is empty$"),
        (lambda c: c.update_firmware(bytes(65535 * 256 + 1)), "^the image is 16776961 bytes: "),
    ],
)
def test_values_out_of_range_raise_bad_value(camera_a, call, message):
    with pytest.raises(optiqon.BadValue, match=message):
        call(camera_a)


def test_open_refuses_arguments_of_the_wrong_type_or_value():
    with pytest.raises(TypeError, match="^a serial number is a str, not int$"):
        optiqon.open(123)  # type: ignore[arg-type]
    with pytest.raises(TypeError, match="^a serial number is a str, not bytes$"):
        optiqon.open(b"K3M51-A001")  # type: ignore[arg-type]
    with pytest.raises(TypeError, match="^a location is a str, not list$"):
        optiqon.open(location=[])  # type: ignore[arg-type]
    with pytest.raises(optiqon.BadValue, match="holds a NUL character$"):
        optiqon.open("K3M51-A001\0")
    with pytest.raises(optiqon.BadValue, match="not both$"):
        optiqon.open("K3M51-A001", location="x")
    with pytest.raises(TypeError, match=r"^a Camera is made by optiqon\.open\(\)$"):
        optiqon.Camera(None)


def test_register_password_save_and_reset(camera_a, pc_folder):
    camera_a.set_register(0x10, 0x7F)
    assert camera_a.get_register() == 0x7F
    with pytest.raises(optiqon.CameraRefused, match="^camera K3M51-A001 did not take the password$"):
        camera_a.send_password("0000")
    camera_a.send_password(PASSWORD.lower())
    camera_a.set(brightness=12)
    camera_a.save()
    assert "0=12" in (pc_folder / "a.settings.saved").read_text()
    camera_a.reset()
    assert camera_a.get("brightness") == 0
    assert not (pc_folder / "a.settings.saved").exists()


def test_a_value_the_camera_does_not_keep_is_named_and_the_others_still_written(
    camera_a, monkeypatch
):
    # A camera that keeps brightness at 0 whatever it is sent.
    real_read = optiqon.Camera._read

    def read(self, setting):
        return 0 if setting.name == "brightness" else real_read(self, setting)

    monkeypatch.setattr(optiqon.Camera, "_read", read)
    with pytest.raises(optiqon.NotTaken) as raised:
        camera_a.set(brightness=10, contrast=50)
    assert isinstance(raised.value, optiqon.CameraRefused)
    assert raised.value.message == "camera K3M51-A001 did not take brightness (it reads 0)"
    assert (raised.value.names, raised.value.readings) == (
        ["brightness"],
        {"brightness": 0, "contrast": 50},
    )
    monkeypatch.undo()
    assert camera_a.get("contrast") == 50


def test_a_closed_camera_refuses_every_call(camera_a):
    camera_a.close()
    camera_a.close()  # twice is harmless
    with pytest.raises(optiqon.CameraClosed, match="^camera K3M51-A001 was closed$"):
        camera_a.get("brightness")
    with pytest.raises(optiqon.CameraClosed):
        camera_a.update_firmware(b"x" * 256)


def test_a_camera_pulled_out_raises_camera_gone_and_works_once_plugged_in_again(plugged_b):
    with optiqon.open("K3M51-B002") as camera:
        camera.get("brightness")
        plugged_b.unlink()
        with pytest.raises(optiqon.CameraGone, match="^camera K3M51-B002 is no longer plugged in$"):
            camera.get("brightness")
        plugged_b.touch()
        assert camera.get("brightness") == 0
