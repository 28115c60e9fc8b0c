"""Corvantis K3M51-USB cameras (Optiqon) from Python, through the kit's camera API.

Every camera on the PC is known by its serial number; open one, read and change its settings by
the names ``optiqon show`` uses, keep them in profiles, and update its firmware::

    import optiqon

    for info in optiqon.cameras():              # [CameraInfo(serial='K3M51-A001', ...), ...]
        with optiqon.open(info.serial) as camera:
            camera.set(brightness=10, control_20=[1, 2, 3, 4])
            camera.export_profile(f"{info.serial}.json")

    with optiqon.open("K3M51-A001") as camera:
        camera.get("white-balance")              # 4600
        camera.range("brightness")               # PropertyRange(minimum=-64, maximum=64, ...)
        camera.import_profile("K3M51-B002.json", dry_run=True)   # [Change(...), ...]
        result = camera.update_firmware("firmware.img", progress=lambda done, pages: None)
        print(result)                            # firmware updated: 79 pages written and verified

Functions: :func:`cameras`, :func:`open`, :func:`read_profile`, :func:`check_image`,
:func:`version`, :func:`library_path`. A camera: :class:`Camera`. Names and values:
:mod:`optiqon.settings`. Errors: :mod:`optiqon.errors`, every one an :class:`OptiqonError`
carrying the camera API's message.

Which library is loaded: the installed camera API (``libOptiqonCameras.so.1``, Debian package
``liboptiqoncameras1``; ``C:\\Program Files\\Optiqon\\bin\\OptiqonCameras.dll`` on Windows), or
the file the environment variable ``OPTIQON_LIBRARY`` names: the simulated library
(``libOptiqonCameras_sim.so.1``) with ``OPTIQON_SIM_CAMERA`` naming its scenario runs scripts
and their tests without a camera. The library's diagnostic lines go to the logger ``optiqon``
at level INFO.
"""

from __future__ import annotations

from . import _library
from ._version import __version__
from .camera import Camera, CameraInfo, PropertyRange, PropertyState, cameras, open
from .errors import (
    BadValue,
    BufferTooSmall,
    CameraClosed,
    CameraGone,
    CameraRefused,
    LibraryError,
    NoCamera,
    NotAvailable,
    NotTaken,
    OptiqonError,
    PlatformFailed,
    ProfileError,
    SeveralCameras,
    UpdateInterrupted,
)
from .firmware import UpdateResult, Verdict, check_image
from .profiles import Change, Profile, read_profile
from .settings import Value


def version() -> str:
    """The version of the camera API loaded (``"1.0.0"``); the package's is ``__version__``."""
    return _library.text(_library.library().optiqon_version())


def library_path() -> str:
    """The file the camera API was loaded from."""
    return _library.loaded_path()


__all__ = [
    "__version__",
    "cameras",
    "open",
    "read_profile",
    "check_image",
    "version",
    "library_path",
    "Camera",
    "CameraInfo",
    "PropertyRange",
    "PropertyState",
    "Change",
    "Profile",
    "UpdateResult",
    "Verdict",
    "Value",
    "OptiqonError",
    "NoCamera",
    "SeveralCameras",
    "BadValue",
    "CameraRefused",
    "CameraGone",
    "NotAvailable",
    "BufferTooSmall",
    "PlatformFailed",
    "NotTaken",
    "ProfileError",
    "CameraClosed",
    "LibraryError",
    "UpdateInterrupted",
]
