// VariantChangeType(Ex) against Windows' conversion rules.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

// A VARIANT that clears itself.
struct Var {
    VARIANT v;
    Var() { VariantInit(&v); }
    ~Var() { VariantClear(&v); }
    Var(const Var&) = delete;
    Var& operator=(const Var&) = delete;
};

void SetText(Var& var, const std::u16string& text) {
    VariantClear(&var.v);
    var.v.vt = VT_BSTR;
    var.v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

std::u16string TextOf(const Var& var) {
    return var.v.vt == VT_BSTR ? std::u16string(var.v.bstrVal, SysStringLen(var.v.bstrVal)) : u"<not text>";
}

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

HRESULT ChangeText(const std::u16string& text, VARTYPE vt, Var& out, LCID lcid = LOCALE_USER_DEFAULT) {
    Var source;
    SetText(source, text);
    return VariantChangeTypeEx(&out.v, &source.v, lcid, 0, vt);
}

HRESULT ChangeDouble(double value, VARTYPE vt, Var& out, VARTYPE from = VT_R8) {
    Var source;
    source.v.vt = from;
    source.v.dblVal = value;
    return VariantChangeType(&out.v, &source.v, 0, vt);
}

HRESULT ChangeLong(LONGLONG value, VARTYPE from, VARTYPE vt, Var& out, USHORT flags = 0) {
    Var source;
    source.v.vt = from;
    source.v.llVal = value;
    return VariantChangeType(&out.v, &source.v, flags, vt);
}

std::u16string ToText(VARTYPE from, LONGLONG bits, USHORT flags = 0) {
    Var out;
    EXPECT_EQ(S_OK, ChangeLong(bits, from, VT_BSTR, out, flags));
    return TextOf(out);
}

std::u16string DoubleToText(double value, VARTYPE from = VT_R8) {
    Var out;
    HRESULT hr = ChangeDouble(value, VT_BSTR, out, from);
    return hr == S_OK ? TextOf(out) : u"<failed>";
}

struct TextToIntegerCase {
    const char16_t* text;
    HRESULT expected;
    LONG value;
};

TEST(VariantChangeTypeText, TextToI4FollowsTheEnglishNumberForms) {
    const TextToIntegerCase cases[] = {
        {u"42", S_OK, 42},
        {u"  42\t", S_OK, 42},
        {u"+7", S_OK, 7},
        {u"-1,234", S_OK, -1234},
        {u"1,234,567", S_OK, 1234567},
        {u"2.5", S_OK, 2},  // half to even
        {u"3.5", S_OK, 4},
        {u"-2.5", S_OK, -2},
        {u"2.5000001", S_OK, 3},
        {u"1,000.5", S_OK, 1000},
        {u".5", S_OK, 0},
        {u"1.", S_OK, 1},
        {u"1e3", S_OK, 1000},
        {u"1.5E+2", S_OK, 150},
        {u"2500e-3", S_OK, 2},
        {u"(5)", S_OK, -5},
        {u"5-", S_OK, -5},
        {u"$12", S_OK, 12},
        {u"&H1F", S_OK, 31},
        {u"&o17", S_OK, 15},
        {u"2147483647", S_OK, 2147483647},
        {u"-2147483648", S_OK, INT32_MIN},
        {u"2147483648", DISP_E_OVERFLOW, 0},
        {u"2147483647.5", DISP_E_OVERFLOW, 0},
        {u"1e10", DISP_E_OVERFLOW, 0},
        {u"", DISP_E_TYPEMISMATCH, 0},
        {u"   ", DISP_E_TYPEMISMATCH, 0},
        {u"abc", DISP_E_TYPEMISMATCH, 0},
        {u"12abc", DISP_E_TYPEMISMATCH, 0},
        {u"1.2.3", DISP_E_TYPEMISMATCH, 0},
        {u"1 2", DISP_E_TYPEMISMATCH, 0},
        {u"1e", DISP_E_TYPEMISMATCH, 0},
        {u".", DISP_E_TYPEMISMATCH, 0},
        {u"--1", DISP_E_TYPEMISMATCH, 0},
        {u",5", DISP_E_TYPEMISMATCH, 0},
        {u"True", DISP_E_TYPEMISMATCH, 0},
        {u"&HG", DISP_E_TYPEMISMATCH, 0},
    };
    for (const auto& c : cases) {
        Var out;
        HRESULT hr = ChangeText(c.text, VT_I4, out);
        EXPECT_EQ(c.expected, hr) << Narrow(c.text);
        if (hr == S_OK) {
            EXPECT_EQ(VT_I4, out.v.vt);
            EXPECT_EQ(c.value, out.v.lVal) << Narrow(c.text);
        } else {
            EXPECT_EQ(VT_EMPTY, out.v.vt) << "a failed conversion leaves the destination alone";
        }
    }
}

TEST(VariantChangeTypeText, TextToEachIntegerTypeChecksItsRange) {
    struct Case {
        const char16_t* text;
        VARTYPE vt;
        HRESULT expected;
    } cases[] = {
        {u"255", VT_UI1, S_OK},
        {u"256", VT_UI1, DISP_E_OVERFLOW},
        {u"-1", VT_UI1, DISP_E_OVERFLOW},
        {u"-0.4", VT_UI1, S_OK},
        {u"127", VT_I1, S_OK},
        {u"-129", VT_I1, DISP_E_OVERFLOW},
        {u"32767", VT_I2, S_OK},
        {u"32768", VT_I2, DISP_E_OVERFLOW},
        {u"65535", VT_UI2, S_OK},
        {u"4294967295", VT_UI4, S_OK},
        {u"4294967296", VT_UINT, DISP_E_OVERFLOW},
        {u"-2147483649", VT_INT, DISP_E_OVERFLOW},
        {u"9223372036854775807", VT_I8, S_OK},
        {u"9223372036854775808", VT_I8, DISP_E_OVERFLOW},
        {u"18446744073709551615", VT_UI8, S_OK},
        {u"18446744073709551616", VT_UI8, DISP_E_OVERFLOW},
        {u"1e400", VT_I8, DISP_E_OVERFLOW},
    };
    for (const auto& c : cases) {
        Var out;
        EXPECT_EQ(c.expected, ChangeText(c.text, c.vt, out)) << Narrow(c.text) << " to " << c.vt;
        if (c.expected == S_OK) {
            EXPECT_EQ(c.vt, out.v.vt);
        }
    }
    Var big;
    ASSERT_EQ(S_OK, ChangeText(u"18446744073709551615", VT_UI8, big));
    EXPECT_EQ(UINT64_MAX, big.v.ullVal);
    ASSERT_EQ(S_OK, ChangeText(u"-9223372036854775808", VT_I8, big));
    EXPECT_EQ(INT64_MIN, big.v.llVal);
}

TEST(VariantChangeTypeNumbers, RealsRoundHalfToEvenAndOverflow) {
    struct Case {
        double value;
        VARTYPE vt;
        HRESULT expected;
        LONGLONG result;
    } cases[] = {
        {0.5, VT_I4, S_OK, 0},
        {1.5, VT_I4, S_OK, 2},
        {2.5, VT_I4, S_OK, 2},
        {-0.5, VT_I4, S_OK, 0},
        {-1.5, VT_I4, S_OK, -2},
        {-2.5, VT_I4, S_OK, -2},
        {2.4999, VT_I4, S_OK, 2},
        {2.5001, VT_I4, S_OK, 3},
        {32767.4, VT_I2, S_OK, 32767},
        {32767.5, VT_I2, DISP_E_OVERFLOW, 0},
        {-32768.5, VT_I2, S_OK, -32768},
        {255.5, VT_UI1, DISP_E_OVERFLOW, 0},
        {-0.5, VT_UI1, S_OK, 0},
        {-0.6, VT_UI1, DISP_E_OVERFLOW, 0},
        {9223372036854775807.0, VT_I8, DISP_E_OVERFLOW, 0},
        {-9223372036854775808.0, VT_I8, S_OK, INT64_MIN},
        {1e300, VT_I4, DISP_E_OVERFLOW, 0},
        {NAN, VT_I4, DISP_E_OVERFLOW, 0},
        {INFINITY, VT_I2, DISP_E_OVERFLOW, 0},
    };
    for (const auto& c : cases) {
        Var out;
        HRESULT hr = ChangeDouble(c.value, c.vt, out);
        EXPECT_EQ(c.expected, hr) << c.value << " to " << c.vt;
        if (hr != S_OK) continue;
        LONGLONG got = c.vt == VT_I2    ? out.v.iVal
                       : c.vt == VT_UI1 ? out.v.bVal
                       : c.vt == VT_I4  ? out.v.lVal
                                        : out.v.llVal;
        EXPECT_EQ(c.result, got) << c.value;
    }
    Var single;
    Var source;
    source.v.vt = VT_R4;
    source.v.fltVal = 6.5f;
    ASSERT_EQ(S_OK, VariantChangeType(&single.v, &source.v, 0, VT_I2));
    EXPECT_EQ(6, single.v.iVal);
}

TEST(VariantChangeTypeNumbers, IntegersCheckTheTargetRange) {
    Var out;
    EXPECT_EQ(DISP_E_OVERFLOW, ChangeLong(300, VT_I4, VT_UI1, out));
    EXPECT_EQ(DISP_E_OVERFLOW, ChangeLong(-1, VT_I4, VT_UI4, out));
    EXPECT_EQ(DISP_E_OVERFLOW, ChangeLong(0xFFFFFFFFll, VT_UI4, VT_I4, out));
    EXPECT_EQ(DISP_E_OVERFLOW, ChangeLong(-1, VT_I8, VT_UI8, out));
    ASSERT_EQ(S_OK, ChangeLong(-5, VT_I2, VT_INT, out));
    EXPECT_EQ(VT_INT, out.v.vt);
    EXPECT_EQ(-5, out.v.intVal);
    EXPECT_EQ(DISP_E_OVERFLOW, ChangeLong(200, VT_UI1, VT_I1, out));
    ASSERT_EQ(S_OK, ChangeLong(0x7FFFFFFF, VT_INT, VT_R4, out));
    EXPECT_FLOAT_EQ(2147483648.0f, out.v.fltVal);
    ASSERT_EQ(S_OK, ChangeLong(INT64_MAX, VT_I8, VT_R8, out));
    EXPECT_DOUBLE_EQ(9223372036854775807.0, out.v.dblVal);
    EXPECT_EQ(DISP_E_OVERFLOW, ChangeDouble(1e39, VT_R4, out));
    ASSERT_EQ(S_OK, ChangeDouble(NAN, VT_R4, out));
    EXPECT_TRUE(std::isnan(out.v.fltVal));
}

TEST(VariantChangeTypeSpecial, NullAndEmpty) {
    const VARTYPE targets[] = {VT_I2, VT_I4, VT_R8, VT_BSTR, VT_BOOL, VT_DATE, VT_DECIMAL, VT_EMPTY};
    for (VARTYPE vt : targets) {
        Var null;
        null.v.vt = VT_NULL;
        Var out;
        EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&out.v, &null.v, 0, vt)) << vt;
    }
    Var null;
    null.v.vt = VT_NULL;
    Var out;
    ASSERT_EQ(S_OK, VariantChangeType(&out.v, &null.v, 0, VT_NULL));
    EXPECT_EQ(VT_NULL, out.v.vt);

    Var empty;
    ASSERT_EQ(S_OK, VariantChangeType(&out.v, &empty.v, 0, VT_I4));
    EXPECT_EQ(0, out.v.lVal);
    ASSERT_EQ(S_OK, VariantChangeType(&out.v, &empty.v, 0, VT_BSTR));
    EXPECT_EQ(u"", TextOf(out));
    ASSERT_EQ(S_OK, VariantChangeType(&out.v, &empty.v, 0, VT_BOOL));
    EXPECT_EQ(VARIANT_FALSE, out.v.boolVal);
    ASSERT_EQ(S_OK, VariantChangeType(&out.v, &empty.v, 0, VT_DATE));
    EXPECT_EQ(0.0, out.v.date);
    ASSERT_EQ(S_OK, VariantChangeType(&out.v, &empty.v, 0, VT_NULL));
    EXPECT_EQ(VT_NULL, out.v.vt);

    ASSERT_EQ(S_OK, ChangeLong(5, VT_I4, VT_EMPTY, out));
    EXPECT_EQ(VT_EMPTY, out.v.vt);
    Var text;
    SetText(text, u"x");
    ASSERT_EQ(S_OK, VariantChangeType(&out.v, &text.v, 0, VT_NULL));
    EXPECT_EQ(VT_NULL, out.v.vt);
}

TEST(VariantChangeTypeSpecial, Booleans) {
    Var out;
    ASSERT_EQ(S_OK, ChangeLong(VARIANT_TRUE, VT_BOOL, VT_I4, out));
    EXPECT_EQ(-1, out.v.lVal);
    ASSERT_EQ(S_OK, ChangeLong(VARIANT_TRUE, VT_BOOL, VT_R8, out));
    EXPECT_EQ(-1.0, out.v.dblVal);
    EXPECT_EQ(DISP_E_OVERFLOW, ChangeLong(VARIANT_TRUE, VT_BOOL, VT_UINT, out));  // read as the I2 value -1
    ASSERT_EQ(S_OK, ChangeLong(5, VT_I4, VT_BOOL, out));
    EXPECT_EQ(VARIANT_TRUE, out.v.boolVal);
    ASSERT_EQ(S_OK, ChangeLong(0, VT_INT, VT_BOOL, out));
    EXPECT_EQ(VARIANT_FALSE, out.v.boolVal);
    ASSERT_EQ(S_OK, ChangeDouble(0.25, VT_BOOL, out));
    EXPECT_EQ(VARIANT_TRUE, out.v.boolVal);

    EXPECT_EQ(u"-1", ToText(VT_BOOL, VARIANT_TRUE));
    EXPECT_EQ(u"0", ToText(VT_BOOL, VARIANT_FALSE));
    EXPECT_EQ(u"True", ToText(VT_BOOL, VARIANT_TRUE, VARIANT_ALPHABOOL));
    EXPECT_EQ(u"False", ToText(VT_BOOL, VARIANT_FALSE, VARIANT_ALPHABOOL));
    EXPECT_EQ(u"True", ToText(VT_BOOL, VARIANT_TRUE, VARIANT_LOCALBOOL));

    struct Case {
        const char16_t* text;
        HRESULT expected;
        VARIANT_BOOL value;
    } cases[] = {
        {u"True", S_OK, VARIANT_TRUE},      {u"TRUE", S_OK, VARIANT_TRUE},    {u"false", S_OK, VARIANT_FALSE},
        {u"-1", S_OK, VARIANT_TRUE},        {u"0", S_OK, VARIANT_FALSE},      {u" 2.5 ", S_OK, VARIANT_TRUE},
        {u"0.0", S_OK, VARIANT_FALSE},      {u"yes", DISP_E_TYPEMISMATCH, 0}, {u"", DISP_E_TYPEMISMATCH, 0},
        {u"Truth", DISP_E_TYPEMISMATCH, 0},
    };
    for (const auto& c : cases) {
        Var result;
        EXPECT_EQ(c.expected, ChangeText(c.text, VT_BOOL, result)) << Narrow(c.text);
        if (c.expected == S_OK) {
            EXPECT_EQ(c.value, result.v.boolVal) << Narrow(c.text);
        }
    }
}

// The spellings Windows reads as booleans: the English words in any case and
// in every locale, "#TRUE#" and "#FALSE#" exactly as written, and numbers as
// the locale writes them; no other words.
TEST(VariantChangeTypeText, TextToBoolAcceptsTheLiteralsAndTheEnglishWords) {
    const LCID french = MAKELCID(MAKELANGID(LANG_FRENCH, SUBLANG_DEFAULT), SORT_DEFAULT);
    struct Case {
        const char16_t* text;
        LCID lcid;
        HRESULT expected;
        VARIANT_BOOL value;
    } cases[] = {
        {u"#TRUE#", LOCALE_USER_DEFAULT, S_OK, VARIANT_TRUE},
        {u"#FALSE#", LOCALE_USER_DEFAULT, S_OK, VARIANT_FALSE},
        {u"#TRUE#", french, S_OK, VARIANT_TRUE},
        {u"#FALSE#", french, S_OK, VARIANT_FALSE},
        {u"#False#", LOCALE_USER_DEFAULT, DISP_E_TYPEMISMATCH, 0},
        {u"#true#", LOCALE_USER_DEFAULT, DISP_E_TYPEMISMATCH, 0},
        {u"#TRUE", LOCALE_USER_DEFAULT, DISP_E_TYPEMISMATCH, 0},
        {u"TRUE#", LOCALE_USER_DEFAULT, DISP_E_TYPEMISMATCH, 0},
        {u"##", LOCALE_USER_DEFAULT, DISP_E_TYPEMISMATCH, 0},
        {u"False", french, S_OK, VARIANT_FALSE},
        {u"fAlSe", LOCALE_USER_DEFAULT, S_OK, VARIANT_FALSE},
        {u"On", LOCALE_USER_DEFAULT, DISP_E_TYPEMISMATCH, 0},
        {u"Yes", LOCALE_USER_DEFAULT, DISP_E_TYPEMISMATCH, 0},
        {u"faux", french, DISP_E_TYPEMISMATCH, 0},
        {u"+1", LOCALE_USER_DEFAULT, S_OK, VARIANT_TRUE},
        {u"0.1", LOCALE_USER_DEFAULT, S_OK, VARIANT_TRUE},
        {u"0.1", french, DISP_E_TYPEMISMATCH, 0},  // '.' is no decimal separator in French
    };
    for (const auto& c : cases) {
        Var result;
        EXPECT_EQ(c.expected, ChangeText(c.text, VT_BOOL, result, c.lcid)) << Narrow(c.text);
        if (c.expected == S_OK) {
            EXPECT_EQ(VT_BOOL, result.v.vt) << Narrow(c.text);
            EXPECT_EQ(c.value, result.v.boolVal) << Narrow(c.text);
        }
    }
    // Flags do not widen the set of words.
    Var source, out;
    SetText(source, u"Yes");
    EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeTypeEx(&out.v, &source.v, LOCALE_USER_DEFAULT,
                                                       VARIANT_ALPHABOOL | VARIANT_LOCALBOOL, VT_BOOL));
}

TEST(VariantChangeTypeText, NumbersToText) {
    EXPECT_EQ(u"-42", ToText(VT_I4, -42));
    EXPECT_EQ(u"18446744073709551615", ToText(VT_UI8, -1));
    EXPECT_EQ(u"255", ToText(VT_UI1, 255));
    EXPECT_EQ(u"0.1", DoubleToText(0.1));
    EXPECT_EQ(u"0.333333333333333", DoubleToText(1.0 / 3));
    EXPECT_EQ(u"123456.789", DoubleToText(123456.789));
    EXPECT_EQ(u"-2.5", DoubleToText(-2.5));
    EXPECT_EQ(u"1E+20", DoubleToText(1e20));
    EXPECT_EQ(u"1.5E-07", DoubleToText(1.5e-7));
    EXPECT_EQ(u"0", DoubleToText(-0.0));
    Var single;
    single.v.vt = VT_R4;
    single.v.fltVal = 0.1f;
    Var out;
    ASSERT_EQ(S_OK, VariantChangeType(&out.v, &single.v, 0, VT_BSTR));
    EXPECT_EQ(u"0.1", TextOf(out));
    Var currency;
    currency.v.vt = VT_CY;
    currency.v.cyVal.int64 = 123400;  // 12.34
    ASSERT_EQ(S_OK, VariantChangeType(&out.v, &currency.v, 0, VT_BSTR));
    EXPECT_EQ(u"12.34", TextOf(out));
}

TEST(VariantChangeTypeText, LocaleSeparators) {
    Var out;
    ASSERT_EQ(S_OK, ChangeText(u"1.234,5", VT_R8, out, 0x407));
    EXPECT_EQ(1234.5, out.v.dblVal);
    ASSERT_EQ(S_OK, ChangeText(u"1,234.5", VT_R8, out, 0x409));
    EXPECT_EQ(1234.5, out.v.dblVal);
    Var source;
    source.v.vt = VT_R8;
    source.v.dblVal = 1234.5;
    ASSERT_EQ(S_OK, VariantChangeTypeEx(&out.v, &source.v, 0x407, 0, VT_BSTR));
    EXPECT_EQ(u"1234,5", TextOf(out));
    ASSERT_EQ(S_OK, VariantChangeTypeEx(&out.v, &source.v, LOCALE_SYSTEM_DEFAULT, 0, VT_BSTR));
    EXPECT_EQ(u"1234.5", TextOf(out));
}

TEST(VariantChangeTypeNumbers, DecimalKeepsEveryDigit) {
    Var out;
    ASSERT_EQ(S_OK, ChangeText(u"-12345678901234567890.123456789", VT_DECIMAL, out));
    EXPECT_EQ(VT_DECIMAL, out.v.vt);
    EXPECT_EQ(9, out.v.decVal.scale);
    EXPECT_EQ(DECIMAL_NEG, out.v.decVal.sign);
    Var text;
    ASSERT_EQ(S_OK, VariantChangeType(&text.v, &out.v, 0, VT_BSTR));
    EXPECT_EQ(u"-12345678901234567890.123456789", TextOf(text));

    ASSERT_EQ(S_OK, ChangeText(u"79228162514264337593543950335", VT_DECIMAL, out));
    EXPECT_EQ(0xFFFFFFFFu, out.v.decVal.Hi32);
    EXPECT_EQ(UINT64_MAX, out.v.decVal.Lo64);
    EXPECT_EQ(DISP_E_OVERFLOW, ChangeText(u"79228162514264337593543950336", VT_DECIMAL, out));
    // Fraction digits beyond what fits are rounded away rather than refused.
    ASSERT_EQ(S_OK, ChangeText(u"1.00000000000000000000000000005", VT_DECIMAL, out));
    ASSERT_EQ(S_OK, VariantChangeType(&text.v, &out.v, 0, VT_BSTR));
    EXPECT_EQ(u"1", TextOf(text));

    ASSERT_EQ(S_OK, ChangeDouble(0.1, VT_DECIMAL, out));  // 15 significant digits, as Automation reads a double
    ASSERT_EQ(S_OK, VariantChangeType(&text.v, &out.v, 0, VT_BSTR));
    EXPECT_EQ(u"0.1", TextOf(text));

    ASSERT_EQ(S_OK, ChangeText(u"2.5", VT_DECIMAL, out));
    Var integer;
    ASSERT_EQ(S_OK, VariantChangeType(&integer.v, &out.v, 0, VT_I4));
    EXPECT_EQ(2, integer.v.lVal);
    ASSERT_EQ(S_OK, VariantChangeType(&integer.v, &out.v, 0, VT_R8));
    EXPECT_EQ(2.5, integer.v.dblVal);
}

TEST(VariantChangeTypeNumbers, Currency) {
    Var out;
    ASSERT_EQ(S_OK, ChangeText(u"12.34565", VT_CY, out));
    EXPECT_EQ(123456, out.v.cyVal.int64);  // half to even at the fourth decimal
    ASSERT_EQ(S_OK, ChangeDouble(-1.5, VT_CY, out));
    EXPECT_EQ(-15000, out.v.cyVal.int64);
    EXPECT_EQ(DISP_E_OVERFLOW, ChangeText(u"1e15", VT_CY, out));
    Var integer;
    out.v.cyVal.int64 = 25000;  // 2.5
    ASSERT_EQ(S_OK, VariantChangeType(&integer.v, &out.v, 0, VT_I2));
    EXPECT_EQ(2, integer.v.iVal);
}

TEST(VariantChangeTypeArrays, TextAndByteArraysShareTheirBytes) {
    Var text;
    SetText(text, u"AB");
    Var bytes;
    ASSERT_EQ(S_OK, VariantChangeType(&bytes.v, &text.v, 0, VT_ARRAY | VT_UI1));
    ASSERT_EQ(VT_ARRAY | VT_UI1, bytes.v.vt);
    LONG upper = -1;
    SafeArrayGetUBound(bytes.v.parray, 1, &upper);
    ASSERT_EQ(3, upper);
    const BYTE* data = static_cast<const BYTE*>(bytes.v.parray->pvData);
    EXPECT_EQ(0x41, data[0]);
    EXPECT_EQ(0x00, data[1]);
    EXPECT_EQ(0x42, data[2]);

    Var back;
    ASSERT_EQ(S_OK, VariantChangeType(&back.v, &bytes.v, 0, VT_BSTR));
    EXPECT_EQ(u"AB", TextOf(back));

    // UTF-8 payload bytes become a string of byte length 3: half a character left over.
    Var odd;
    odd.v.vt = VT_ARRAY | VT_UI1;
    odd.v.parray = SafeArrayCreateVector(VT_UI1, 0, 3);
    memcpy(odd.v.parray->pvData, "abc", 3);
    ASSERT_EQ(S_OK, VariantChangeType(&back.v, &odd.v, 0, VT_BSTR));
    EXPECT_EQ(3u, SysStringByteLen(back.v.bstrVal));
    EXPECT_EQ(0, memcmp(back.v.bstrVal, "abc", 3));

    Var emptyText;
    SetText(emptyText, u"");
    ASSERT_EQ(S_OK, VariantChangeType(&bytes.v, &emptyText.v, 0, VT_ARRAY | VT_UI1));
    EXPECT_EQ(0u, bytes.v.parray->rgsabound[0].cElements);
}

TEST(VariantChangeTypeArrays, RefusesOtherArrayPairs) {
    Var out;
    Var matrix;
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    matrix.v.vt = VT_ARRAY | VT_UI1;
    matrix.v.parray = SafeArrayCreate(VT_UI1, 2, bounds);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&out.v, &matrix.v, 0, VT_BSTR));
    Var longs;
    longs.v.vt = VT_ARRAY | VT_I4;
    longs.v.parray = SafeArrayCreateVector(VT_I4, 0, 2);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&out.v, &longs.v, 0, VT_BSTR));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&out.v, &longs.v, 0, VT_I4));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, ChangeLong(5, VT_I4, VT_ARRAY | VT_UI1, out));
    // The same array type is a deep copy.
    ASSERT_EQ(S_OK, VariantChangeType(&out.v, &longs.v, 0, VT_ARRAY | VT_I4));
    EXPECT_NE(longs.v.parray, out.v.parray);
}

TEST(VariantChangeTypeDates, DatesToText) {
    const double serial = 46364 + (18 * 3600 + 1 * 60 + 51) / 86400.0;
    EXPECT_EQ(u"12/8/2026 6:01:51 PM", DoubleToText(serial, VT_DATE));
    EXPECT_EQ(u"12/8/2026", DoubleToText(46364, VT_DATE));
    EXPECT_EQ(u"6:00:00 PM", DoubleToText(0.75, VT_DATE));
    EXPECT_EQ(u"12:00:00 AM", DoubleToText(0, VT_DATE));
    EXPECT_EQ(u"12:30:00 PM", DoubleToText(0.5208333333333334, VT_DATE));
    EXPECT_EQ(u"6:00:00 PM", DoubleToText(-0.75, VT_DATE));  // day zero seen from below
    EXPECT_EQ(u"12/29/1899 6:00:00 AM", DoubleToText(-1.25, VT_DATE));
    EXPECT_EQ(u"1/1/0100", DoubleToText(-657434, VT_DATE));
    EXPECT_EQ(u"12/31/9999 11:59:59 PM", DoubleToText(2958465 + 86399 / 86400.0, VT_DATE));
    EXPECT_EQ(u"<failed>", DoubleToText(2958466, VT_DATE));
    EXPECT_EQ(u"<failed>", DoubleToText(2958465.999999999, VT_DATE));  // rounds into year 10000
}

TEST(VariantChangeTypeDates, TextToDates) {
    const double serial = 46364 + (18 * 3600 + 1 * 60 + 51) / 86400.0;
    struct Case {
        const char16_t* text;
        HRESULT expected;
        double value;
    } cases[] = {
        {u"12/8/2026 6:01:51 PM", S_OK, serial},
        {u"12/08/2026 18:01:51", S_OK, serial},
        {u"2026-12-08 18:01:51", S_OK, serial},
        {u"2026-12-08T18:01:51", S_OK, serial},
        {u"  12/8/2026  ", S_OK, 46364},
        {u"12-8-2026", S_OK, 46364},
        {u"December 8, 2026", S_OK, 46364},
        {u"8 Dec 2026", S_OK, 46364},
        {u"Dec 8, 2026 6:01:51 pm", S_OK, serial},
        {u"12/8/26", S_OK, 46364},
        {u"13/12/2026", S_OK, 46369},  // no 13th month: read day first
        {u"6:00 PM", S_OK, 0.75},
        {u"18:00:00", S_OK, 0.75},
        {u"12:00:00 AM", S_OK, 0.0},
        {u"2/30/2026", DISP_E_TYPEMISMATCH, 0},
        {u"2/29/2024", S_OK, 45351},
        {u"2/29/2023", DISP_E_TYPEMISMATCH, 0},
        {u"13/13/2026", DISP_E_TYPEMISMATCH, 0},
        {u"12/8/2026 25:00", DISP_E_TYPEMISMATCH, 0},
        {u"12/8/2026 13:00 PM", DISP_E_TYPEMISMATCH, 0},
        {u"hello", DISP_E_TYPEMISMATCH, 0},
        {u"", DISP_E_TYPEMISMATCH, 0},
        {u"12/8/2026 6:01:51 PM x", DISP_E_TYPEMISMATCH, 0},
    };
    for (const auto& c : cases) {
        Var out;
        HRESULT hr = ChangeText(c.text, VT_DATE, out);
        EXPECT_EQ(c.expected, hr) << Narrow(c.text);
        if (hr == S_OK) {
            EXPECT_NEAR(c.value, out.v.date, 1e-9) << Narrow(c.text);
        }
    }
}

TEST(VariantChangeTypeDates, NumbersToDatesStayInRange) {
    Var out;
    ASSERT_EQ(S_OK, ChangeLong(46364, VT_I4, VT_DATE, out));
    EXPECT_EQ(46364.0, out.v.date);
    EXPECT_EQ(DISP_E_OVERFLOW, ChangeDouble(3e6, VT_DATE, out));
    EXPECT_EQ(DISP_E_OVERFLOW, ChangeDouble(-657435, VT_DATE, out));
    Var date;
    date.v.vt = VT_DATE;
    date.v.date = 46364.5;
    ASSERT_EQ(S_OK, VariantChangeType(&out.v, &date.v, 0, VT_I4));
    EXPECT_EQ(46364, out.v.lVal);  // half to even
    ASSERT_EQ(S_OK, VariantChangeType(&out.v, &date.v, 0, VT_R8));
    EXPECT_EQ(46364.5, out.v.dblVal);
}

TEST(VariantChangeTypeSpecial, InPlaceByReferenceAndBadArguments) {
    Var value;
    SetText(value, u" 42 ");
    ASSERT_EQ(S_OK, VariantChangeType(&value.v, &value.v, 0, VT_I4));  // the string is freed (ASan watches)
    EXPECT_EQ(VT_I4, value.v.vt);
    EXPECT_EQ(42, value.v.lVal);
    ASSERT_EQ(S_OK, VariantChangeType(&value.v, &value.v, 0, VT_BSTR));
    EXPECT_EQ(u"42", TextOf(value));

    LONG target = 7;
    Var reference;
    reference.v.vt = VT_BYREF | VT_I4;
    reference.v.plVal = &target;
    Var out;
    ASSERT_EQ(S_OK, VariantChangeType(&out.v, &reference.v, 0, VT_BSTR));
    EXPECT_EQ(u"7", TextOf(out));
    BSTR text = SysAllocString(u"8");
    Var textReference;
    textReference.v.vt = VT_BYREF | VT_BSTR;
    textReference.v.pbstrVal = &text;
    ASSERT_EQ(S_OK, VariantChangeType(&out.v, &textReference.v, 0, VT_I4));
    EXPECT_EQ(8, out.v.lVal);
    SysFreeString(text);  // the reference never owned it

    Var number;
    number.v.vt = VT_I4;
    number.v.lVal = 1;
    EXPECT_EQ(E_INVALIDARG, VariantChangeType(nullptr, &number.v, 0, VT_I2));
    EXPECT_EQ(E_INVALIDARG, VariantChangeType(&out.v, nullptr, 0, VT_I2));
    EXPECT_EQ(DISP_E_BADVARTYPE, VariantChangeType(&out.v, &number.v, 0, VT_VARIANT));
    EXPECT_EQ(DISP_E_BADVARTYPE, VariantChangeType(&out.v, &number.v, 0, 0x7F));
    EXPECT_EQ(DISP_E_BADVARTYPE, VariantChangeType(&out.v, &number.v, 0, VT_BYREF | VT_I4));
    Var broken;
    broken.v.vt = 0x7F;
    EXPECT_EQ(DISP_E_BADVARTYPE, VariantChangeType(&out.v, &broken.v, 0, VT_I4));
    broken.v.vt = VT_EMPTY;
    Var error;
    error.v.vt = VT_ERROR;
    error.v.scode = E_FAIL;
    EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&out.v, &error.v, 0, VT_I4));
}

// An object whose value property is a number; stands in for an Automation object.
class ValueObject final : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDispatch)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     UINT*) override {
        if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
        result->vt = VT_I4;
        result->lVal = 1234;
        return S_OK;
    }
    ULONG references = 1;
};

TEST(VariantChangeTypeSpecial, ObjectsGiveTheirValueProperty) {
    ValueObject object;
    Var source;
    source.v.vt = VT_DISPATCH;
    source.v.pdispVal = &object;
    object.AddRef();
    Var out;
    ASSERT_EQ(S_OK, VariantChangeType(&out.v, &source.v, 0, VT_BSTR));
    EXPECT_EQ(u"1234", TextOf(out));
    ASSERT_EQ(S_OK, VariantChangeType(&out.v, &source.v, 0, VT_I2));
    EXPECT_EQ(1234, out.v.iVal);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&out.v, &source.v, VARIANT_NOVALUEPROP, VT_I2));
    ASSERT_EQ(S_OK, VariantChangeType(&out.v, &source.v, 0, VT_UNKNOWN));
    EXPECT_EQ(static_cast<IUnknown*>(&object), out.v.punkVal);
    EXPECT_EQ(3u, object.references);
    VariantClear(&out.v);
    VariantClear(&source.v);
    EXPECT_EQ(1u, object.references);
}

}  // namespace
