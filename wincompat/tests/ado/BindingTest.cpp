// How a parameter's VARIANT becomes the value sent to the database, for every
// kind of ADO parameter type: the value sent, or the HRESULT and description
// of a refusal, and the value left behind by a refusal (the statement log
// records it with the failed command).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ado/Values.h"
#include "AdoTestSupport.h"

using namespace wincompat::ado;
using wincompat_test::Var;

namespace {

// What ToDbValue made of one value; `value` starts as a marker text, so
// that a refusal that leaves it alone shows as that text.
struct Bound {
    HRESULT hr = E_UNEXPECTED;
    DbValue value = DbValue::Text("untouched");
    std::u16string error;
};

Bound Bind(Var& v, DataTypeEnum type) {
    Bound b;
    b.hr = ToDbValue(v.get(), type, b.value, b.error);
    return b;
}

Var I4(LONG value) { return Var::I4(value); }
Var R8(double value) {
    Var v;
    v.get().vt = VT_R8;
    v.get().dblVal = value;
    return v;
}
Var Cy(LONGLONG tenThousandths) {
    Var v;
    v.get().vt = VT_CY;
    v.get().cyVal.int64 = tenThousandths;
    return v;
}
Var Ui8(ULONGLONG value) {
    Var v;
    v.get().vt = VT_UI8;
    v.get().ullVal = value;
    return v;
}
Var Decimal(ULONGLONG magnitude, BYTE scale, bool negative) {
    Var v;
    DECIMAL& d = v.get().decVal;
    d.wReserved = 0;
    d.scale = scale;
    d.sign = negative ? DECIMAL_NEG : 0;
    d.Hi32 = 0;
    d.Lo64 = magnitude;
    v.get().vt = VT_DECIMAL;
    return v;
}
Var ErrorCode(SCODE code) {
    Var v;
    v.get().vt = VT_ERROR;
    v.get().scode = code;
    return v;
}

void ExpectInteger(const Bound& b, int64_t expected) {
    EXPECT_EQ(S_OK, b.hr) << std::string(b.error.begin(), b.error.end());
    EXPECT_EQ(DbValue::Kind::Integer, b.value.kind);
    EXPECT_EQ(expected, b.value.integer);
}
void ExpectReal(const Bound& b, double expected) {
    EXPECT_EQ(S_OK, b.hr);
    EXPECT_EQ(DbValue::Kind::Real, b.value.kind);
    EXPECT_EQ(expected, b.value.real);
}
void ExpectText(const Bound& b, const std::string& expected) {
    EXPECT_EQ(S_OK, b.hr);
    EXPECT_EQ(DbValue::Kind::Text, b.value.kind);
    EXPECT_EQ(expected, b.value.text);
}
void ExpectRefused(const Bound& b, HRESULT hr, const std::u16string& error, const std::string& left = "untouched") {
    EXPECT_EQ(hr, b.hr);
    EXPECT_EQ(error, b.error);
    EXPECT_EQ(DbValue::Kind::Text, b.value.kind);
    EXPECT_EQ(left, b.value.text);
}

std::u16string WrongType(const char* vt, const char* type) {
    return wincompat_test::U16(std::string("Application uses a value of the wrong type for the current operation (a ") +
                               vt + " value for a parameter of type " + type + ").");
}

TEST(AdoBinding, MissingValuesAreNullForEveryType) {
    for (DataTypeEnum type : {adInteger, adBSTR, adGUID, adDate, adBinary, adVariant}) {
        Var empty, null = Var::Null(), omitted = ErrorCode(DISP_E_PARAMNOTFOUND);
        EXPECT_TRUE(Bind(empty, type).value.IsNull());
        EXPECT_TRUE(Bind(null, type).value.IsNull());
        EXPECT_TRUE(Bind(omitted, type).value.IsNull());
    }
    Var otherError = ErrorCode(E_FAIL);
    ExpectRefused(Bind(otherError, adInteger), DISP_E_TYPEMISMATCH, WrongType("VT_ERROR", "adInteger"));
}

TEST(AdoBinding, ReferencesBindWhatTheyPointTo) {
    LONG target = 77;
    Var ref;
    ref.get().vt = VT_BYREF | VT_I4;
    ref.get().plVal = &target;
    ExpectInteger(Bind(ref, adInteger), 77);
    ExpectText(Bind(ref, adVarWChar), "77");
}

TEST(AdoBinding, IntegersAreCheckedAgainstTheParameterSize) {
    Var small = I4(42), wide = I4(300), negative = I4(-1);
    ExpectInteger(Bind(small, adInteger), 42);
    ExpectInteger(Bind(small, adTinyInt), 42);
    ExpectRefused(Bind(wide, adTinyInt), DB_E_DATAOVERFLOW,
                  u"Arithmetic overflow error converting expression to data type tinyint.");
    ExpectRefused(Bind(negative, adUnsignedSmallInt), DB_E_DATAOVERFLOW,
                  u"Arithmetic overflow error converting expression to data type smallint.");
    Var big = Ui8(1ull << 40);
    ExpectRefused(Bind(big, adInteger), DB_E_DATAOVERFLOW,
                  u"Arithmetic overflow error converting expression to data type int.");
    ExpectInteger(Bind(big, adBigInt), int64_t(1) << 40);
}

TEST(AdoBinding, IntegerParametersTakeTextRealsAndDecimals) {
    Var text = Var::Text(u" 12 "), word = Var::Text(u"seven"), real = R8(-2.9), yes = Var::Bool(true);
    ExpectInteger(Bind(text, adSmallInt), 12);
    ExpectRefused(Bind(word, adBigInt), DB_E_CANTCONVERTVALUE,
                  u"Conversion failed when converting the nvarchar value 'seven' to data type bigint.");
    ExpectInteger(Bind(real, adInteger), -2);  // truncated, as the server does
    ExpectInteger(Bind(yes, adInteger), 1);
    Var money = Cy(125000), decimal = Decimal(5, 0, true), scaled = Decimal(1234, 2, false);
    ExpectInteger(Bind(money, adInteger), 12);
    ExpectInteger(Bind(decimal, adInteger), -5);
    ExpectInteger(Bind(scaled, adInteger), 12);
    Var huge = Ui8(std::numeric_limits<ULONGLONG>::max()), infinite = R8(HUGE_VAL);
    ExpectRefused(Bind(huge, adBigInt), DB_E_DATAOVERFLOW,
                  u"Arithmetic overflow error converting expression to data type int.");
    ExpectRefused(Bind(infinite, adTinyInt), DB_E_DATAOVERFLOW,
                  u"Arithmetic overflow error converting expression to data type int.");
    Var date = Var::Date(41341.0);
    ExpectRefused(Bind(date, adInteger), DISP_E_TYPEMISMATCH, WrongType("VT_DATE", "adInteger"));
}

TEST(AdoBinding, BooleansAreOneOrZero) {
    Var yes = Var::Bool(true), five = I4(5), zero = R8(0.0);
    ExpectInteger(Bind(yes, adBoolean), 1);
    ExpectInteger(Bind(five, adBoolean), 1);
    ExpectInteger(Bind(zero, adBoolean), 0);
    Var trueText = Var::Text(u" True "), falseText = Var::Text(u"FALSE"), two = Var::Text(u"2"),
        nought = Var::Text(u"0"), word = Var::Text(u" yes ");
    ExpectInteger(Bind(trueText, adBoolean), 1);
    ExpectInteger(Bind(falseText, adBoolean), 0);
    ExpectInteger(Bind(two, adBoolean), 1);
    ExpectInteger(Bind(nought, adBoolean), 0);
    ExpectRefused(Bind(word, adBoolean), DB_E_CANTCONVERTVALUE,
                  u"Conversion failed when converting the nvarchar value ' yes ' to data type bit.");
    Var date = Var::Date(1.0);
    ExpectRefused(Bind(date, adBoolean), DISP_E_TYPEMISMATCH, WrongType("VT_DATE", "adBoolean"));
}

TEST(AdoBinding, RealParametersKeepWholeNumbersWhole) {
    Var three = I4(3), half = R8(2.5), text = Var::Text(u"2.5"), word = Var::Text(u"abc"), infinite = Var::Text(u"inf");
    ExpectInteger(Bind(three, adDouble), 3);
    ExpectReal(Bind(half, adDouble), 2.5);
    ExpectReal(Bind(text, adSingle), 2.5);
    ExpectRefused(Bind(word, adDouble), DB_E_CANTCONVERTVALUE,
                  u"Conversion failed when converting the nvarchar value 'abc' to data type float.");
    ExpectRefused(Bind(infinite, adNumeric), DB_E_CANTCONVERTVALUE,
                  u"Conversion failed when converting the nvarchar value 'inf' to data type float.");
    Var money = Cy(125000), wholeMoney = Cy(30000);
    ExpectReal(Bind(money, adCurrency), 12.5);
    ExpectInteger(Bind(wholeMoney, adCurrency), 3);
    Var date = Var::Date(1.0);
    ExpectRefused(Bind(date, adDouble), DISP_E_TYPEMISMATCH, WrongType("VT_DATE", "adDouble"));
}

TEST(AdoBinding, DatesBecomeTheirTextFromDatesTextsAndNumbers) {
    Var date = Var::Date(41341.5), text = Var::Text(u"2013-03-08T13:47:20.5Z"), days = I4(41341);
    ExpectText(Bind(date, adDate), "2013-03-08 12:00:00.000");
    ExpectText(Bind(text, adDBTimeStamp), "2013-03-08 13:47:20.500");
    ExpectText(Bind(days, adDBDate), "2013-03-08 00:00:00.000");
    const std::u16string refused = u"Conversion failed when converting date and/or time from character string.";
    Var bad = Var::Text(u"2013-02-30"), yes = Var::Bool(true), bytes = Var::Bytes({1});
    ExpectRefused(Bind(bad, adDate), DB_E_CANTCONVERTVALUE, refused);
    ExpectRefused(Bind(yes, adDate), DB_E_CANTCONVERTVALUE, refused);
    ExpectRefused(Bind(bytes, adDate), DB_E_CANTCONVERTVALUE, refused);
    // A date past the year 9999 has no text: the value sent is an empty text.
    Var late = Var::Date(3e6);
    ExpectRefused(Bind(late, adDate), DB_E_CANTCONVERTVALUE, refused, "");
}

TEST(AdoBinding, GuidsAreCanonicalTextOrRefused) {
    Var braced = Var::Text(u" {6f9619ff-8b86-d011-b42d-00c04fc964ff} "),
        bare = Var::Text(u"6f9619ff-8b86-d011-b42d-00c04fc964ff");
    ExpectText(Bind(braced, adGUID), "{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
    ExpectText(Bind(bare, adGUID), "{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
    const std::u16string refused = u"Conversion failed when converting from a character string to uniqueidentifier.";
    Var bad = Var::Text(u"{6f9619ff-8b86-d011-b42d-00c04fc964f}"), number = I4(1);
    ExpectRefused(Bind(bad, adGUID), DB_E_CANTCONVERTVALUE, refused);
    ExpectRefused(Bind(number, adGUID), DB_E_CANTCONVERTVALUE, refused);
}

TEST(AdoBinding, BinaryParametersTakeByteArraysOnly) {
    Var bytes = Var::Bytes({1, 2, 3});
    Bound b = Bind(bytes, adVarBinary);
    EXPECT_EQ(S_OK, b.hr);
    EXPECT_EQ(DbValue::Kind::Blob, b.value.kind);
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3}), b.value.blob);
    Var none;
    none.get().vt = VT_ARRAY | VT_UI1;
    none.get().parray = nullptr;
    b = Bind(none, adBinary);
    EXPECT_EQ(S_OK, b.hr);
    EXPECT_EQ(DbValue::Kind::Blob, b.value.kind);
    EXPECT_TRUE(b.value.blob.empty());
    Var text = Var::Text(u"0102"), number = I4(1);
    ExpectRefused(Bind(text, adBinary), DB_E_CANTCONVERTVALUE,
                  u"Implicit conversion from data type nvarchar to varbinary is not allowed. Use the CONVERT function "
                  u"to run this query.");
    ExpectRefused(Bind(number, adLongVarBinary), DISP_E_TYPEMISMATCH, WrongType("VT_I4", "adLongVarBinary"));
}

TEST(AdoBinding, TextParametersTakeTextDatesAndNumbersAsText) {
    Var text = Var::Text(u"h\u00e9llo"), date = Var::Date(41341.5), number = I4(7), real = R8(0.1),
        yes = Var::Bool(true);
    ExpectText(Bind(text, adVarWChar), "h\xc3\xa9llo");
    ExpectText(Bind(date, adBSTR), "2013-03-08 12:00:00.000");
    ExpectText(Bind(number, adVarChar), "7");
    ExpectText(Bind(real, adLongVarWChar), "0.10000000000000001");
    ExpectText(Bind(yes, adWChar), "1");
    Var late = Var::Date(3e6), bytes = Var::Bytes({1});
    ExpectRefused(Bind(late, adVarWChar), DISP_E_TYPEMISMATCH, WrongType("VT_DATE", "adVarWChar"), "");
    ExpectRefused(Bind(bytes, adBSTR), DISP_E_TYPEMISMATCH, WrongType("VT_ARRAY|VT_UI1", "adBSTR"));
}

TEST(AdoBinding, OtherParameterTypesKeepTheValuesOwnKind) {
    Var text = Var::Text(u"abc"), date = Var::Date(41341.5), number = I4(7), real = R8(0.5), bytes = Var::Bytes({9});
    ExpectText(Bind(text, adVariant), "abc");
    ExpectText(Bind(date, adVariant), "2013-03-08 12:00:00.000");
    ExpectInteger(Bind(number, adVariant), 7);
    ExpectReal(Bind(real, adVariant), 0.5);
    Bound b = Bind(bytes, adVariant);
    EXPECT_EQ(S_OK, b.hr);
    EXPECT_EQ((std::vector<uint8_t>{9}), b.value.blob);
    Var late = Var::Date(3e6), object;
    object.get().vt = VT_DISPATCH;
    object.get().pdispVal = nullptr;
    ExpectRefused(Bind(late, adVariant), DISP_E_TYPEMISMATCH, WrongType("VT_DATE", "adVariant"), "");
    ExpectRefused(Bind(object, adVariant), DISP_E_TYPEMISMATCH, WrongType("VT_DISPATCH", "adVariant"));
}

}  // namespace
