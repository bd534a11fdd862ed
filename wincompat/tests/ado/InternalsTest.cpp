// The parts under the COM objects: value conversions, batch splitting, the
// connection-string parser and the per-connection statement cache.
#include <gtest/gtest.h>

#include <cmath>

#include "ado/Errors.h"
#include "ado/Session.h"
#include "ado/TSql.h"
#include "ado/Values.h"
#include "AdoTestSupport.h"

using namespace wincompat::ado;

namespace {

TEST(AdoValues, DatesRoundTripThroughTextToTheMillisecond) {
    struct Case {
        DATE date;
        const char* text;
    };
    const Case cases[] = {
        {0.0, "1899-12-30 00:00:00.000"},
        {41341.5, "2013-03-08 12:00:00.000"},
        {-1.25, "1899-12-29 06:00:00.000"},
        {2.0 + 0.999999999, "1900-01-02 00:00:00.000"},  // rounds up into the next day
        {36526.0 + 1.0 / 86400000.0 * 1, "2000-01-01 00:00:00.001"},
        {2958465.0, "9999-12-31 00:00:00.000"},
        {-657434.0, "0100-01-01 00:00:00.000"},
        {41341.0 + (13 * 3600 + 47 * 60 + 20.123) / 86400.0, "2013-03-08 13:47:20.123"},
        {2958465.0 + 86399.999 / 86400.0, "9999-12-31 23:59:59.999"},
        {-1.0 - (10 * 3600 + 9 * 60 + 8.007) / 86400.0, "1899-12-29 10:09:08.007"},
    };
    for (const Case& c : cases) {
        std::string text;
        ASSERT_TRUE(DateToText(c.date, text)) << c.date;
        EXPECT_EQ(c.text, text);
        DATE back = 0;
        ASSERT_TRUE(TextToDate(text, back));
        std::string again;
        DateToText(back, again);
        EXPECT_EQ(text, again);
    }
    std::string text;
    EXPECT_FALSE(DateToText(3e6, text));
    EXPECT_FALSE(DateToText(std::nan(""), text));
}

TEST(AdoValues, DateTextsAreReadStrictly) {
    DATE date = 0;
    EXPECT_TRUE(TextToDate("2013-03-08", date));
    EXPECT_DOUBLE_EQ(41341.0, date);
    EXPECT_TRUE(TextToDate("2013-03-08T13:47:20.5Z", date));
    EXPECT_TRUE(TextToDate(" 2013-03-08 13:47 ", date));
    for (const char* bad : {"", "2013-3-8", "2013-02-29", "2012-13-01", "2013-03-08 24:00:00", "2013-03-08T10:61",
                            "2013-03-08 10:00:00.", "2013-03-08 10:00:00 PM", "0099-01-01", "yesterday"})
        EXPECT_FALSE(TextToDate(bad, date)) << bad;
    EXPECT_TRUE(TextToDate("2012-02-29", date));
}

TEST(AdoValues, GuidTextIsCanonicalOrRefused) {
    std::string out;
    EXPECT_TRUE(CanonicalGuidText("{00000550-0000-0010-8000-00aa006d2ea4}", out));
    EXPECT_EQ("{00000550-0000-0010-8000-00AA006D2EA4}", out);
    for (const char* bad : {"", "{}", "00000550-0000-0010-8000-00aa006d2ea", "{00000550-0000-0010-8000-00aa006d2ea4",
                            "00000550x0000-0010-8000-00aa006d2ea4", "{00000550-0000-0010-8000-00aa006d2eg4}"})
        EXPECT_FALSE(CanonicalGuidText(bad, out)) << bad;
}

TEST(AdoValues, Utf8AndUtf16ConvertBothWaysAndReplaceBrokenSequences) {
    const std::u16string text = u"a\u00e9\u20ac\U0001F600";
    EXPECT_EQ("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", Utf16ToUtf8(text));
    EXPECT_EQ(text, Utf8ToUtf16(Utf16ToUtf8(text)));
    EXPECT_EQ(u"\uFFFDx", Utf8ToUtf16("\xC3x"));                                  // cut short
    EXPECT_EQ(u"\uFFFD\uFFFD", Utf8ToUtf16("\xC0\xAF"));                          // overlong
    EXPECT_EQ("\xEF\xBF\xBD", Utf16ToUtf8(std::u16string(1, char16_t(0xD800))));  // lone surrogate
}

// Database text handed out as a BSTR: ASCII, other characters and broken
// sequences alike, with the BSTR's length counting embedded NULs.
TEST(AdoValues, TextBecomesABstrOfItsUtf16Units) {
    struct Case {
        std::string utf8;
        std::u16string expected;
    };
    const Case cases[] = {
        {"", u""},
        {"00:1A:2B:3C:4D:5E", u"00:1A:2B:3C:4D:5E"},
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", u"caf\u00e9 \U0001F600"},
        {"x\xFFy\xC3", u"x\uFFFDy\uFFFD"},
        {"\x7F\x80", u"\u007F\uFFFD"},
    };
    for (const Case& c : cases) {
        BSTR b = wincompat::AllocBstrFromUtf8(c.utf8);
        ASSERT_NE(nullptr, b);
        EXPECT_EQ(c.expected, std::u16string(b, SysStringLen(b))) << c.utf8;
        EXPECT_EQ(u'\0', b[SysStringLen(b)]);
        SysFreeString(b);
    }
}

TEST(AdoValues, ColumnsAreTypedByTheirDeclaredSqlServerType) {
    EXPECT_EQ(adInteger, ColumnTypeFromDeclared("INTEGER"));
    EXPECT_EQ(adVarWChar, ColumnTypeFromDeclared("nvarchar(255)"));
    EXPECT_EQ(adBoolean, ColumnTypeFromDeclared("bit"));
    EXPECT_EQ(adDBTimeStamp, ColumnTypeFromDeclared("DateTime"));
    EXPECT_EQ(adGUID, ColumnTypeFromDeclared("uniqueidentifier"));
    EXPECT_EQ(adBinary, ColumnTypeFromDeclared("binary(16)"));
    EXPECT_EQ(adEmpty, ColumnTypeFromDeclared(""));
    EXPECT_EQ(adEmpty, ColumnTypeFromDeclared("whatever"));
    VARIANT v;
    ASSERT_EQ(S_OK, ToVariant(DbValue::Integer(-5), adNumeric, &v));
    EXPECT_EQ(VT_DECIMAL, v.vt);
    EXPECT_EQ(DECIMAL_NEG, v.decVal.sign);
    EXPECT_EQ(5u, v.decVal.Lo64);
    ASSERT_EQ(S_OK, ToVariant(DbValue::Text("not a date"), adDBTimeStamp, &v));
    EXPECT_EQ(VT_BSTR, v.vt);  // a stored value that does not fit its column comes back as it is
    VariantClear(&v);
}

TEST(AdoBatch, SplitsAtSemicolonsOutsideLiteralsAndCountsMarkers) {
    auto statements = SplitBatch(
        "SET NOCOUNT ON;\nINSERT INTO [a;b] (x, y) VALUES (?, '?;'); -- ; ?\n"
        "/* ; ? */ SELECT SCOPE_IDENTITY ( ) ;;  ; select \"q?\" FROM t WHERE z = ?");
    ASSERT_EQ(4u, statements.size());
    EXPECT_EQ(BatchStatement::Kind::NoCountOn, statements[0].kind);
    EXPECT_EQ(BatchStatement::Kind::Sql, statements[1].kind);
    EXPECT_EQ(1, statements[1].markerCount);
    EXPECT_EQ("INSERT", statements[1].firstKeyword);
    EXPECT_TRUE(statements[1].CountsRows());
    EXPECT_EQ(BatchStatement::Kind::ScopeIdentity, statements[2].kind);
    EXPECT_EQ(1, statements[3].markerCount);
    EXPECT_FALSE(statements[3].CountsRows());
    EXPECT_TRUE(SplitBatch("  ;  -- only a comment\n").empty());
    EXPECT_EQ(BatchStatement::Kind::Sql, SplitBatch("SELECT SCOPE_IDENTITY() + 1")[0].kind);
    auto unterminated = SplitBatch("SELECT 'abc; ?");
    ASSERT_EQ(1u, unterminated.size());
    EXPECT_EQ(0, unterminated[0].markerCount);
}

TEST(AdoProvider, TranslationDropsOnlyTheUnicodePrefixOfLiterals) {
    wincompat_test::TempDir dir;
    auto session = DefaultProvider().Open(dir.File("p.db"), SessionOptions());
    EXPECT_EQ("SELECT 'a', 'N''b', [N'c], COLUMN'd', \"N'\" -- N'e\n",
              session->TranslateStatement("SELECT N'a', n'N''b', [N'c], COLUMN'd', \"N'\" -- N'e\n"));
    EXPECT_EQ(nullptr, FindProvider("Oracle"));
    EXPECT_EQ(&DefaultProvider(), FindProvider("sqlite"));
}

TEST(AdoConnectionString, KeywordsAndValues) {
    ConnectionSettings s = ParseConnectionString(
        u"provider=SQLite; data source = \"a;b.db\" ;STATEMENT LOG=x.log;"
        u"busy timeout=100;");
    EXPECT_EQ("a;b.db", s.dataSource);
    EXPECT_EQ("x.log", s.statementLogPath);
    EXPECT_EQ(100, s.options.busyTimeoutMs);
    try {
        ParseConnectionString(u"Data Source=a.db;Busy Timeout=-5");
        ADD_FAILURE() << "a negative timeout was accepted";
    } catch (const AdoFailure& failure) {
        EXPECT_EQ(E_FAIL, failure.hr);
    }
}

TEST(AdoStatementCache, EachTranslatedStatementIsPreparedOncePerConnection) {
    wincompat_test::TempDir dir;
    ConnectionSettings settings = ParseConnectionString(wincompat_test::U16("Data Source=" + dir.File("c.db")));
    Session session(settings);
    std::vector<CommandParameter> none;
    session.ExecuteText(u"CREATE TABLE t (a int)", none, adCmdText);
    const size_t afterCreate = session.cachedStatementCount();
    std::vector<CommandParameter> one(1);
    one[0].type = adInteger;
    for (int i = 0; i < 50; ++i) {
        one[0].value.get()->vt = VT_I4;
        one[0].value.get()->lVal = i;
        session.ExecuteText(u"SET NOCOUNT ON; INSERT INTO t (a) VALUES (?); SELECT SCOPE_IDENTITY();", one, adCmdText);
        // The same statement written with a Unicode literal prefix is the same translated text.
        session.ExecuteText(u"SELECT COUNT(*) FROM t WHERE 'x' = N'x'", none, adCmdText);
        session.ExecuteText(u"SELECT COUNT(*) FROM t WHERE 'x' = 'x'", none, adCmdText);
    }
    EXPECT_EQ(afterCreate + 2, session.cachedStatementCount());
    // A schema change under a cached statement is picked up.
    session.ExecuteText(u"ALTER TABLE t ADD COLUMN b int", none, adCmdText);
    ExecutionOutcome outcome = session.ExecuteText(u"SELECT * FROM t", none, adCmdText);
    ASSERT_TRUE(outcome.resultSet);
    EXPECT_EQ(2u, outcome.resultSet->columns().size());
    EXPECT_EQ(50u, outcome.resultSet->RowCount());
}

// More statements than the cache keeps: the first ones are prepared again
// when their texts come back, and each text still runs its own statement.
TEST(AdoStatementCache, StatementsPushedOutOfTheCacheArePreparedAgain) {
    wincompat_test::TempDir dir;
    ConnectionSettings settings = ParseConnectionString(wincompat_test::U16("Data Source=" + dir.File("c.db")));
    Session session(settings);
    std::vector<CommandParameter> none;
    auto valueOf = [&session, &none](int n) {
        const std::u16string text = wincompat_test::U16("SELECT " + std::to_string(n) + " AS N");
        ExecutionOutcome outcome = session.ExecuteText(text, none, adCmdText);
        EXPECT_TRUE(outcome.resultSet);
        if (!outcome.resultSet) return int64_t(-1);
        return outcome.resultSet->ValueAt(0, 0).integer;
    };
    for (int round = 0; round < 2; ++round) {
        for (int n = 0; n < 300; ++n) ASSERT_EQ(n, valueOf(n)) << "round " << round;
        EXPECT_EQ(256u, session.cachedStatementCount());
        for (int n : {0, 299, 1, 298}) EXPECT_EQ(n, valueOf(n)) << "round " << round;
    }
}

}  // namespace
