// The integer view of mapped values and the case-insensitive comparisons.
#include "TestSupport.h"
#include "comsupport/ComError.h"
#include "model/VariantValues.h"

namespace {
using namespace marlind_test;

HRESULT IntegerViewFailure(const Variant& value) {
    try {
        ZELKXML::IntegerView(value.Get());
    } catch (const comsupport::ComError& error) {
        return error.Code();
    }
    return S_OK;
}

TEST(IntegerView, TakesAnIntegerAsItIs) { EXPECT_EQ(-7, ZELKXML::IntegerView(Variant::FromInt(-7).Get())); }

TEST(IntegerView, ConvertsByTheAutomationRules) {
    EXPECT_EQ(1, ZELKXML::IntegerView(Variant::FromText(OLESTR("1")).Get()));
    EXPECT_EQ(42, ZELKXML::IntegerView(Variant::FromText(OLESTR(" 42 ")).Get()));
    EXPECT_EQ(12, ZELKXML::IntegerView(Variant::FromLong(12).Get()));
    EXPECT_EQ(-1, ZELKXML::IntegerView(Variant::FromBool(true).Get()));
    // Automation rounds halves to even.
    EXPECT_EQ(2, ZELKXML::IntegerView(Variant::FromDouble(2.5).Get()));
    EXPECT_EQ(4, ZELKXML::IntegerView(Variant::FromDouble(3.5).Get()));
}

TEST(IntegerView, NullIsATypeMismatch) { EXPECT_EQ(DISP_E_TYPEMISMATCH, IntegerViewFailure(Variant::Null())); }

TEST(IntegerView, TextThatIsNoNumberFails) {
    EXPECT_EQ(DISP_E_TYPEMISMATCH, IntegerViewFailure(Variant::FromText(OLESTR("yes"))));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, IntegerViewFailure(Variant::FromText(OLESTR(""))));
}

TEST(IntegerView, OutOfRangeOverflows) {
    EXPECT_EQ(DISP_E_OVERFLOW, IntegerViewFailure(Variant::FromText(OLESTR("4294967296"))));
}

TEST(EqualsIgnoringCase, FoldsAsciiLettersOnly) {
    comsupport::Bstr upper(OLESTR("DETECTION"));
    EXPECT_TRUE(ZELKXML::EqualsIgnoringCase(upper.Get(), OLESTR("detection")));
    comsupport::Bstr mixed(OLESTR("Voting"));
    EXPECT_TRUE(ZELKXML::EqualsIgnoringCase(mixed.Get(), OLESTR("voting")));
    comsupport::Bstr longer(OLESTR("votings"));
    EXPECT_FALSE(ZELKXML::EqualsIgnoringCase(longer.Get(), OLESTR("voting")));
    comsupport::Bstr shorter(OLESTR("vot"));
    EXPECT_FALSE(ZELKXML::EqualsIgnoringCase(shorter.Get(), OLESTR("voting")));
    comsupport::Bstr spaced(OLESTR("server "));
    EXPECT_FALSE(ZELKXML::EqualsIgnoringCase(spaced.Get(), OLESTR("server")));
}

TEST(EqualsIgnoringCase, NullTextIsTheEmptyText) {
    EXPECT_TRUE(ZELKXML::EqualsIgnoringCase(nullptr, OLESTR("")));
    EXPECT_FALSE(ZELKXML::EqualsIgnoringCase(nullptr, OLESTR("server")));
}

TEST(EqualsIgnoringCase, TextEndsAtItsFirstNul) {
    comsupport::OleString text = Ole("server?x");
    text[6] = 0;
    comsupport::Bstr withNul(text);
    EXPECT_TRUE(ZELKXML::EqualsIgnoringCase(withNul.Get(), OLESTR("SERVER")));
}

TEST(IsTextIgnoringCase, OnlyStringsMatch) {
    EXPECT_TRUE(ZELKXML::IsTextIgnoringCase(Variant::FromText(OLESTR("Server")).Get(), OLESTR("server")));
    EXPECT_FALSE(ZELKXML::IsTextIgnoringCase(Variant::Null().Get(), OLESTR("")));
    EXPECT_FALSE(ZELKXML::IsTextIgnoringCase(Variant().Get(), OLESTR("")));
}
}  // namespace
