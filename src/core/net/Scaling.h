#pragma once
#include <QString>

// Scaling between prices and the network's 0..1 range; pure functions.

// Value to network scale: the window minimum maps to 0.1, minimum + span to 0.9,
// clamped to 0..1; a span of 0 gives 0.
double scaleIntoWindow(int value, int minimum, int span);
// Network scale back to a value, rounded half to even; a span of 0 gives 0. A result
// outside the 32-bit range throws VelkorError.
int scaleBack(int minimum, int span, double scaled);
// Signed change to network scale around 0.5, clamped to 0..1. With a zero denominator
// (largestMove * slopeMultiplier == 0): 0.5 for no change, 1 for a rise, 0 for a fall.
double changeAroundHalf(int change, int largestMove, double slopeMultiplier);
// Guarded division: a divisor of 0 gives the dividend.
double guardedDivide(double dividend, double divisor);
// Decimal integer text to integer; anything else (the empty text included) gives 0.
int textToInt(const QString& text);
// Round half to even, throwing VelkorError outside the 32-bit range.
int roundEven32(double v);
