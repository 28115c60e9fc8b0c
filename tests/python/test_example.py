"""examples/python: the example script run as its user runs it, on this process's PC."""

from __future__ import annotations

import json
import os
import subprocess
import sys
from pathlib import Path

from conftest import ROOT, SERIALS, run_tool

EXAMPLE = ROOT / "examples" / "python" / "set_and_export.py"


def test_the_example_sets_every_camera_and_exports_each_profile(tmp_path: Path, plugged_b):
    env = dict(os.environ, PYTHONPATH=str(ROOT / "python"), PYTHONDONTWRITEBYTECODE="1")
    completed = subprocess.run(
        [sys.executable, str(EXAMPLE), "--brightness", "-7", str(tmp_path)],
        capture_output=True, text=True, timeout=60, env=env,
    )
    assert (completed.returncode, completed.stderr) == (0, "")
    assert completed.stdout == "".join(
        f"{serial}: brightness -7, profile written to {tmp_path / serial}.json\n"
        for serial in SERIALS
    )
    for serial in SERIALS:
        profile = tmp_path / f"{serial}.json"
        assert json.loads(profile.read_text())["properties"]["brightness"] == -7
        dry_run = run_tool("import", "--serial", serial, str(profile), "--dry-run")
        assert dry_run.stdout == "nothing would change\n"
        run_tool("reset", "--serial", serial)
