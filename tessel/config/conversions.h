#pragma once
// Conversions between numbers or truth values and text. Formatting and
// reading always use the classic "C" conventions, whatever the global locale.
#include <tessel/export.h>

#include <string>

/// Decimal text, with a leading '-' for negative numbers.
TESSEL_API std::string convertInt(int value);

/// The value written as a stream writes a double by default: general
/// notation, at most 6 significant digits, no trailing zeros, exponent form
/// for very large or small magnitudes (1.5, 100, 1.23457e+06, 1e-05).
TESSEL_API std::string convertFloat(float value);

/// "1" or "0".
TESSEL_API std::string convertBool(bool value);

/// The integer at the start of text (leading white space skipped, optional
/// sign, decimal digits; the rest ignored). 0 when there is none, the type's
/// limit when the digits overflow it.
TESSEL_API int convertStringToInt(std::string text);

/// The float at the start of text, decimal or exponent notation; 0 or the
/// type's limit as for convertStringToInt.
TESSEL_API float convertStringToFloat(std::string text);

/// True exactly for the text "true" (lower case, nothing around it).
TESSEL_API bool convertStringToBool(std::string text);
