"""One writer of the handle API per Library, and its errors as QuillonError.

Every :class:`quillon.Library` owns a ``QuillonWriter*`` opened in strict
mode: a refused call writes nothing, and the writers share no state, so any
number of libraries may be open at once, from any threads.

The library hands each error to one callback, on the thread making the call.
The callback only appends the text to a per-thread list; the binding turns
the list into :class:`quillon.QuillonError` once the call has returned with a
non-zero status. The callback also delivers the reason of a failed
``quillon_open``, when there is no writer left to ask.

quillon_close frees the writer, so the full text of its warning (which names
the undefined structures) is read by the callback, from inside the call, while
the writer still exists; :func:`close_writer` turns it into
:class:`quillon.UndefinedStructureWarning`.
"""

import ctypes
import threading
import warnings

from . import _messages as msg
from . import _native
from .errors import QuillonError, UndefinedStructureWarning

_local = threading.local()


def _messages():
    try:
        return _local.messages
    except AttributeError:
        _local.messages = []
        return _local.messages


def _on_error(user_data, status, message):
    # Runs inside the library: it must never raise.
    try:
        closing = getattr(_local, "closing", None)
        if status > 0 and closing is not None:
            # A warning of quillon_close: its last error text names the
            # structures, and is readable only until the writer is freed.
            message = _native.native().quillon_last_error(closing) or message
        _messages().append(message.decode("latin-1") if message else "")
    except BaseException:  # pragma: no cover - nothing can be done here
        pass


# Kept for the life of the process: every writer holds the pointer.
_callback = _native.CALLBACK_TYPE(_on_error)


def error(status, native=None, handle=None, detail=None):
    """The QuillonError of a call that answered status (not QUILLON_OK).

    Its message is the first text the callback received during the call,
    else the writer's quillon_last_error."""
    messages = list(_messages())
    _messages().clear()
    if not messages and handle is not None:
        text = native.quillon_last_error(handle)
        messages = [text.decode("latin-1") if text else ""]
    if not messages or not messages[0]:
        messages = [f"status {status}"]
    return QuillonError(messages[0], detail, messages, status=status)


def close_writer(native, handle, detail=None, stacklevel=3):
    """quillon_close(handle). A warning status (the file is complete) is
    issued as UndefinedStructureWarning, with the text naming the undefined
    structures; an error status raises QuillonError (after the warning)."""
    _messages().clear()
    _local.closing = handle
    try:
        status = native.quillon_close(handle)
    finally:
        _local.closing = None
    messages = _messages()
    found = [m for m in messages if m.startswith(msg.UNDEFINED_STRUCTURE)]
    for text in found:
        messages.remove(text)
    failure = error(status, detail=detail) if status < 0 else None
    messages.clear()
    try:
        for text in found:
            warnings.warn(text, UndefinedStructureWarning, stacklevel=stacklevel)
    finally:
        if failure is not None:
            raise failure


def open_writer(native, name, db_in_user_units, db_in_meters, library_name, timestamp,
                compression=-1, compact=True, file_format=0):
    """quillon_open in strict mode; returns the writer's address as an int.
    compression: -1 gzip by the ".gz" suffix, 0 never, 1 to 9 that level.
    file_format: QuillonOptions.format (0 by the ".oas" suffix, 1 GDSII,
    2 OASIS).
    compact: leave out the records GDSII makes optional at their defaults."""
    options = _native.QuillonOptions()
    native.quillon_default_options(ctypes.byref(options))
    # The library's defaults sized for its own struct: this one is the
    # binding's, every field of which is set below.
    options.size = ctypes.sizeof(options)
    options.compact = 1 if compact else 0
    options.libraryName = library_name
    for i, field in enumerate(timestamp):
        options.timestamp[i] = field
    options.onError = _callback
    options.strict = 1
    options.compression = compression
    options.format = file_format
    status = ctypes.c_int(0)
    _messages().clear()
    handle = native.quillon_open(name, db_in_user_units, db_in_meters, ctypes.byref(options),
                                 ctypes.byref(status))
    if not handle:
        raise error(status.value or -4)
    return handle
