// Bstr and Variant as owners (copies, moves, embedded NULs, UTF-8 round trips) and the text
// ComError gives a failure.
#include <gtest/gtest.h>

#include "comsupport/Bstr.h"
#include "comsupport/ComError.h"
#include "comsupport/Variant.h"

namespace {

using comsupport::Bstr;
using comsupport::ComError;
using comsupport::OleString;
using comsupport::Variant;

TEST(Bstr, KeepsEmbeddedNulsThroughCopies) {
    const OLECHAR text[] = {u'a', 0, u'b'};
    Bstr original(OleString(text, 3));
    Bstr copy = original;
    ASSERT_EQ(copy.Length(), 3u);
    EXPECT_NE(copy.Get(), original.Get());
    EXPECT_EQ(copy.Str(), original.Str());
}

TEST(Bstr, NullAndEmptyReadTheSame) {
    Bstr null;
    Bstr empty(OLESTR(""));
    EXPECT_EQ(null.Get(), nullptr);
    EXPECT_NE(empty.Get(), nullptr);
    EXPECT_TRUE(null.IsEmpty());
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(null.Utf8(), "");
}

TEST(Bstr, Utf8RoundTripIncludingCharactersOutsideTheBasicPlane) {
    const std::string utf8 = "caf\xC3\xA9 \xF0\x9F\x98\x80";
    Bstr text = Bstr::FromUtf8(utf8);
    EXPECT_EQ(text.Length(), 7u);  // the emoji takes a surrogate pair
    EXPECT_EQ(text.Utf8(), utf8);
}

TEST(Variant, CopiesAreIndependent) {
    Variant original = Variant::FromText(OLESTR("sensor"));
    Variant copy = original;
    ASSERT_EQ(copy.Type(), VT_BSTR);
    EXPECT_NE(copy.Get().bstrVal, original.Get().bstrVal);
    copy.Ptr()->bstrVal[0] = u'S';
    EXPECT_EQ(OleString(original.Get().bstrVal), OleString(OLESTR("sensor")));

    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 4);
    VARIANT raw;
    VariantInit(&raw);
    raw.vt = VT_ARRAY | VT_UI1;
    raw.parray = bytes;
    Variant owned = Variant::Adopt(raw);
    EXPECT_EQ(raw.vt, VT_EMPTY);
    Variant arrayCopy = owned;
    EXPECT_NE(arrayCopy.Get().parray, owned.Get().parray);
}

TEST(Variant, AssignmentReleasesThePreviousValue) {
    Variant value = Variant::FromText(OLESTR("first"));
    value = Variant::FromText(OLESTR("second"));
    value = Variant::FromLong(7);
    EXPECT_EQ(value.Type(), VT_I4);
    Variant moved = std::move(value);
    EXPECT_EQ(value.Type(), VT_EMPTY);  // NOLINT(bugprone-use-after-move): documented moved-from state
    EXPECT_EQ(moved.Get().lVal, 7);
}

TEST(Variant, ConversionFailureCarriesTheConversionCode) {
    try {
        Variant::Null().ConvertedTo(VT_I4);
        FAIL();
    } catch (const ComError& error) {
        EXPECT_EQ(error.Code(), DISP_E_TYPEMISMATCH);
    }
    EXPECT_EQ(Variant::FromText(OLESTR(" 12 ")).ConvertedTo(VT_I4).Get().lVal, 12);
}

TEST(ComError, MessageTextOfTheSystemWithoutTheLineBreak) {
    ComError error(E_POINTER);
    EXPECT_EQ(error.SystemMessage(), OleString(OLESTR("Invalid pointer")));
    EXPECT_STREQ(error.what(), "0x80004003: Invalid pointer");
    EXPECT_TRUE(ComError(static_cast<HRESULT>(0x80041234)).SystemMessage().empty());
}

}  // namespace
