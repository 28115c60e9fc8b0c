"""The firmware update: its progress page by page, its verdict as a value, what the progress
function raises, and Ctrl-C held back until the verdict."""

from __future__ import annotations

import json
import signal
import threading
from pathlib import Path

import pytest
from conftest import run_python

import optiqon

PAGE = 256


def _image(pages: int) -> bytes:
    return bytes((page * 7 + i) % 256 for page in range(pages) for i in range(PAGE))


def _flash_start(pc_folder: Path, camera: str, length: int) -> bytes:
    with open(pc_folder / f"{camera}.flash", "rb") as flash:
        return flash.read(length)


def test_an_update_reports_each_page_and_its_verdict(pc_folder: Path):
    image = _image(5)
    pages: list[tuple[int, int]] = []
    with optiqon.open("K3M51-A001") as camera:
        result = camera.update_firmware(image, progress=lambda done, total: pages.append((done, total)))
    assert pages == [(0, 5), (1, 5), (2, 5), (3, 5), (4, 5), (5, 5)]
    assert result == optiqon.UpdateResult(optiqon.Verdict.VERIFIED, "", 5)
    assert result and result.verified
    assert str(result) == "firmware updated: 5 pages written and verified"
    assert _flash_start(pc_folder, "a", len(image)) == image


def test_a_page_the_camera_refuses_is_a_verdict_not_an_exception(tmp_path: Path):
    image_file = tmp_path / "image.bin"
    image_file.write_bytes(_image(6))
    pages: list[int] = []
    with optiqon.open("K3M51-C003") as camera:
        result = camera.update_firmware(image_file, progress=lambda done, total: pages.append(done))
    assert result.verdict is optiqon.Verdict.DOWNLOAD_FAILED and not result
    assert result.message == "camera K3M51-C003 refused page 4 of 6: the download failed"
    assert str(result) == f"firmware update failed: {result.message}"
    assert pages == [0, 1, 2, 3]


def test_an_image_that_cannot_be_flashed_is_refused_with_nothing_sent(pc_folder: Path):
    before = _flash_start(pc_folder, "a", 4 * PAGE)
    with optiqon.open("K3M51-A001") as camera:
        with pytest.raises(optiqon.BadValue, match="^the image is empty$"):
            camera.update_firmware(b"")
        with pytest.raises(optiqon.BadValue, match="^the image is 16776961 bytes: the camera's "
                           "flash takes at most 16776960$"):
            camera.update_firmware(bytearray(65535 * PAGE + 1))
    assert _flash_start(pc_folder, "a", 4 * PAGE) == before
    assert optiqon.check_image(memoryview(bytes(65535 * PAGE))) == 65535
    assert optiqon.check_image(b"x") == 1


def test_what_the_progress_function_raises_comes_after_the_verdict(pc_folder: Path):
    image = _image(4)
    pages: list[int] = []

    def progress(done: int, total: int) -> None:
        pages.append(done)
        if done == 2:
            raise RuntimeError("the lab's display went away")

    with optiqon.open("K3M51-A001") as camera:
        with pytest.raises(RuntimeError, match="^the lab's display went away$") as raised:
            camera.update_firmware(image, progress=progress)
    assert pages == [0, 1, 2]  # not called again after it raised
    assert raised.value.__notes__ == [
        "the firmware update of camera K3M51-A001 ran to its end: "
        "firmware updated: 4 pages written and verified"
    ]
    assert _flash_start(pc_folder, "a", len(image)) == image


def test_the_progress_function_cannot_use_the_camera_being_updated():
    """The camera API's lock is held by the update: a call from the progress would never
    return. It is refused instead, and raised after the verdict."""
    with optiqon.open("K3M51-A001") as camera:
        with pytest.raises(optiqon.OptiqonError, match="^camera K3M51-A001 is being updated: "):
            camera.update_firmware(_image(2), progress=lambda done, total: camera.get("gain"))
        assert camera.get("gain") == 0  # usable again afterwards


def test_cameras_updated_from_threads_at_once_leave_the_interrupt_handler_alone(pc_folder: Path):
    handler = signal.getsignal(signal.SIGINT)
    seen: list[object] = []
    results: dict[str, optiqon.UpdateResult] = {}
    images = {"K3M51-A001": _image(3), "K3M51-B002": _image(4)}
    (pc_folder / "b.plugged").touch()

    def update(serial: str) -> None:
        with optiqon.open(serial) as camera:
            results[serial] = camera.update_firmware(
                images[serial], lambda done, total: seen.append(signal.getsignal(signal.SIGINT))
            )

    threads = [threading.Thread(target=update, args=(serial,)) for serial in images]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert {serial: result.verdict for serial, result in results.items()} == {
        "K3M51-A001": optiqon.Verdict.VERIFIED, "K3M51-B002": optiqon.Verdict.VERIFIED}
    assert seen and all(found is handler for found in seen)
    assert _flash_start(pc_folder, "b", len(images["K3M51-B002"])) == images["K3M51-B002"]


# A child process on the real clock (110 ms a page): SIGINT is sent from another thread once the
# second page is written, while the main thread waits inside the camera API; fourteen more pages
# leave the signal time enough to come during the update on a loaded machine.
INTERRUPTED_UPDATE = """
import json, os, signal, sys, threading, optiqon

HANDLER = sys.argv[1] if len(sys.argv) > 1 else "python"
second_page = threading.Event()
pages = []
handled = []
own = lambda number, frame: handled.append(len(pages))
if HANDLER == "own":
    signal.signal(signal.SIGINT, own)

def interrupt():
    second_page.wait(10)
    os.kill(os.getpid(), signal.SIGINT)

def progress(done, total):
    pages.append(done)
    if done == 2:
        second_page.set()

threading.Thread(target=interrupt).start()
image = bytes(range(256)) * 16
outcome = {}
try:
    with optiqon.open() as camera:
        result = camera.update_firmware(image, progress)
    outcome["returned"] = str(result)
except KeyboardInterrupt as interrupted:
    outcome["raised"] = type(interrupted).__name__
    outcome["result"] = str(interrupted.result)
    outcome["message"] = str(interrupted)
outcome["pages"] = pages
outcome["handled"] = handled
outcome["handler_back"] = signal.getsignal(signal.SIGINT) is (
    signal.default_int_handler if HANDLER == "python" else own)
with open(os.environ["FLASH"], "rb") as flash:
    outcome["flash_holds_image"] = flash.read(len(image)) == image
print(json.dumps(outcome))
"""


def _interrupted_update(tmp_path: Path, *arguments: str):
    scenario = f"clock = real\nserial = K3M51-R001\nflash = {tmp_path}/r.flash\n"
    return run_python(
        INTERRUPTED_UPDATE, scenario, tmp_path, arguments, FLASH=str(tmp_path / "r.flash")
    )


def test_ctrl_c_during_an_update_is_raised_after_its_verdict(tmp_path: Path):
    completed = _interrupted_update(tmp_path)
    assert completed.returncode == 0, completed.stderr
    assert json.loads(completed.stdout) == {
        "raised": "UpdateInterrupted",
        "result": "firmware updated: 16 pages written and verified",
        "message": "interrupted during a firmware update, which ran to its end: "
        "firmware updated: 16 pages written and verified",
        "pages": list(range(17)),
        "handled": [],
        "handler_back": True,
        "flash_holds_image": True,
    }
    assert completed.stderr == (
        "optiqon: the firmware update of camera K3M51-R001 goes on to its end (until then the "
        "camera holds no working firmware); the interrupt follows its verdict\n"
    )


def test_a_programs_own_interrupt_handler_gets_ctrl_c_after_the_verdict(tmp_path: Path):
    completed = _interrupted_update(tmp_path, "own")
    assert completed.returncode == 0, completed.stderr
    outcome = json.loads(completed.stdout)
    assert outcome["returned"] == "firmware updated: 16 pages written and verified"
    assert outcome["handled"] == [17]  # once, after the last page
    assert outcome["handler_back"]
    assert outcome["flash_holds_image"]
