// The output file together with the export state: which of Idle, Library
// open and Structure open the writer is in, the structure names of the
// current library, and the installed error handler.
#pragma once

#include <fstream>
#include <set>
#include <string>

#include "quillon.h"

namespace quillon {

class GDSIIFile : public std::ofstream {
public:
    // Creates or truncates fileName for untranslated binary output on a
    // clean stream. Reports "Error: Cannot open GDSII file." when the file
    // is not open afterwards (also for a NULL or over-long name).
    void openFile(const char* fileName);

    // Flushes and closes the file. Returns false when the open file could
    // not take every byte written to it, or the flush or close failed.
    bool closeFile();

    // Hands message to the installed handler and returns, or, with no
    // handler, throws GDSIIException carrying message.
    void reportError(const char* message) const;

    std::set<std::string> structureNames;
    bool exportRunning = false;
    bool structureOpen = false;
    ErrorHandler handler = nullptr;

private:
    // Whether the current export's file was opened, so that a write failure
    // found at the close is worth reporting (a failed open already was).
    bool fileOpened = false;
};

}  // namespace quillon
