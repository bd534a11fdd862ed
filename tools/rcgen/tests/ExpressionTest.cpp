// #if and id expressions: C's operators and precedence, macros standing for
// their values (long ones too, whose text lives on the heap), and failures
// that say where and what could not be read.
#include <gtest/gtest.h>

#include <string>

#include "Expression.h"
#include "FailureCapture.h"

namespace {

using rcgen::EvaluateExpression;
using rcgen::MacroTable;

long Eval(const std::string& expression, const MacroTable& macros = {}) {
    return EvaluateExpression(expression, macros, "test.rc:1");
}

TEST(ExpressionTest, FollowsThePrecedenceOfC) {
    EXPECT_EQ(Eval("1 + 2 == 3 && !0"), 1);
    EXPECT_EQ(Eval("1 || 0 && 0"), 1);
    EXPECT_EQ(Eval("(1 || 0) && 0"), 0);
    EXPECT_EQ(Eval("2 | 1 == 1"), 3);  // == binds tighter than |
    EXPECT_EQ(Eval("0 | 0 || 1"), 1);  // the | is not read as the start of ||
    EXPECT_EQ(Eval("10 - 4 - 3"), 3);  // left to right
    EXPECT_EQ(Eval("-(2 - 5)"), 3);
    EXPECT_EQ(Eval("~0"), -1);
    EXPECT_EQ(Eval("3 >= 3"), 1);
    EXPECT_EQ(Eval("3 < 2"), 0);
    EXPECT_EQ(Eval("4 != 4"), 0);
}

TEST(ExpressionTest, ReadsTheIntegerLiteralsOfC) {
    EXPECT_EQ(Eval("0x3fL"), 0x3F);
    EXPECT_EQ(Eval("010"), 8);
    EXPECT_EQ(Eval("10u + 1UL"), 11);
    EXPECT_EQ(rcgen::ParseNumber("0x40004", "test.rc:1"), 0x40004);
}

TEST(ExpressionTest, MacrosStandForTheirValuesAndUnknownNamesForZero) {
    const MacroTable macros = {{"BASE", "200"}, {"NEXT", "(BASE + 1)"}, {"FLAG", ""}};
    EXPECT_EQ(Eval("NEXT", macros), 201);
    EXPECT_EQ(Eval("NEXT - BASE", macros), 1);
    EXPECT_EQ(Eval("FLAG", macros), 0);  // defined empty
    EXPECT_EQ(Eval("ABSENT", macros), 0);
    EXPECT_EQ(Eval("ABSENT + 1", macros), 1);
    EXPECT_EQ(Eval("defined(FLAG) && defined BASE && !defined(ABSENT)", macros), 1);
}

// A macro's value is parsed by a parser of its own; a value too long for the
// string's inline buffer is read from the heap, after the call that looked it up.
TEST(ExpressionTest, MacroWithALongValueIsReadWhileItStillExists) {
    const MacroTable macros = {
        {"IDR_SCRIPT_BASE_VALUE", "100"},
        {"IDR_QUILLET", "(IDR_SCRIPT_BASE_VALUE + 0x10) - (IDR_SCRIPT_BASE_VALUE - IDR_SCRIPT_BASE_VALUE)"}};
    EXPECT_EQ(Eval("IDR_QUILLET", macros), 116);
    EXPECT_EQ(Eval("IDR_QUILLET == 116 && IDR_QUILLET + 1 == 117", macros), 1);
}

TEST(ExpressionTest, MacrosThatReferToThemselvesFail) {
    EXPECT_EQ(FailureOf([] { Eval("LOOP", {{"LOOP", "LOOP + 1"}}); }), "test.rc:1: macro LOOP refers to itself");
    EXPECT_NE(FailureOf([] {
                  Eval("PING", {{"PING", "PONG"}, {"PONG", "PING"}});
              }).find("refers to itself"),
              std::string::npos);
}

TEST(ExpressionTest, WhatCannotBeReadFailsWithThePlaceAndTheText) {
    EXPECT_EQ(FailureOf([] { Eval("1 +"); }), "test.rc:1: cannot read the expression \"1 +\"");
    EXPECT_EQ(FailureOf([] { Eval("1 2"); }), "test.rc:1: cannot read the expression \"1 2\"");
    EXPECT_EQ(FailureOf([] { Eval(""); }), "test.rc:1: cannot read the expression \"\"");
    EXPECT_EQ(FailureOf([] { Eval("(1"); }), "test.rc:1: missing ')' in \"(1\"");
    EXPECT_EQ(FailureOf([] { Eval("defined(X"); }), "test.rc:1: missing ')' after defined(");
    EXPECT_EQ(FailureOf([] { Eval("12abc"); }), "test.rc:1: \"12abc\" is not a number");
    // A fault in a macro's value names that value.
    EXPECT_EQ(FailureOf([] { Eval("BROKEN", {{"BROKEN", "(40 + 2"}}); }), "test.rc:1: missing ')' in \"(40 + 2\"");
}

}  // namespace
