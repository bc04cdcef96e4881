// The 24-byte time stamp of BGNLIB and BGNSTR: year - 1900, month, day,
// hour, minute, second as INT2, then the same six again (GDSII's time of
// last modification and of last access, both the moment of the call).
#include "core/encoders.h"
#include "core/gdsii_writer.h"
#include "core/messages.h"

namespace quillon {

namespace {

bool inRange(int value, int low, int high) { return value >= low && value <= high; }

}  // namespace

bool GDSIIWriter::setTimestamp(int year, int month, int day, int hour, int minute,
                               int second) {
    if (year == 0 && month == 0 && day == 0 && hour == 0 && minute == 0 && second == 0) {
        clockFixed = false;
        return true;
    }
    if (!inRange(year, 1900, 1900 + 32767) || !inRange(month, 0, 12) || !inRange(day, 0, 31) ||
        !inRange(hour, 0, 23) || !inRange(minute, 0, 59) || !inRange(second, 0, 59)) {
        report(messages::timestampOutOfRange);
        return false;
    }
    fixedTime = {year, month, day, hour, minute, second};
    clockFixed = true;
    return true;
}

Timestamp GDSIIWriter::makeTimestamp() const {
    const ClockReading time = clockFixed ? fixedTime : readLocalClock();
    const int fields[6] = {time.year - 1900, time.month, time.day,
                           time.hour,        time.minute, time.second};
    Timestamp stamp{};
    for (int copy = 0; copy < 2; ++copy) {
        for (int i = 0; i < 6; ++i) {
            const Bytes2 bytes = toBigEndian16(fields[i]);
            stamp[12 * copy + 2 * i] = bytes[0];
            stamp[12 * copy + 2 * i + 1] = bytes[1];
        }
    }
    return stamp;
}

}  // namespace quillon
