// nodeTypedValue for untyped elements and for every MSXML data type.
#include "DomTestSupport.h"

#include <cmath>
#include <vector>

using namespace wincompat_test;

namespace {

// The typed value of <v dt:dt="type">text</v>; the HRESULT of the read.
HRESULT TypedValue(const std::u16string& type, const std::u16string& text, Variant& value) {
    Ref<IXMLDOMDocument2> doc =
        LoadedDocument(u"<v xmlns:dt='urn:schemas-microsoft-com:datatypes' dt:dt='" + type + u"'>" + text + u"</v>");
    Ref<IXMLDOMElement> root = Root(doc.get());
    if (!root) return E_UNEXPECTED;
    return root->get_nodeTypedValue(value.out());
}

std::vector<BYTE> Bytes(const Variant& value) {
    std::vector<BYTE> bytes;
    if (value.vt() != (VT_ARRAY | VT_UI1)) return bytes;
    SAFEARRAY* array = value.get().parray;
    void* data = nullptr;
    if (SafeArrayAccessData(array, &data) != S_OK) return bytes;
    bytes.assign(static_cast<BYTE*>(data), static_cast<BYTE*>(data) + array->rgsabound[0].cElements);
    SafeArrayUnaccessData(array);
    return bytes;
}

TEST(DomTypedValue, UntypedElementsGiveTheirTextAsAString) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<r><full> 42 </full><empty></empty><closed/></r>");
    Ref<IXMLDOMElement> root = Root(doc.get());
    Variant value;
    ASSERT_EQ(S_OK, SelectOne(root.get(), u"full")->get_nodeTypedValue(value.out()));
    EXPECT_EQ(VT_BSTR, value.vt());
    EXPECT_EQ(u" 42 ", value.str());  // not trimmed, not converted
    // Present but empty: an empty string, not NULL.
    for (const char16_t* name : {u"empty", u"closed"}) {
        ASSERT_EQ(S_OK, SelectOne(root.get(), name)->get_nodeTypedValue(value.out()));
        EXPECT_EQ(VT_BSTR, value.vt());
        EXPECT_EQ(u"", value.str());
    }
    // Absent: there is no node to ask.
    EXPECT_FALSE(SelectOne(root.get(), u"absent"));
    Variant dataType;
    EXPECT_EQ(S_FALSE, root->get_dataType(dataType.out()));
    EXPECT_EQ(VT_NULL, dataType.vt());
}

TEST(DomTypedValue, StringLikeTypesGiveStrings) {
    for (const char16_t* type : {u"string", u"uri", u"nmtoken", u"id"}) {
        Variant value;
        ASSERT_EQ(S_OK, TypedValue(type, u" a b ", value)) << Narrow(type);
        EXPECT_EQ(VT_BSTR, value.vt());
        EXPECT_EQ(u" a b ", value.str());
    }
    Variant value;
    ASSERT_EQ(S_OK, TypedValue(u"number", u"-12.5e3", value));
    EXPECT_EQ(VT_BSTR, value.vt());
    EXPECT_EQ(u"-12.5e3", value.str());
    ASSERT_EQ(S_OK, TypedValue(u"uuid", u"6F9619FF-8B86-D011-B42D-00C04FC964FF", value));
    EXPECT_EQ(VT_BSTR, value.vt());
    EXPECT_EQ(u"6F9619FF-8B86-D011-B42D-00C04FC964FF", value.str());
}

TEST(DomTypedValue, IntegerTypesGiveTheirVariantTypes) {
    struct Case {
        const char16_t* type;
        const char16_t* text;
        VARTYPE vt;
        long long expected;
    } cases[] = {{u"int", u"-2147483648", VT_I4, -2147483648LL},
                 {u"i4", u"+17", VT_I4, 17},
                 {u"i1", u"-128", VT_I1, -128},
                 {u"i2", u"32767", VT_I2, 32767},
                 {u"i8", u"-9000000000", VT_I8, -9000000000LL},
                 {u"ui1", u"255", VT_UI1, 255},
                 {u"ui2", u"65535", VT_UI2, 65535},
                 {u"ui4", u"4294967295", VT_UI4, 4294967295LL},
                 {u"ui8", u"9000000000", VT_UI8, 9000000000LL}};
    for (const Case& c : cases) {
        Variant value;
        ASSERT_EQ(S_OK, TypedValue(c.type, c.text, value)) << Narrow(c.type);
        ASSERT_EQ(c.vt, value.vt()) << Narrow(c.type);
        const VARIANT& v = value.get();
        long long actual = 0;
        switch (c.vt) {
            case VT_I4: actual = v.lVal; break;
            case VT_I1: actual = static_cast<signed char>(v.cVal); break;
            case VT_I2: actual = v.iVal; break;
            case VT_I8: actual = v.llVal; break;
            case VT_UI1: actual = v.bVal; break;
            case VT_UI2: actual = v.uiVal; break;
            case VT_UI4: actual = v.ulVal; break;
            case VT_UI8: actual = static_cast<long long>(v.ullVal); break;
        }
        EXPECT_EQ(c.expected, actual) << Narrow(c.type);
    }
}

TEST(DomTypedValue, OutOfRangeOrMalformedNumbersFail) {
    struct Case {
        const char16_t* type;
        const char16_t* text;
    } cases[] = {{u"int", u"2147483648"},
                 {u"i1", u"128"},
                 {u"ui1", u"-1"},
                 {u"ui2", u"65536"},
                 {u"int", u"12abc"},
                 {u"int", u""},
                 {u"int", u"1.5"},
                 {u"r8", u"1e999"},
                 {u"r4", u"abc"},
                 {u"boolean", u"yes"},
                 {u"fixed.14.4", u"1.23456"},
                 {u"fixed.14.4", u"123456789012345"},
                 {u"number", u"twelve"},
                 {u"uuid", u"not-a-uuid"}};
    for (const Case& c : cases) {
        Variant value;
        EXPECT_EQ(E_FAIL, TypedValue(c.type, c.text, value)) << Narrow(c.type) << " " << Narrow(c.text);
        EXPECT_EQ(VT_EMPTY, value.vt());
        EXPECT_FALSE(TakeErrorDescription().empty());
    }
}

TEST(DomTypedValue, BooleanRealAndCurrencyTypes) {
    Variant value;
    ASSERT_EQ(S_OK, TypedValue(u"boolean", u"1", value));
    EXPECT_EQ(VT_BOOL, value.vt());
    EXPECT_EQ(VARIANT_TRUE, value.get().boolVal);
    ASSERT_EQ(S_OK, TypedValue(u"boolean", u" 0 ", value));
    EXPECT_EQ(VARIANT_FALSE, value.get().boolVal);

    ASSERT_EQ(S_OK, TypedValue(u"r4", u"1.5", value));
    EXPECT_EQ(VT_R4, value.vt());
    EXPECT_FLOAT_EQ(1.5f, value.get().fltVal);
    for (const char16_t* type : {u"r8", u"float"}) {
        ASSERT_EQ(S_OK, TypedValue(type, u"-2.5E-3", value));
        EXPECT_EQ(VT_R8, value.vt());
        EXPECT_DOUBLE_EQ(-0.0025, value.get().dblVal);
    }
    ASSERT_EQ(S_OK, TypedValue(u"fixed.14.4", u"-12.34", value));
    EXPECT_EQ(VT_CY, value.vt());
    EXPECT_EQ(-123400, value.get().cyVal.int64);
}

TEST(DomTypedValue, BinaryTypesGiveByteArrays) {
    Variant value;
    ASSERT_EQ(S_OK, TypedValue(u"bin.hex", u"00fF7a", value));
    EXPECT_EQ(VT_ARRAY | VT_UI1, value.vt());
    EXPECT_EQ((std::vector<BYTE>{0x00, 0xFF, 0x7A}), Bytes(value));
    ASSERT_EQ(S_OK, TypedValue(u"bin.base64", u"SGVs\n bG8=", value));
    EXPECT_EQ(VT_ARRAY | VT_UI1, value.vt());
    EXPECT_EQ((std::vector<BYTE>{'H', 'e', 'l', 'l', 'o'}), Bytes(value));
    ASSERT_EQ(S_OK, TypedValue(u"bin.base64", u"", value));
    EXPECT_EQ(VT_ARRAY | VT_UI1, value.vt());
    EXPECT_TRUE(Bytes(value).empty());
    EXPECT_EQ(E_FAIL, TypedValue(u"bin.hex", u"abc", value));
    EXPECT_EQ(E_FAIL, TypedValue(u"bin.hex", u"zz", value));
    EXPECT_EQ(E_FAIL, TypedValue(u"bin.base64", u"SGVsbG8", value));
    EXPECT_EQ(E_FAIL, TypedValue(u"bin.base64", u"SG=sbG8=", value));
}

TEST(DomTypedValue, DatesAndTimesGiveAutomationDates) {
    Variant value;
    ASSERT_EQ(S_OK, TypedValue(u"date", u"2013-03-08", value));
    EXPECT_EQ(VT_DATE, value.vt());
    EXPECT_DOUBLE_EQ(41341.0, value.get().date);
    ASSERT_EQ(S_OK, TypedValue(u"dateTime", u"2013-03-08T12:00:00", value));
    EXPECT_DOUBLE_EQ(41341.5, value.get().date);
    ASSERT_EQ(S_OK, TypedValue(u"dateTime", u"1899-12-30T06:00:00.5", value));
    EXPECT_NEAR(0.25 + 0.5 / 86400, value.get().date, 1e-9);
    // Before the epoch the fraction still counts forward: 29 Dec 1899, 06:00 is -1.25.
    ASSERT_EQ(S_OK, TypedValue(u"dateTime", u"1899-12-29T06:00:00", value));
    EXPECT_DOUBLE_EQ(-1.25, value.get().date);
    // A zone is applied: the instant in UTC.
    ASSERT_EQ(S_OK, TypedValue(u"dateTime.tz", u"2013-03-08T12:00:00+02:00", value));
    EXPECT_DOUBLE_EQ(41341.0 + 10.0 / 24, value.get().date);
    ASSERT_EQ(S_OK, TypedValue(u"dateTime.tz", u"2013-03-08T23:00:00-02:00", value));
    EXPECT_DOUBLE_EQ(41342.0 + 1.0 / 24, value.get().date);
    ASSERT_EQ(S_OK, TypedValue(u"dateTime.tz", u"2013-03-08T12:00:00Z", value));
    EXPECT_DOUBLE_EQ(41341.5, value.get().date);
    ASSERT_EQ(S_OK, TypedValue(u"time", u"18:00:00", value));
    EXPECT_EQ(VT_DATE, value.vt());
    EXPECT_DOUBLE_EQ(0.75, value.get().date);
    ASSERT_EQ(S_OK, TypedValue(u"time.tz", u"01:00:00+02:00", value));
    EXPECT_NEAR(23.0 / 24, value.get().date, 1e-12);
}

TEST(DomTypedValue, ImpossibleDatesFail) {
    Variant value;
    for (const char16_t* text : {u"2013-13-08", u"2013-02-29", u"2012-02-30", u"13-03-08", u"2013-03-08T25:00:00"}) {
        HRESULT hr = TypedValue(std::u16string(text).size() > 10 ? u"dateTime" : u"date", text, value);
        EXPECT_EQ(E_FAIL, hr) << Narrow(text);
    }
    EXPECT_EQ(S_OK, TypedValue(u"date", u"2012-02-29", value));
    // A zone is only accepted by the .tz types.
    EXPECT_EQ(E_FAIL, TypedValue(u"dateTime", u"2013-03-08T12:00:00Z", value));
    EXPECT_EQ(E_FAIL, TypedValue(u"time", u"12:00", value));
}

TEST(DomTypedValue, UnknownDataTypesAreReported) {
    Variant value;
    EXPECT_EQ(E_FAIL, TypedValue(u"decimal128", u"1", value));
    EXPECT_NE(std::u16string::npos, TakeErrorDescription().find(u"decimal128"));
}

TEST(DomTypedValue, TheDataTypeAttributeNeedsItsNamespace) {
    // dt:dt bound to another namespace is just an attribute.
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<v xmlns:dt='urn:other' dt:dt='int'>12</v>");
    Variant value;
    ASSERT_EQ(S_OK, Root(doc.get())->get_nodeTypedValue(value.out()));
    EXPECT_EQ(VT_BSTR, value.vt());
    Variant type;
    Ref<IXMLDOMDocument2> typed = LoadedDocument(u"<v xmlns:dt='urn:schemas-microsoft-com:datatypes' dt:dt='i2'>3</v>");
    ASSERT_EQ(S_OK, Root(typed.get())->get_dataType(type.out()));
    EXPECT_EQ(u"i2", type.str());
}

}  // namespace

namespace {

// Documents with a DTD that declares only entities or attributes: loaded
// without validation, which would refuse their undeclared elements.
Ref<IXMLDOMDocument2> Unvalidated(const std::u16string& xml) {
    Ref<IXMLDOMDocument2> doc = NewDocument();
    EXPECT_EQ(S_OK, doc->put_validateOnParse(VARIANT_FALSE));
    EXPECT_TRUE(LoadXml(doc.get(), xml));
    return doc;
}

// An untyped element's value is all of its text, however the document holds
// it: one text node, several, CDATA, character and entity references, text
// inside child elements, and characters outside ASCII.
TEST(DomTypedValue, AnUntypedValueIsAllTheTextWhereverItLies) {
    Ref<IXMLDOMDocument2> doc = Unvalidated(
        u"<!DOCTYPE r [<!ENTITY e 'ent'>]>"
        u"<r><one>caf\u00e9 \u20ac \U0001F600</one><split>a<!--c-->b<?p x?>c</split><cdata><![CDATA[<x>]]></cdata>"
        u"<refs>&#x41;&e;&amp;</refs><nested>1<i>2<j>3</j></i>4</nested><long>" +
        std::u16string(5000, u'x') + u"\u00e9</long></r>");
    Ref<IXMLDOMElement> root = Root(doc.get());
    struct Case {
        const char16_t* name;
        std::u16string text;
    } cases[] = {
        {u"one", u"caf\u00e9 \u20ac \U0001F600"},
        {u"split", u"abc"},
        {u"cdata", u"<x>"},
        {u"refs", u"Aent&"},
        {u"nested", u"1234"},
        {u"long", std::u16string(5000, u'x') + u"\u00e9"},
    };
    for (const Case& c : cases) {
        Variant value;
        ASSERT_EQ(S_OK, SelectOne(root.get(), c.name)->get_nodeTypedValue(value.out())) << Narrow(c.name);
        EXPECT_EQ(VT_BSTR, value.vt()) << Narrow(c.name);
        EXPECT_EQ(c.text, value.str()) << Narrow(c.name);
    }
}

// The data type may come from the element's own attribute, written in parts
// or through an entity, or from a default that the document's DTD declares.
TEST(DomTypedValue, TheDataTypeIsReadHoweverTheAttributeIsWritten) {
    const std::u16string dt = u"urn:schemas-microsoft-com:datatypes";
    Variant value;
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<v xmlns:dt='" + dt + u"' dt:dt='i&#x34;'>12</v>");
    ASSERT_EQ(S_OK, Root(doc.get())->get_nodeTypedValue(value.out()));
    EXPECT_EQ(VT_I4, value.vt());
    doc = Unvalidated(u"<!DOCTYPE v [<!ENTITY t 'i2'>]><v xmlns:dt='" + dt + u"' dt:dt='&t;'>12</v>");
    ASSERT_EQ(S_OK, Root(doc.get())->get_nodeTypedValue(value.out()));
    EXPECT_EQ(VT_I2, value.vt());
    doc = Unvalidated(u"<!DOCTYPE v [<!ATTLIST v xmlns:dt CDATA #FIXED '" + dt + u"' dt:dt CDATA 'boolean'>]><v>1</v>");
    ASSERT_EQ(S_OK, Root(doc.get())->get_nodeTypedValue(value.out()));
    EXPECT_EQ(VT_BOOL, value.vt());
    doc = LoadedDocument(u"<v xmlns:dt='" + dt + u"' dt:dt=''>12</v>");  // an empty type is no type
    ASSERT_EQ(S_OK, Root(doc.get())->get_nodeTypedValue(value.out()));
    EXPECT_EQ(VT_BSTR, value.vt());
}

}  // namespace
