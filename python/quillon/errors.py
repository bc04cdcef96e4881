# SPDX-License-Identifier: MIT
"""The exception raised for every error the Quillon library reports."""


class QuillonError(Exception):
    """An error of the Quillon library, carrying its message text.

    ``message`` is the library's text exactly as the C library reports it
    (for instance ``"Error: Structure is not opened."`` or
    ``"errTextTypeLimit"``), so that scripts can match on it the way C hosts
    do. ``messages`` holds every text reported by the failed call, in order
    (usually just ``message``). ``status`` is the handle API's status code of
    the call (``QUILLON_ERROR_STATE`` -1, ``_ARGUMENT`` -2, ``_RANGE`` -3,
    ``_IO`` -4, ``_REENTRANT`` -5, ``_MEMORY`` -6), or None when the binding
    refused the call itself. ``detail`` is an optional explanation added by
    the Python binding; it appears in ``str(error)`` after the message.
    """

    def __init__(self, message, detail=None, messages=None, status=None):
        self.message = message
        self.detail = detail
        self.status = status
        self.messages = tuple(messages) if messages else (message,)
        super().__init__(message if detail is None else f"{message} ({detail})")
