"""Every exception, raised where the camera API or the package gives it, with the library's
message; the ones this process's PC cannot give are raised on PCs of their own, in child
processes."""

from __future__ import annotations

import json
from pathlib import Path

import pytest
from conftest import ROOT, run_python

import optiqon
from optiqon import _library
from optiqon.errors import error_for

CODES = {
    optiqon.NoCamera: 1,
    optiqon.SeveralCameras: 2,
    optiqon.BadValue: 3,
    optiqon.CameraRefused: 4,
    optiqon.CameraGone: 5,
    optiqon.NotAvailable: 6,
    optiqon.BufferTooSmall: 7,
    optiqon.PlatformFailed: 8,
}


@pytest.mark.parametrize(("kind", "code"), CODES.items())
def test_each_code_of_the_camera_api_is_its_own_exception(kind, code):
    error = error_for(code, "the library's words")
    assert type(error) is kind and error.code == code
    assert isinstance(error, optiqon.OptiqonError)
    assert (str(error), error.message) == ("the library's words", "the library's words")


def test_a_code_this_package_does_not_know_is_still_an_optiqon_error():
    error = error_for(42, "a newer library's words")
    assert type(error) is optiqon.OptiqonError and error.code == 42
    assert str(error) == "a newer library's words (code 42, which this package does not know)"


def test_the_exceptions_fall_under_their_kinds():
    assert issubclass(optiqon.BadValue, ValueError)
    assert issubclass(optiqon.ProfileError, optiqon.BadValue)
    assert issubclass(optiqon.NotTaken, optiqon.CameraRefused)
    assert issubclass(optiqon.CameraClosed, optiqon.OptiqonError)
    assert issubclass(optiqon.LibraryError, optiqon.OptiqonError)
    assert issubclass(optiqon.UpdateInterrupted, KeyboardInterrupt)
    assert not issubclass(optiqon.UpdateInterrupted, Exception)


# Each raises, on its PC, what the script says it does, and prints the exception's class, code
# and message as JSON.
RAISE = """
import json, logging, optiqon
lines = []
class Keep(logging.Handler):
    def emit(self, record):
        lines.append((record.levelname, record.getMessage()))
logging.getLogger("optiqon").addHandler(Keep())
logging.getLogger("optiqon").setLevel(logging.INFO)
try:
    {call}
    print(json.dumps({{"raised": None}}))
except optiqon.OptiqonError as error:
    print(json.dumps({{"raised": type(error).__name__, "code": error.code,
                      "message": error.message, "log": lines}}))
"""


def _raised(tmp_path: Path, call: str, scenario: str | None, **environment: str) -> dict:
    completed = run_python(RAISE.format(call=call), scenario, tmp_path, **environment)
    assert completed.returncode == 0, completed.stderr
    return json.loads(completed.stdout)


def test_a_camera_whose_video_device_was_not_found_raises_not_available(tmp_path: Path):
    scenario = "clock = virtual\nvideo_devices = USB2.0 HD UVC WebCam\nserial = K3M51-N001\n"
    assert _raised(tmp_path, 'optiqon.open().get("brightness")', scenario) == {
        "raised": "NotAvailable",
        "code": 6,
        "message": "camera K3M51-N001: its video device was not found, so its settings cannot "
        "be reached",
        "log": [],
    }


def test_a_platform_failure_raises_platform_failed_and_its_diagnostics_are_logged(
    tmp_path: Path,
):
    scenario = "clock = virtual\nserial = K3M51-F001\nfail = ActivateObject=0x80004005\n"
    raised = _raised(tmp_path, 'optiqon.open().get("brightness")', scenario)
    assert (raised["raised"], raised["code"]) == ("PlatformFailed", 8)
    assert raised["message"] == (
        "camera K3M51-F001: its video device could not be opened (0x80004005)"
    )
    assert raised["log"] and all(level == "INFO" for level, _ in raised["log"])
    assert all(line.startswith("info: Function: ") for _, line in raised["log"])
    assert any("0x80004005" in line for _, line in raised["log"])


def test_no_camera_at_all_raises_no_camera(tmp_path: Path):
    scenario = "clock = virtual\ncamera = absent\nvideo_devices =\n"
    assert _raised(tmp_path, "optiqon.open()", scenario) == {
        "raised": "NoCamera", "code": 1, "message": "no camera found", "log": []}
    completed = run_python("import optiqon; print(optiqon.cameras())", scenario, tmp_path)
    assert completed.stdout == "[]\n"


def test_a_library_that_cannot_be_loaded_raises_library_error_naming_it(tmp_path: Path):
    missing = tmp_path / "libOptiqonCameras.so.1"
    raised = _raised(tmp_path, "optiqon.cameras()", None, OPTIQON_LIBRARY=str(missing))
    assert (raised["raised"], raised["code"]) == ("LibraryError", None)
    assert raised["message"].startswith(
        f"the Optiqon camera API could not be loaded ({missing}: "
    )
    assert raised["message"].endswith("install it, or check the file OPTIQON_LIBRARY names")


def test_another_library_is_no_camera_api(tmp_path: Path):
    other = ROOT / "build" / "sim" / "libBrenwick_sim.so"
    if not other.exists():
        pytest.skip("libBrenwick_sim.so is not built")
    raised = _raised(tmp_path, "optiqon.cameras()", None, OPTIQON_LIBRARY=str(other))
    assert raised["raised"] == "LibraryError"
    assert raised["message"] == (
        f"{other} is not the Optiqon camera API: it lacks optiqon_list_cameras"
    )


def test_importing_needs_no_library(tmp_path: Path):
    code = "import optiqon; help(optiqon); print(optiqon.__version__)"
    completed = run_python(code, None, tmp_path, OPTIQON_LIBRARY=str(tmp_path / "none.so"))
    assert completed.returncode == 0, completed.stderr
    assert completed.stdout.endswith(f"\n{optiqon.__version__}\n")


def test_the_library_looked_for_is_the_named_one_or_the_installed_one(monkeypatch, tmp_path):
    named = tmp_path / "libOptiqonCameras_sim.so.1"
    named.touch()
    monkeypatch.chdir(tmp_path)
    monkeypatch.setenv("OPTIQON_LIBRARY", named.name)
    assert _library.candidates() == [str(named)]  # a relative name made whole
    monkeypatch.setenv("OPTIQON_LIBRARY", "libSomewhereOnThePath.so")
    assert _library.candidates() == ["libSomewhereOnThePath.so"]
    monkeypatch.delenv("OPTIQON_LIBRARY")
    monkeypatch.setattr(_library.sys, "platform", "linux")
    assert _library.candidates() == ["libOptiqonCameras.so.1"]
    # On Windows: the kit's folder in the 64-bit Program Files, whatever its drive, then the
    # DLL search path.
    monkeypatch.setattr(_library.sys, "platform", "win32")
    monkeypatch.setenv("ProgramW6432", "D:\\Program Files")
    monkeypatch.setenv("ProgramFiles", "D:\\Program Files (x86)")
    assert _library.candidates() == [
        "D:\\Program Files\\Optiqon\\bin\\OptiqonCameras.dll", "OptiqonCameras.dll"]
    monkeypatch.delenv("ProgramW6432")
    monkeypatch.delenv("ProgramFiles")
    assert _library.candidates()[0] == "C:\\Program Files\\Optiqon\\bin\\OptiqonCameras.dll"
