// What the exported functions share: the process's default writer, which
// the flat functions drive, and the entry of every call.
#pragma once

#include "gdsii_writer.h"

namespace quillon {

extern GDSIIWriter* theWriter;

// Runs operation as one call of writer and answers its status: a call made
// from inside the writer's own error handler is refused unrun.
template <class Operation>
int runCall(GDSIIWriter& writer, Operation&& operation) {
    if (writer.inErrorHandler()) return writer.refuseReentrantCall();
    writer.beginCall();
    operation();
    return writer.status();
}

}  // namespace quillon
