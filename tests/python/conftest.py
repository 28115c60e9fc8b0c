"""What the Python package's tests share: a simulated PC of three cameras for this process, and
other simulated PCs in child processes.

The simulated camera API reads its scenario once, at its first call in a process, and ends a
process whose scenario it cannot use: so this process gets one PC, set up before any test runs,
and a test that needs another PC (the real clock, a camera without its video device, a failing
platform, another library) runs Python in a child process of its own.

ctest passes the simulated library (OPTIQON_LIBRARY) and the tool over it (OPTIQON_SIM); run by
hand, they default to the sim build's, build/sim.
"""

from __future__ import annotations

import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
SERIALS = ("K3M51-A001", "K3M51-B002", "K3M51-C003")
PASSWORD = "1A2B"


def _scenario(folder: Path) -> str:
    """Three cameras on a virtual clock: B plugged in while its plug file exists, C refusing
    to write page 4; every camera with its own flash, settings and video trace."""
    return f"""\
clock = virtual
camera_index = 1
video_devices = USB2.0 HD UVC WebCam, Corvantis Optiqon
serial = K3M51-A001
flash = {folder}/a.flash
camera_settings = {folder}/a.settings
video_trace = {folder}/a.video-trace
password = {PASSWORD}

[camera]
serial = K3M51-B002
flash = {folder}/b.flash
camera_settings = {folder}/b.settings
video_trace = {folder}/b.video-trace
plugged = {folder}/b.plugged

[camera]
serial = K3M51-C003
flash = {folder}/c.flash
camera_settings = {folder}/c.settings
video_trace = {folder}/c.video-trace
refuse_write = 3
"""


_folder = Path(tempfile.mkdtemp(prefix="optiqon-python-tests-"))


def pytest_configure(config: pytest.Config) -> None:
    os.environ.setdefault(
        "OPTIQON_LIBRARY", str(ROOT / "build" / "sim" / "libOptiqonCameras_sim.so.1")
    )
    os.environ.setdefault("OPTIQON_SIM", str(ROOT / "build" / "sim" / "optiqon_sim"))
    for variable in ("OPTIQON_LIBRARY", "OPTIQON_SIM"):
        if not Path(os.environ[variable]).exists():
            raise pytest.UsageError(
                f"{variable} names {os.environ[variable]}, which does not exist: build the sim "
                "preset first (cmake --build --preset sim)"
            )
    scenario = _folder / "pc.scenario"
    scenario.write_text(_scenario(_folder))
    (_folder / "b.plugged").touch()
    os.environ["OPTIQON_SIM_CAMERA"] = str(scenario)
    # The package from the source tree, without byte code left in it.
    sys.dont_write_bytecode = True
    sys.path.insert(0, str(ROOT / "python"))


def pytest_unconfigure(config: pytest.Config) -> None:
    shutil.rmtree(_folder, ignore_errors=True)


@pytest.fixture(scope="session")
def pc_folder() -> Path:
    """Where the cameras of this process's PC keep their files."""
    return _folder


@pytest.fixture(scope="session")
def optiqon_sim() -> str:
    return os.environ["OPTIQON_SIM"]


@pytest.fixture
def camera_a():
    """Camera A opened, back at its factory settings before and after the test."""
    import optiqon

    with optiqon.open(SERIALS[0]) as camera:
        camera.reset()
        yield camera
        if not camera.closed:
            camera.reset()


@pytest.fixture
def plugged_b(pc_folder: Path):
    """Camera B plugged in (again) for the test."""
    plug = pc_folder / "b.plugged"
    plug.touch()
    yield plug
    plug.touch()


def run_tool(*arguments: str, check: bool = True) -> subprocess.CompletedProcess[str]:
    """optiqon_sim on this process's PC."""
    completed = subprocess.run(
        [os.environ["OPTIQON_SIM"], *arguments], capture_output=True, text=True, timeout=60
    )
    if check and completed.returncode != 0:
        raise AssertionError(
            f"optiqon_sim {' '.join(arguments)}: exit code {completed.returncode}: "
            f"{completed.stderr}"
        )
    return completed


def run_python(
    code: str,
    scenario: str | None = None,
    folder: Path | None = None,
    arguments: tuple[str, ...] = (),
    **environment: str,
) -> subprocess.CompletedProcess[str]:
    """Python (this interpreter) running `code` with `arguments` in a child process, on a PC of
    its own when a scenario is given (written into `folder`), with the package from the source
    tree."""
    env = dict(os.environ)
    env["PYTHONPATH"] = str(ROOT / "python")
    env["PYTHONDONTWRITEBYTECODE"] = "1"
    if scenario is not None:
        assert folder is not None
        path = folder / "child.scenario"
        path.write_text(scenario)
        env["OPTIQON_SIM_CAMERA"] = str(path)
    env.update(environment)
    return subprocess.run(
        [sys.executable, "-c", code, *arguments], capture_output=True, text=True, timeout=60,
        env=env,
        cwd=folder,
    )
