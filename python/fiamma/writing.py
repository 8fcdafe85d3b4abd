"""How the tools write files, so that no name ever holds half a file.

A replaced file is written under a temporary name in its own folder,
``.NAME.PID.tmp``, then renamed over NAME: NAME holds either its earlier
content or the whole new one, whatever happens in between (a kill, a full
disk, a size limit). An appended file receives its bytes in writes that are
taken back (the file truncated to its earlier size) when they cannot all be
written. Every failure is a ``WriteError`` naming the file and the system's
reason; the temporary is removed. ``sync`` also flushes the data and the
folder's entry to the disk, for the records a rerun trusts after a crash of
the machine.
"""

from __future__ import annotations

import os


class WriteError(Exception):
    """A file could not be written: ``path`` and the system's ``reason``."""

    def __init__(self, path, reason):
        self.path, self.reason = os.fspath(path), reason
        super().__init__(f"{self.path}: {reason}")


def _reason(exc: OSError) -> str:
    return exc.strerror or str(exc)


def temporary_name(path) -> str:
    folder, name = os.path.split(os.fspath(path))
    return os.path.join(folder, f".{name}.{os.getpid()}.tmp")


def make_folder(folder) -> None:
    try:
        os.makedirs(folder, exist_ok=True)
    except OSError as exc:
        raise WriteError(exc.filename or folder, _reason(exc)) from None


def sync_folder(folder) -> None:
    fd = os.open(folder, os.O_RDONLY | os.O_DIRECTORY)
    try:
        os.fsync(fd)
    finally:
        os.close(fd)


def _write_all(fd: int, data: bytes) -> None:
    view = memoryview(data)
    while view:
        view = view[os.write(fd, view):]


def write_atomically(path, data: bytes, sync: bool = False, check=None) -> None:
    """Replaces ``path`` by ``data`` through a temporary and a rename.
    ``check(temporary)``, when given, reads the written file back and
    returns why it is wrong, or None: only a right file gets the name."""
    path = os.fspath(path)
    folder = os.path.dirname(os.path.abspath(path))
    make_folder(folder)
    tmp = temporary_name(path)
    try:
        fd = os.open(tmp, os.O_WRONLY | os.O_CREAT | os.O_TRUNC | os.O_CLOEXEC, 0o666)
        try:
            _write_all(fd, data)
            if sync:
                os.fsync(fd)
        finally:
            os.close(fd)
        wrong = check(tmp) if check else None
        if wrong:
            os.unlink(tmp)
            raise WriteError(path, wrong)
        os.replace(tmp, path)
        if sync:
            sync_folder(folder)
    except OSError as exc:
        try:
            os.unlink(tmp)
        except OSError:
            pass
        raise WriteError(path, _reason(exc)) from None


def append_whole(path, data: bytes, sync: bool = False) -> None:
    """Appends ``data`` to ``path`` (made when missing), all of it or nothing."""
    path = os.fspath(path)
    make_folder(os.path.dirname(os.path.abspath(path)))
    try:
        fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_APPEND | os.O_CLOEXEC, 0o666)
    except OSError as exc:
        raise WriteError(path, _reason(exc)) from None
    try:
        size = os.fstat(fd).st_size
        try:
            _write_all(fd, data)
            if sync:
                os.fsync(fd)
        except OSError as exc:
            try:
                os.ftruncate(fd, size)
            except OSError:
                pass
            raise WriteError(path, _reason(exc)) from None
    finally:
        os.close(fd)
