#include "editor/clock_math.h"

#include <math.h>

double SecondsOfDay(const TimeOfDay &time)
{
    return time.hours * 3600.0 + time.minutes * 60.0 + time.seconds + time.hundredths * 0.01;
}

unsigned ClockStepMs(double previousSeconds, double nowSeconds)
{
    // Rounded to whole milliseconds, so that steps of a hundredth add up to
    // exact multiples of 10 and not to 9.999...
    double step = round((nowSeconds - previousSeconds) * 1000.0);
    if (step < 0 || step > MaxClockStepMs)
        return 0;
    return (unsigned)step;
}
