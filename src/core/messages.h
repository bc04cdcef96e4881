// The texts of every error report. Hosts match on them byte for byte, so
// they stay exactly as they are, spelling included.
#pragma once

#include "quillon.h"

namespace quillon::messages {

inline constexpr const char* cannotOpenFile = "Error: Cannot open GDSII file.";
inline constexpr const char* cannotWriteFile = "Error: Cannot write GDSII file.";
inline constexpr const char* exportRunning = "Error: Cannot start another export process.";
inline constexpr const char* processStopped = "Error: Process is already stoped.";
inline constexpr const char* structureNotClosed = "Error: Structure is not closed.";
inline constexpr const char* structureAlreadyOpened = "Error: Structure is already opened.";
inline constexpr const char* duplicateStructureName =
    "Error: Structure with this name is already inserted.";
inline constexpr const char* structureNotOpened = "Error: Structure is not opened.";
inline constexpr const char* structureNameNull = "Error: Structure name is NULL.";
inline constexpr const char* structureNameTooLong = "Error: Structure name is too long.";
inline constexpr const char* pointArrayNull = "Error: Point array is NULL.";
inline constexpr const char* timestampOutOfRange = "Error: Timestamp is out of range.";
inline constexpr const char* structureNameEmpty = "Error: Structure name is empty.";
inline constexpr const char* invalidUnits = "Error: Invalid units.";
inline constexpr const char* libraryNameTooLong = "Error: Library name is too long.";
inline constexpr const char* valueOutOfRange = "Error: Value does not fit its GDSII field.";
inline constexpr const char* colRowOutOfRange = "Error: Columns and rows must lie in 1 to 32767.";
inline constexpr const char* coordinateOutOfRange = "Error: Coordinate does not fit 32 bits.";
inline constexpr const char* notFinite = "Error: Value is not a finite number.";
inline constexpr const char* propertyAttributeRange =
    "Error: Property attribute must lie in 1 to 65535.";
inline constexpr const char* propertyValueNull = "Error: Property value is NULL.";
inline constexpr const char* propertyValueTooLong = "Error: Property value is too long.";
inline constexpr const char* propertiesWithoutElement = "Error: Properties have no element.";
inline constexpr const char* polygonLimitRange = "Error: Polygon limit must lie in 8 to 4094.";
inline constexpr const char* polygonNotFractured = "Error: Polygon cannot be fractured.";
inline constexpr const char* polygonRingsCross = "Error: Polygon rings cross.";
inline constexpr const char* outOfMemory = "Error: Out of memory.";
inline constexpr const char* magnificationNotPositive =
    "Error: Magnification must be greater than 0.";
inline constexpr const char* angleOutOfRange = "Error: Angle must lie in -360 to 360.";
inline constexpr const char* textAngleNotQuarterTurn = "Error: Text angle must be a multiple of 90.";
inline constexpr const char* textEmpty = "Error: Text is empty.";
inline constexpr const char* undefinedStructure = "Error: Reference to an undefined structure.";
inline constexpr const char* fileNameNull = "Error: File name is NULL.";
inline constexpr const char* compressionRange = "Error: Compression must lie in -1 to 9.";
inline constexpr const char* includedFileInvalid = "Error: Included file is not valid GDSII.";
inline constexpr const char* includedUnitsDiffer = "Error: Included library has other units.";
inline constexpr const char* includedStructureMissing =
    "Error: Included file has no structure of this name.";
inline constexpr const char* includedIsOutput = "Error: Included file is the output file.";
inline constexpr const char* includedNotRewindable = "Error: Included file cannot be read twice.";
inline constexpr const char* reentrantCall = "Error: Called from inside the error handler.";
inline constexpr const char* curveOutOfRange =
    "Error: Radius, angle or tolerance out of range.";
inline constexpr const char* pathSegmentsTooShort =
    "Error: Path segments too short for the bend radius.";
inline constexpr const char* formatRange = "Error: Format must lie in 0 to 2.";
inline constexpr const char* nodeNoOasisForm = "Error: NODE has no OASIS form.";
inline constexpr const char* oddPathWidth = "Error: Odd path width has no OASIS form.";
inline constexpr const char* boundaryTooFewPoints =
    "Error: Not enougph points for BOUNDARY structure. ";
inline constexpr const char* boundaryTooManyPoints =
    "Error: Too many points for BOUNDARY structure. ";
inline constexpr const char* pathTooFewPoints = "Error: Not enougph points for PATH structure. ";
inline constexpr const char* nodeTooFewPoints = "Error: Not enougph points for NODE record. ";
inline constexpr const char* nodeTooManyPoints = "Error: Too many points for NODE record. ";
inline constexpr const char* textNull = "errStringIsNULL";
inline constexpr const char* textTooLong = "errStringSizeIsOver";
inline constexpr const char* textTypeLimit = "errTextTypeLimit";

// The status code of the handle API that each message stands for.
int statusOf(const char* message);

// How much a status weighs when one call reports several: the call answers
// the heaviest, the first of equal weight. Data loss (I/O, memory) weighs
// most, then refusals (state, argument, range, reentrancy), then warnings.
inline int severityOf(int status) {
    if (status == QUILLON_ERROR_IO || status == QUILLON_ERROR_MEMORY) return 3;
    if (status < 0) return 2;
    return status > 0 ? 1 : 0;
}

}  // namespace quillon::messages
