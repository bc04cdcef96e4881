# SPDX-License-Identifier: MIT
"""The library's error texts, exactly as it reports them (spelling included).

The binding raises these itself when it refuses a call before it reaches the
library, so that a script sees the same text either way.
"""

CANNOT_OPEN_FILE = "Error: Cannot open GDSII file."
CANNOT_WRITE_FILE = "Error: Cannot write GDSII file."
EXPORT_RUNNING = "Error: Cannot start another export process."
PROCESS_STOPPED = "Error: Process is already stoped."
STRUCTURE_NOT_CLOSED = "Error: Structure is not closed."
STRUCTURE_ALREADY_OPENED = "Error: Structure is already opened."
DUPLICATE_STRUCTURE = "Error: Structure with this name is already inserted."
STRUCTURE_NOT_OPENED = "Error: Structure is not opened."
STRUCTURE_NAME_NULL = "Error: Structure name is NULL."
STRUCTURE_NAME_TOO_LONG = "Error: Structure name is too long."
POINT_ARRAY_NULL = "Error: Point array is NULL."
TIMESTAMP_OUT_OF_RANGE = "Error: Timestamp is out of range."
BOUNDARY_TOO_FEW = "Error: Not enougph points for BOUNDARY structure. "
BOUNDARY_TOO_MANY = "Error: Too many points for BOUNDARY structure. "
PATH_TOO_FEW = "Error: Not enougph points for PATH structure. "
NODE_TOO_FEW = "Error: Not enougph points for NODE record. "
NODE_TOO_MANY = "Error: Too many points for NODE record. "
TEXT_NULL = "errStringIsNULL"
TEXT_TOO_LONG = "errStringSizeIsOver"
TEXT_TYPE_LIMIT = "errTextTypeLimit"
# Refusals of the strict mode of the handle API.
INVALID_UNITS = "Error: Invalid units."
LIBRARY_NAME_TOO_LONG = "Error: Library name is too long."
STRUCTURE_NAME_EMPTY = "Error: Structure name is empty."
VALUE_OUT_OF_RANGE = "Error: Value does not fit its GDSII field."
COLROW_OUT_OF_RANGE = "Error: Columns and rows must lie in 1 to 32767."
COORDINATE_OUT_OF_RANGE = "Error: Coordinate does not fit 32 bits."
NOT_FINITE = "Error: Value is not a finite number."
PROPERTY_ATTRIBUTE_RANGE = "Error: Property attribute must lie in 1 to 65535."
PROPERTY_VALUE_TOO_LONG = "Error: Property value is too long."
PROPERTIES_WITHOUT_ELEMENT = "Error: Properties have no element."
POLYGON_LIMIT_RANGE = "Error: Polygon limit must lie in 8 to 4094."
OUT_OF_MEMORY = "Error: Out of memory."
MAGNIFICATION_NOT_POSITIVE = "Error: Magnification must be greater than 0."
ANGLE_OUT_OF_RANGE = "Error: Angle must lie in -360 to 360."
TEXT_ANGLE_NOT_QUARTER_TURN = "Error: Text angle must be a multiple of 90."
TEXT_EMPTY = "Error: Text is empty."
# The warning of closing a library that references an undefined structure.
UNDEFINED_STRUCTURE = "Error: Reference to an undefined structure."
REENTRANT_CALL = "Error: Called from inside the error handler."
INCLUDED_FILE_INVALID = "Error: Included file is not valid GDSII."

# The binding's own texts, for what it refuses before the library sees it.
NOT_ASCII = "Error: String is not ASCII."
NUL_IN_STRING = "Error: String contains a NUL character."
NOT_AN_INTEGER = "Error: Coordinate is not an integer in database units."
WRONG_TYPE = "Error: Value has the wrong type."

# The status the library gives each text (every other one: -2, an argument).
_STATUS = {
    CANNOT_OPEN_FILE: -4, CANNOT_WRITE_FILE: -4,
    EXPORT_RUNNING: -1, PROCESS_STOPPED: -1, STRUCTURE_NOT_CLOSED: -1,
    STRUCTURE_ALREADY_OPENED: -1, STRUCTURE_NOT_OPENED: -1,
    VALUE_OUT_OF_RANGE: -3, COLROW_OUT_OF_RANGE: -3, COORDINATE_OUT_OF_RANGE: -3,
    NOT_FINITE: -3, TIMESTAMP_OUT_OF_RANGE: -3, PROPERTY_ATTRIBUTE_RANGE: -3,
    PROPERTIES_WITHOUT_ELEMENT: -1, POLYGON_LIMIT_RANGE: -3, OUT_OF_MEMORY: -6,
    REENTRANT_CALL: -5, MAGNIFICATION_NOT_POSITIVE: -3, ANGLE_OUT_OF_RANGE: -3,
    TEXT_ANGLE_NOT_QUARTER_TURN: -3, UNDEFINED_STRUCTURE: 1,
}


def status_of(message):
    """The handle API's status code for message."""
    return _STATUS.get(message, -2)
