#pragma once
#include <QString>

// Number formats used in statements, files and labels.
namespace fmt {

// "#.######": at most six decimals rounded half away from zero on the exact
// binary value; no leading 0 before the point; empty text for zero.
QString frac6(double v);
// "0.######": as frac6 but keeps the leading 0 and writes 0 as "0".
QString zfrac6(double v);
// "#.########": eight decimals, otherwise as frac6.
QString frac8(double v);

// Shortest decimal text that reads back to the same double ("0.25", "147.5").
QString shortest(double v);

// "nn:ss" of a duration in milliseconds, whole hours dropped.
QString minSec(qint64 ms);
// "nn分 ss秒" of a duration in milliseconds, whole hours dropped.
QString minSecJa(qint64 ms);

}  // namespace fmt
