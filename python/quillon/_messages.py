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
