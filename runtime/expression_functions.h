#pragma once
// The built-in functions of filter expressions: their names, argument counts and result classes,
// and how each behaves. Each behaves as the runtime function of the same name in a classic business
// runtime; where that leaves a choice, the choice is written here.
//
// Arguments are converted as each function needs them: a text where a number is wanted reads the
// number it starts with (" 12abc" is 12), a number where a text is wanted is its plain decimal text.
// Arguments left out (calls may pass fewer than the most) count as 0 or empty text unless stated.
// Text positions and lengths count bytes, as the record fields store them. Real results that are
// not finite (square root of -1, LOG10(0), overflow) are 0.
//
//   ABS(x) R                absolute value.
//   ACOS ASIN ATAN COS SIN TAN (x) R   trigonometry in radians.
//   AGE(birth, base) S      time from day number birth to base (default today): "n DAYS" up to 60
//                           days, "n MOS" up to 24 months, else "n YRS"; empty when either is not a
//                           date or base is before birth.
//   ALL(text, length) S     text repeated to length characters (default 255); empty text gives blanks.
//   BAND BOR BXOR (a, b) I  bitwise and, or, exclusive or of the integer parts.
//   BSHIFT(v, n) I          v shifted left by n bits, right (arithmetic) for negative n; |n| >= 64 is 0
//                           (or -1 for a negative v shifted right).
//   CENTER(text, length) S  text without its leading and trailing blanks, centred in length
//                           characters (default: the text's own length); a text too long is cut on
//                           the right.
//   CHOOSE(n, v1 .. v24) S  the n-th value; n outside 1..count gives the last value.
//   CHR(code) S             the one-byte character of code 0..255; other codes give empty text.
//   CLIP(text) S            text without trailing blanks.
//   CLOCK() I               the time value of now (runtime/dates.h).
//   DATE(month, day, year) I  day number, months and days carried (DATE(13,1,2000) is 1/1/2001),
//                           two-digit years through the century window; 0 when out of range.
//   DAY MONTH YEAR (day number) I  the part of the date; 0 for a value that is not a date.
//   DEFORMAT(text, picture) S / FORMAT(value, picture) S   through runtime/pictures.h; a picture
//                           may be a picture literal (@N3) or a text holding one.
//   GETINI(section, key, default, file) S   the value from the settings file (runtime/
//                           settings_file.h); only the file's base name is used, so a filter can
//                           read nothing outside the settings folder; empty file: the general one.
//   INLIST(text, v1 .. v24) I  position of the first value equal to text (text comparison, trailing
//                           blanks ignored), 0 when none.
//   INRANGE(v, low, high) I 1 when low <= v <= high by the comparison rules of the evaluator.
//   INSTRING(sought, text, step, start) I  looks for sought at start (default 1), start + step, ...
//                           (step default 1; 0 or less counts as 1) and returns the step number of the
//                           first match ((position - start) / step + 1), 0 when none or sought is empty.
//   INT(x) I                integer part, towards zero (clamped to the 64-bit range).
//   LEFT(text, length) S    leading blanks moved to the end; cut or padded to length (default: the
//                           text's length).
//   RIGHT(text, length) S   trailing blanks moved to the front; cut on the left or padded to length.
//                           Takes a length as LEFT and CENTER do.
//   LEN(text) I             length in bytes, trailing blanks included.
//   LOG10 LOGE (x) R        logarithms.
//   LOWER UPPER (text) S    ASCII letters only change case; other bytes keep their value.
//   MEMORY(n) I             free physical memory in kilobytes (n is not used).
//   NUMERIC(text) I         1 when the text, blanks around it aside, is a number: optional sign,
//                           digits with an optional fraction, optional exponent.
//   RANDOM(low, high) I     a uniformly drawn whole number between the two (either order).
//   ROUND(x, step) R        x rounded half away from zero to a multiple of step (ROUND(5.678, .01) is
//                           5.68); a step of 0 leaves x as it is.
//   SQRT(x) R               square root.
//   SUB(text, start, length) S  length bytes from start (1 = first; a negative start counts from the
//                           end); length left out: to the end; out-of-range parts are left out.
//   TODAY() I               today's day number.
//   VAL(text) I             the character code of the first byte, 0 for empty text.
//
// Callers: the expression compiler and evaluator only.

#include "runtime/expression_bindings.h"

#include <vector>

namespace sitedex::runtime {

struct BuiltinFunction {
    const char* name;
    int number;
    int maxArgs;
    ValueClass result;
};

const std::vector<BuiltinFunction>& builtinFunctions();
const BuiltinFunction& builtinFunction(int number);
// 1 for UPPER, 2 for LOWER, 0 for any other function: comparisons fold the case of such an operand
// while they compare instead of copying the text first.
int caseFoldOf(int number);

}  // namespace sitedex::runtime
