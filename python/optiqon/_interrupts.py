"""Ctrl-C held back while a firmware update runs.

From the first erase to the verdict the camera holds no working firmware, so an update always
runs to its end, as the command-line tool's does. Python takes an interrupt (SIGINT) in the main
thread at the next line of Python it runs, which during an update is the page callback: left
alone, the KeyboardInterrupt would be raised inside that callback, where ctypes can only print
and drop it. So while the update runs, the main thread's SIGINT handler only notes the interrupt;
after the verdict the handler that was in place gets it:

* Python's own (``signal.default_int_handler``): :class:`~optiqon.UpdateInterrupted`, a
  KeyboardInterrupt carrying the verdict, is raised;
* one of the program's own: it is called, as if the interrupt had just come;
* the default action (``SIG_DFL``): the process ends by the signal, after the update;
* ignored (``SIG_IGN``), or a handler set outside Python: left as it is, nothing held back.

Only the main thread of the main interpreter may change a signal handler, and only there does
Python deliver signals. An update run from another thread changes nothing: Ctrl-C raises
KeyboardInterrupt in the main thread as usual while the update goes on in its own; that thread
should not be a daemon, so that the interpreter waits for it before the process ends.
"""

from __future__ import annotations

import signal
import sys
import threading
from types import FrameType, TracebackType
from typing import Any, Callable, Union

from .errors import UpdateInterrupted

_Handler = Union[Callable[[int, Union[FrameType, None]], Any], int, None]


class InterruptsHeld:
    """A context that holds back SIGINT in the main thread, then :meth:`deliver` it."""

    def __init__(self, camera_name: str) -> None:
        self._camera_name = camera_name
        self._previous: _Handler = None
        self._installed = False
        self.interrupted = False

    def __enter__(self) -> InterruptsHeld:
        if threading.current_thread() is not threading.main_thread():
            return self
        previous = signal.getsignal(signal.SIGINT)
        if previous is None or previous == signal.SIG_IGN:
            return self
        try:
            signal.signal(signal.SIGINT, self._note)
        except ValueError:  # the main thread of another interpreter than the main one
            return self
        self._previous = previous
        self._installed = True
        return self

    def __exit__(
        self,
        kind: type[BaseException] | None,
        error: BaseException | None,
        traceback: TracebackType | None,
    ) -> None:
        if self._installed:
            signal.signal(signal.SIGINT, self._previous)
            self._installed = False

    def _note(self, _signal: int, _frame: FrameType | None) -> None:
        if self.interrupted:
            return
        self.interrupted = True
        try:
            sys.stderr.write(
                f"optiqon: the firmware update of camera {self._camera_name} goes on to its end "
                "(until then the camera holds no working firmware); the interrupt follows its "
                "verdict\n"
            )
            sys.stderr.flush()
        except (OSError, ValueError, AttributeError):  # no standard error to tell
            pass

    def deliver(self, result: Any) -> None:
        """After the verdict: the interrupt held back, to the handler that was in place."""
        if not self.interrupted:
            return
        self.interrupted = False
        if self._previous is signal.default_int_handler:
            raise UpdateInterrupted(result)
        # Raised anew now that the previous handler is back: the program's own handler runs
        # (raise_signal checks for signals before it returns), or the default action ends the
        # process.
        signal.raise_signal(signal.SIGINT)
