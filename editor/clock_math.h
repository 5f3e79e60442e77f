// Time-of-day arithmetic for the editor's short busy pauses. No windows.h:
// the host compiler tests it.
#ifndef QUILLON_CLOCK_MATH_H
#define QUILLON_CLOCK_MATH_H

struct TimeOfDay {
    unsigned char hours, minutes, seconds, hundredths;
};

// Seconds since midnight, to the hundredth.
double SecondsOfDay(const TimeOfDay &time);

// Milliseconds to count for two successive clock readings taken in a busy
// loop. The clock going back (midnight, or the clock set back) and a jump of
// more than MaxClockStepMs (the clock set forward) count as nothing, so a
// pause lasts about its length whatever happens to the clock meanwhile.
const unsigned MaxClockStepMs = 1000;
unsigned ClockStepMs(double previousSeconds, double nowSeconds);

#endif
