// Component values written in one canonical form, so that the same
// resistor or capacitor written in different ways ("10K", "10000", "10kΩ")
// is recognised as the same part.
//
// A value is read as a number with an optional SI prefix and an optional
// unit of a passive part:
//   number  digits with at most one decimal point ("4.7", ".1", "10000"), or
//           the RKM form where the prefix letter stands for the decimal
//           point ("4K7", "2u2", "4R7", "0R1"; R is the factor one)
//   prefix  p, n, u, µ, m, k, K, M, G, or "meg" in any case; the upper-case
//           N, P, U are read as n, p, u (no component is peta-sized);
//           M is mega and m milli
//   unit    ohm, ohms, Ω, R (resistance), F (capacitance), H (inductance),
//           any letter case; the unit is dropped, since the part says what
//           the value measures
// with blanks allowed between the number, the prefix and the unit.
//
// The canonical form is engineering notation: the shortest decimal number
// from 1 up to (not including) 1000, a decimal point where needed, then the
// prefix p, n, u, m, k, M or G; no unit, no blanks. So 10K, 10k, 10000 and
// 10kΩ are "10k"; 4K7, 4.7K and 4700 are "4.7k"; 0.01uF, 10n and 10nF are
// "10n"; 0.1 is "100m"; 0R and 0 are "0". Everything else (other units such
// as V or Hz, tolerances, "DNP", part numbers, values outside 1p to 999G)
// is kept exactly as written.
//
// The same reading also serves quantities of other units ("50V", "0.25W",
// "16MHz" is 16M with unit "hz"): readQuantity gives the number in the
// canonical form and the unit apart, so that the association suggestions
// and value normalising never disagree on what a value is.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rav::project
{

struct Quantity {
    std::string number; // canonical form, as canonicalValue gives it
    // Lower case; "" for ohms (and no unit), "f", "h", or another unit of
    // one or two ASCII letters ("v", "w", "a", "hz").
    std::string unit;
};

// `value` read as a number, prefix and unit, or nothing when it is not one.
std::optional<Quantity> readQuantity(std::string_view value);

// The canonical form of `value`, or nothing when it is not a plain number
// as described above.
std::optional<std::string> canonicalValue(std::string_view value);

// The canonical form when there is one, else `value` as written.
std::string normaliseValue(const std::string& value);

} // namespace rav::project
