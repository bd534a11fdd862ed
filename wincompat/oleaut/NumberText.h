// Exact decimal numbers and their text forms, shared by the variant conversions.
#pragma once
#include <windows.h>

#include <string>

namespace wincompat {
namespace oleaut {

// The value sign * digits * 10^exponent, exactly. `digits` holds no leading or
// trailing zeros; zero has no digits and is never negative.
struct DecimalText {
    bool negative = false;
    std::string digits;
    int exponent = 0;

    bool IsZero() const { return digits.empty(); }
};

// The separators a locale writes numbers with.
struct NumberSeparators {
    char16_t decimal = u'.';
    char16_t thousands = u',';
};
NumberSeparators SeparatorsFor(LCID lcid);

// Parses number text as Automation does: surrounding blanks, a leading or trailing
// sign or parentheses, a currency sign, thousands separators, a decimal separator,
// an exponent, and the &H / &O hexadecimal and octal forms. False if it is no number.
bool ParseNumberText(const char16_t* text, size_t length, const NumberSeparators& separators, DecimalText& out);

// Rounds half to even so that no digit below 10^exponent remains.
void RoundToExponent(DecimalText& number, int exponent);

DecimalText DecimalTextFromInteger(__int128 value);
// A double rounded to `significantDigits` decimal digits, as Automation reads reals
// (15 digits for R8, 7 for R4). The value must be finite.
DecimalText DecimalTextFromDouble(double value, int significantDigits);

// The integer value after rounding half to even; false if it has more than 38 digits.
bool IntegerFromDecimalText(DecimalText number, __int128& out);
// The nearest double; false if its magnitude is beyond the double range.
bool DoubleFromDecimalText(const DecimalText& number, double& out);

// Plain decimal notation with the locale's decimal separator ("-12.5", "0.001").
std::u16string FormatDecimalText(const DecimalText& number, const NumberSeparators& separators);
// A real as Automation writes it: up to `significantDigits` digits, exponent form
// for very large or small magnitudes ("1E+20", "1.5E-07").
std::u16string FormatReal(double value, int significantDigits, const NumberSeparators& separators);

}  // namespace oleaut
}  // namespace wincompat
