// What the library needs from the operating system besides the standard
// library: a reading of the local clock, and returning freed memory. (Creating the writer when the
// library is loaded is the other platform duty; see platform.cpp.)
#pragma once

namespace quillon {

struct ClockReading {
    int year;    // e.g. 2026
    int month;   // 1 to 12
    int day;     // 1 to 31
    int hour;    // 0 to 23
    int minute;  // 0 to 59
    int second;  // 0 to 59
};

// The local (not universal) date and time, read once.
ClockReading readLocalClock();

// Gives memory that was freed back to the operating system, where the C
// library keeps it otherwise.
void returnFreedMemory();

}  // namespace quillon
