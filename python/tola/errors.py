"""Exceptions of the package.  Each carries the library's own text where it gave one."""

from __future__ import annotations


class TolaError(Exception):
    """Base of every error the package raises.

    ``status`` holds the connection record's status bits at the time of the
    failure (0 when there was no connection).
    """

    def __init__(self, message: str, status: int = 0) -> None:
        super().__init__(message)
        self.status = status


class LibraryNotFoundError(TolaError):
    """``libTOLA_comm.so`` could not be found or loaded."""


class ConnectError(TolaError):
    """No instrument answered on the chosen port within the time allowed, or
    only others than the one asked for."""


class NotConnectedError(TolaError):
    """The call needs an open connection, and there is none."""


class CommandError(TolaError):
    """The library reported that a command, transfer or poll failed."""


class QueueRangeError(CommandError):
    """The requested queue entry does not exist."""


class ToolError(TolaError):
    """``tolactl``, which runs the firmware catalog, updates and the list of
    instruments, failed or is missing."""
