// BSTR allocation: length prefix, terminator, embedded NULs, the null BSTR.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(Bstr, KeepsLengthTerminatorAndEmbeddedNuls) {
    const OLECHAR text[] = {u'a', 0, u'b', u'c'};
    BSTR value = SysAllocStringLen(text, 4);
    ASSERT_NE(nullptr, value);
    EXPECT_EQ(4u, SysStringLen(value));
    EXPECT_EQ(8u, SysStringByteLen(value));
    EXPECT_EQ(0, memcmp(value, text, sizeof text));
    EXPECT_EQ(0, value[4]);  // terminated after the counted characters
    uint32_t prefix = 0;
    memcpy(&prefix, reinterpret_cast<const char*>(value) - 4, 4);
    EXPECT_EQ(8u, prefix);  // the byte count precedes the text
    SysFreeString(value);
}

TEST(Bstr, NullBstrReadsAsEmpty) {
    EXPECT_EQ(0u, SysStringLen(nullptr));
    EXPECT_EQ(0u, SysStringByteLen(nullptr));
    EXPECT_EQ(nullptr, SysAllocString(nullptr));
    SysFreeString(nullptr);
    BSTR empty = SysAllocString(u"");
    ASSERT_NE(nullptr, empty);  // an empty string is not a null one
    EXPECT_EQ(0u, SysStringLen(empty));
    SysFreeString(empty);
}

TEST(Bstr, ByteLengthsMayBeOdd) {
    BSTR bytes = SysAllocStringByteLen("abc", 3);
    ASSERT_NE(nullptr, bytes);
    EXPECT_EQ(3u, SysStringByteLen(bytes));
    EXPECT_EQ(1u, SysStringLen(bytes));
    EXPECT_EQ(0, memcmp(bytes, "abc", 3));
    EXPECT_EQ(0, reinterpret_cast<const char*>(bytes)[3]);
    SysFreeString(bytes);
    BSTR zeroed = SysAllocStringLen(nullptr, 3);
    ASSERT_NE(nullptr, zeroed);
    EXPECT_EQ(3u, SysStringLen(zeroed));
    SysFreeString(zeroed);
}

TEST(Bstr, ReallocationCopiesBeforeFreeing) {
    BSTR value = SysAllocString(u"hello world");
    // The new text lies inside the old string.
    ASSERT_TRUE(SysReAllocStringLen(&value, value + 6, 5));
    EXPECT_EQ(std::u16string(u"world"), std::u16string(value, SysStringLen(value)));
    ASSERT_TRUE(SysReAllocString(&value, u"again"));
    EXPECT_EQ(std::u16string(u"again"), std::u16string(value));
    EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
    SysFreeString(value);
}

TEST(Bstr, RefusesImpossibleLengths) {
    EXPECT_EQ(nullptr, SysAllocStringLen(nullptr, 0xFFFFFFFFu));
    EXPECT_EQ(nullptr, SysAllocStringByteLen(nullptr, 0xFFFFFFFFu));
}

}  // namespace
