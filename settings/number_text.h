#pragma once
#include <string>
#include <string_view>

// Number conversions of the configuration files. They never depend on the process locale (a
// Portuguese desktop must not write "2,35"), and they turn anything that is not a finite number
// into 0, so that no NaN or infinity from a file reaches the engine.
namespace settings {

// Like atoi: leading blanks, an optional sign, decimal digits; stops at the first other character.
// Values beyond the int range saturate.
int ParseInteger(std::string_view text);

// Like atof for decimal text ("-1.5", "2e3", ".5"): leading blanks, optional sign, digits, point,
// exponent; stops at the first other character. 0 when no number starts the text, and 0 for
// values outside the double range.
double ParseDecimal(std::string_view text);

// A decimal value held as a 32-bit float; values beyond the float range become its largest value.
float ParseFloat(std::string_view text);

// printf "%d" and "%.<decimals>f" in the C locale.
std::string FormatInteger(int value);
std::string FormatFixed(double value, int decimals);

}  // namespace settings
