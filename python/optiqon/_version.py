"""The package's version: the kit's, the same as the camera API it loads (``optiqon.version()``)."""

__version__ = "1.0.0"
