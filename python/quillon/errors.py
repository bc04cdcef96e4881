# SPDX-License-Identifier: MIT
"""The exception raised for every error the Quillon library reports."""

from ._messages import status_of

# The handle API's status codes (include/quillon.h).
STATE = -1
ARGUMENT = -2
RANGE = -3
IO = -4
REENTRANT = -5
MEMORY = -6


class QuillonError(Exception):
    """An error of the Quillon library, carrying its message text.

    ``message`` is the library's text exactly as the C library reports it
    (for instance ``"Error: Structure is not opened."`` or
    ``"errTextTypeLimit"``), so that scripts can match on it the way C hosts
    do. ``messages`` holds every text reported by the failed call, in order
    (usually just ``message``). ``status`` is the handle API's status code of
    the call (``QUILLON_ERROR_STATE`` -1, ``_ARGUMENT`` -2, ``_RANGE`` -3,
    ``_IO`` -4, ``_REENTRANT`` -5, ``_MEMORY`` -6). A call the binding
    refuses itself, before the library sees it, carries the status the
    library gives the same message (its own texts: -2, or -3 for values
    out of range). ``detail`` is an optional explanation added by the Python
    binding; it appears in ``str(error)`` after the message.
    """

    def __init__(self, message, detail=None, messages=None, status=None):
        self.message = message
        self.detail = detail
        self.status = status_of(message) if status is None else status
        self.messages = tuple(messages) if messages else (message,)
        super().__init__(message if detail is None else f"{message} ({detail})")


class ArgumentTypeError(QuillonError, TypeError):
    """A value of the wrong type (a float where the file takes an int, a
    str where a number goes): a QuillonError that is also a TypeError."""


class ArgumentValueError(QuillonError, ValueError):
    """A value the file cannot hold (outside its field, a NUL in a string):
    a QuillonError that is also a ValueError."""


class UndefinedStructureWarning(UserWarning):
    """Issued (through :mod:`warnings`) when a library is closed whose SREF
    or AREF names a structure it never defined. The file is complete and
    kept; the text is the library's, naming up to ten missing structures::

        Error: Reference to an undefined structure. Undefined: PAd.

    ``warnings.simplefilter("error", quillon.UndefinedStructureWarning)``
    turns it into an exception raised by :meth:`Library.close`."""
