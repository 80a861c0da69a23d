#pragma once

#include <string>
#include <string_view>

namespace bibsources {

// Appends the Unicode text of inline math (what stands between the dollar
// signs) to `out` and returns true, when every part of it has a direct
// equivalent: letters, digits and punctuation, Greek letters and the other
// symbols of mathCommand(), "-" as a minus sign, braces that only group,
// font commands (\mathrm{d}), the spacing commands (\quad among them), escaped specials, and "^"
// or "_" on a digit, sign or group of them (x^2, H_2O, 10^{-3}, ^\circ as
// a degree sign), \frac{a}{b} as "a/b" and \sqrt{x} as "√x" (an argument of
// more than one term in parentheses), and accents over one symbol (\hat{x},
// \bar{a}, \vec{v}; \overline over every character of its group), and the
// delimiters that \left, \right and \bigl size.
// Spaces are dropped, as TeX drops them in math.
// Otherwise returns false and leaves `out` as it was. Linear in `math`:
// fractions and accents deeper than four levels are kept as written.
bool appendMath(std::string &out, std::string_view math);

} // namespace bibsources
