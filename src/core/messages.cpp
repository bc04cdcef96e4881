#include "messages.h"

#include <cstring>

#include "quillon.h"

namespace quillon::messages {

// Compared by text: a message may reach here through another translation
// unit's copy of the literal.
int statusOf(const char* message) {
    struct Entry {
        const char* message;
        int status;
    };
    static constexpr Entry table[] = {
        {cannotOpenFile, QUILLON_ERROR_IO},
        {cannotWriteFile, QUILLON_ERROR_IO},
        {exportRunning, QUILLON_ERROR_STATE},
        {processStopped, QUILLON_ERROR_STATE},
        {structureNotClosed, QUILLON_ERROR_STATE},
        {structureAlreadyOpened, QUILLON_ERROR_STATE},
        {structureNotOpened, QUILLON_ERROR_STATE},
        {reentrantCall, QUILLON_ERROR_REENTRANT},
        {valueOutOfRange, QUILLON_ERROR_RANGE},
        {colRowOutOfRange, QUILLON_ERROR_RANGE},
        {coordinateOutOfRange, QUILLON_ERROR_RANGE},
        {notFinite, QUILLON_ERROR_RANGE},
        {timestampOutOfRange, QUILLON_ERROR_RANGE},
        {propertyAttributeRange, QUILLON_ERROR_RANGE},
        {propertiesWithoutElement, QUILLON_ERROR_STATE},
        {polygonLimitRange, QUILLON_ERROR_RANGE},
        {curveOutOfRange, QUILLON_ERROR_RANGE},
        {formatRange, QUILLON_ERROR_RANGE},
        {oddPathWidth, QUILLON_ERROR_RANGE},
        {outOfMemory, QUILLON_ERROR_MEMORY},
        {magnificationNotPositive, QUILLON_ERROR_RANGE},
        {angleOutOfRange, QUILLON_ERROR_RANGE},
        {textAngleNotQuarterTurn, QUILLON_ERROR_RANGE},
        {undefinedStructure, QUILLON_WARNING_UNDEFINED_STRUCTURE},
    };
    for (const Entry& entry : table)
        if (std::strcmp(entry.message, message) == 0) return entry.status;
    // Every other message is about an argument: a count, name, text, array
    // or unit the call cannot use.
    return QUILLON_ERROR_ARGUMENT;
}

}  // namespace quillon::messages
