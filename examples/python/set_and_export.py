#!/usr/bin/env python3
"""Sets one value on every camera plugged into the PC and exports each camera's profile.

    python3 set_and_export.py [--brightness N] [FOLDER]

Each camera's profile is written to FOLDER (the current folder by default) as SERIAL.json, in
the format `optiqon import` reads. Without a camera, set OPTIQON_LIBRARY to the simulated
library and OPTIQON_SIM_CAMERA to a scenario (docs/python.md).
"""

from __future__ import annotations

import argparse
import sys
from pathlib import Path

import optiqon


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder", nargs="?", default=".", type=Path)
    parser.add_argument("--brightness", type=int, default=10)
    arguments = parser.parse_args()

    failures = 0
    for info in optiqon.cameras():
        # Opened where it is plugged in: that names the very camera listed, even one that gave
        # no serial number or the serial number of another.
        name = info.serial or info.location.replace("#", "_")
        try:
            with optiqon.open(location=info.location) as camera:
                camera.set(brightness=arguments.brightness)
                profile = arguments.folder / f"{name}.json"
                camera.export_profile(profile)
            print(f"{name}: brightness {arguments.brightness}, profile written to {profile}")
        except optiqon.OptiqonError as error:
            print(f"{name}: {error}", file=sys.stderr)
            failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
