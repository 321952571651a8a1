#pragma once

#include <QDate>

namespace Platform::Clock {

// A plain pause that holds the thread, as the serial exchanges expect.
// Under the fast clock it is shortened; waits for input keep real deadlines.
void sleep(int milliseconds);

// Seconds since an arbitrary start, never going back and not wrapping at midnight.
double seconds();

// Tests make plain pauses this many times shorter (1 is real time).
void setFastClock(int divisor);
int fastClockDivisor();

// The system's date, or the one a test has set (an invalid date gives the
// system's back): file names that carry the day are fixed from it.
QDate today();
void setToday(const QDate &date);

} // namespace Platform::Clock
