// Recordset, Fields and Field: values typed by the column's declared type as
// ADO gives them from SQL Server, navigation, and the errors past the end.
#include "AdoTestSupport.h"

using namespace wincompat_test;

namespace {

class AdoRecordset : public ::testing::Test {
protected:
    void SetUp() override {
        connection_ = OpenConnection(dir_.File("r.db"));
        Exec(
            u"CREATE TABLE T (ID INTEGER PRIMARY KEY, Small smallint, Flag bit, Seen datetime, Name nvarchar(20), "
            u"Agent uniqueidentifier, Address binary(16), Big bigint, Ratio float, Empty int)");
        Exec(
            u"INSERT INTO T VALUES (1, 7, 1, '2013-03-08 13:47:20.500', N'first', "
            u"'{6F9619FF-8B86-D011-B42D-00C04FC964FF}', X'0102', 5000000000, 0.5, NULL)");
        Exec(u"INSERT INTO T (ID, Flag, Name) VALUES (2, 0, 'second')");
    }
    void Exec(const char16_t* text) {
        Bstr bstr(text);
        ASSERT_EQ(S_OK, connection_->Execute(bstr.get(), nullptr, adExecuteNoRecords, nullptr));
    }
    Ref<_Recordset> Select(const char16_t* text) {
        Ref<_Recordset> recordset;
        Bstr bstr(text);
        EXPECT_EQ(S_OK, connection_->Execute(bstr.get(), nullptr, adCmdText, recordset.out()));
        return recordset;
    }
    TempDir dir_;
    Ref<_Connection> connection_;
};

TEST_F(AdoRecordset, ValuesAreTypedAsSqlServerColumnsComeThroughAdo) {
    Ref<_Recordset> rs = Select(u"SELECT * FROM T ORDER BY ID");
    Var v;
    Collect(rs.get(), u"ID", v);
    ASSERT_EQ(VT_I4, v.vt());
    EXPECT_EQ(1, v.get().lVal);
    Collect(rs.get(), u"Small", v);
    ASSERT_EQ(VT_I2, v.vt());
    EXPECT_EQ(7, v.get().iVal);
    Collect(rs.get(), u"Flag", v);
    ASSERT_EQ(VT_BOOL, v.vt());
    EXPECT_EQ(VARIANT_TRUE, v.get().boolVal);
    Collect(rs.get(), u"Seen", v);
    ASSERT_EQ(VT_DATE, v.vt());
    EXPECT_NEAR(41341.0 + (13 * 3600 + 47 * 60 + 20.5) / 86400.0, v.get().date, 1e-9);
    Collect(rs.get(), u"Name", v);
    EXPECT_EQ(u"first", v.text());
    Collect(rs.get(), u"Agent", v);
    EXPECT_EQ(u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}", v.text());
    Collect(rs.get(), u"Address", v);
    EXPECT_EQ((std::vector<uint8_t>{1, 2}), v.bytes());
    Collect(rs.get(), u"Big", v);
    ASSERT_EQ(VT_I8, v.vt());
    EXPECT_EQ(5000000000LL, v.get().llVal);
    Collect(rs.get(), u"Ratio", v);
    ASSERT_EQ(VT_R8, v.vt());
    EXPECT_EQ(0.5, v.get().dblVal);
    Collect(rs.get(), u"Empty", v);
    EXPECT_EQ(VT_NULL, v.vt());
    ASSERT_EQ(S_OK, rs->MoveNext());
    Collect(rs.get(), u"Flag", v);
    EXPECT_EQ(VARIANT_FALSE, v.get().boolVal);
    Collect(rs.get(), u"Seen", v);
    EXPECT_EQ(VT_NULL, v.vt());
}

// Each read hands out a value of its own: reading twice gives two equal,
// separate strings, any text survives the trip, and a value read stays the
// caller's after the recordset is closed and other commands ran.
TEST_F(AdoRecordset, EachReadHandsOutAValueOfItsOwn) {
    Exec(u"INSERT INTO T (ID, Name, Address) VALUES (3, N'caf\u00E9 \u20AC \U0001F600', X'')");
    Ref<_Recordset> rs = Select(u"SELECT Name, Address, ID * 2 AS Twice, Ratio FROM T WHERE ID = 3");
    Var first, second;
    Collect(rs.get(), u"Name", first);
    Collect(rs.get(), u"Name", second);
    ASSERT_EQ(VT_BSTR, first.vt());
    ASSERT_EQ(VT_BSTR, second.vt());
    EXPECT_NE(first.get().bstrVal, second.get().bstrVal);
    const std::u16string expected = u"caf\u00E9 \u20AC \U0001F600";
    EXPECT_EQ(expected, std::u16string(first.get().bstrVal, SysStringLen(first.get().bstrVal)));
    first.get().bstrVal[0] = u'C';  // the caller's own copy
    Collect(rs.get(), u"Name", second);
    EXPECT_EQ(expected, std::u16string(second.get().bstrVal, SysStringLen(second.get().bstrVal)));
    Var empty, twice, ratio;
    Collect(rs.get(), u"Address", empty);
    ASSERT_EQ(VT_ARRAY | VT_UI1, empty.vt());  // a zero-length blob stays a value
    EXPECT_EQ(0u, empty.get().parray->rgsabound[0].cElements);
    Collect(rs.get(), u"Twice", twice);
    ASSERT_EQ(VT_I4, twice.vt());
    EXPECT_EQ(6, twice.get().lVal);
    Collect(rs.get(), u"Ratio", ratio);
    EXPECT_EQ(VT_NULL, ratio.vt());
    ASSERT_EQ(S_OK, rs->Close());
    Exec(u"DELETE FROM T WHERE ID = 3");
    EXPECT_EQ(expected, std::u16string(second.get().bstrVal, SysStringLen(second.get().bstrVal)));
}

// Rows of every size read back as they were stored, in any order of
// reading, and text that is not well-formed UTF-8 reads with U+FFFD where
// the conversion of the platform puts it.
TEST_F(AdoRecordset, ManyRowsOfAnySizeReadBackInAnyOrder) {
    Exec(
        u"WITH RECURSIVE n(i) AS (SELECT 10 UNION ALL SELECT i + 1 FROM n WHERE i < 1009) "
        u"INSERT INTO T (ID, Name, Address) SELECT i, substr(hex(zeroblob(i)), 1, i % 97), "
        u"CASE WHEN i % 3 = 0 THEN NULL ELSE zeroblob(i % 50) END FROM n");
    Ref<_Recordset> rs = Select(u"SELECT ID, Name, Address FROM T WHERE ID >= 10 ORDER BY ID DESC");
    LONG count = 0;
    ASSERT_EQ(S_OK, rs->get_RecordCount(&count));
    ASSERT_EQ(1000, count);
    auto check = [&](int id) {
        Var v;
        Collect(rs.get(), u"ID", v);
        ASSERT_EQ(VT_I4, v.vt());
        ASSERT_EQ(id, v.get().lVal);
        Collect(rs.get(), u"Name", v);
        EXPECT_EQ(std::u16string(static_cast<size_t>(id % 97), u'0'), v.text()) << id;
        Collect(rs.get(), u"Address", v);
        if (id % 3 == 0) {
            EXPECT_EQ(VT_NULL, v.vt()) << id;
        } else {
            EXPECT_EQ(std::vector<uint8_t>(static_cast<size_t>(id % 50), 0), v.bytes()) << id;
        }
    };
    for (int id = 1009; id >= 10; --id) {
        check(id);
        ASSERT_EQ(S_OK, rs->MoveNext());
    }
    ASSERT_EQ(S_OK, rs->MoveLast());
    check(10);
    ASSERT_EQ(S_OK, rs->MoveFirst());
    check(1009);

    Ref<_Recordset> odd = Select(u"SELECT CAST(X'61FF62C3' AS TEXT) AS Broken, CAST(X'C3A9' AS nvarchar) AS Fine");
    Var broken, fine;
    Collect(odd.get(), u"Broken", broken);
    EXPECT_EQ(std::u16string(u"a\uFFFDb\uFFFD"), broken.text());
    Collect(odd.get(), u"Fine", fine);
    EXPECT_EQ(u"\u00e9", fine.text());
}

// A recordset keeps what it needs: it reads the same after its statement
// ran again with other values and after the connection's statement cache
// let the statement go.
TEST_F(AdoRecordset, ARecordsetOutlivesItsStatement) {
    Ref<_Recordset> first = Select(u"SELECT ID, Name, Seen FROM T WHERE ID = 1");
    Ref<_Recordset> second = Select(u"SELECT ID, Name, Seen FROM T WHERE ID = 1");
    for (int i = 0; i < 300; ++i) {
        std::u16string text = u"SELECT " + U16(std::to_string(i)) + u" AS N";
        Ref<_Recordset> other = Select(text.c_str());
    }
    for (_Recordset* rs : {first.get(), second.get()}) {
        Var name, seen;
        Collect(rs, u"Name", name);
        EXPECT_EQ(u"first", name.text());
        Collect(rs, u"Seen", seen);
        EXPECT_EQ(VT_DATE, seen.vt());
    }
}

// The same query text after the table changed, here or on another
// connection: the columns are those the table has now, typed as now declared.
TEST_F(AdoRecordset, ColumnsFollowTheTableWhenItChangesUnderTheSameQuery) {
    const char16_t* query = u"SELECT * FROM T WHERE ID = 1";
    Ref<Fields> fields;
    LONG count = 0;
    Ref<_Recordset> rs = Select(query);
    ASSERT_EQ(S_OK, rs->get_Fields(fields.out()));
    ASSERT_EQ(S_OK, fields->get_Count(&count));
    EXPECT_EQ(10, count);
    Var flag;
    Collect(rs.get(), u"Flag", flag);
    EXPECT_EQ(VT_BOOL, flag.vt());

    Exec(u"ALTER TABLE T ADD COLUMN Later nvarchar(10) DEFAULT 'later'");
    rs = Select(query);
    ASSERT_EQ(S_OK, rs->get_Fields(fields.out()));
    ASSERT_EQ(S_OK, fields->get_Count(&count));
    EXPECT_EQ(11, count);
    Var later;
    Collect(rs.get(), u"Later", later);
    EXPECT_EQ(u"later", later.text());

    // Renamed: as many columns as before, one of them called otherwise.
    Exec(u"ALTER TABLE T RENAME COLUMN Later TO Latest");
    rs = Select(query);
    Var latest;
    Collect(rs.get(), u"Latest", latest);
    EXPECT_EQ(u"later", latest.text());
    EXPECT_EQ(adErrItemNotFound, rs->get_Collect(Var::Text(u"Later").get(), later.out()));

    // Another connection makes the table again, Flag now an int.
    Ref<_Connection> other = OpenConnection(dir_.File("r.db"));
    for (const char16_t* text :
         {u"DROP TABLE T", u"CREATE TABLE T (ID INTEGER PRIMARY KEY, Flag int)", u"INSERT INTO T VALUES (1, 1)"}) {
        Bstr bstr(text);
        ASSERT_EQ(S_OK, other->Execute(bstr.get(), nullptr, adExecuteNoRecords, nullptr));
    }
    rs = Select(query);
    ASSERT_EQ(S_OK, rs->get_Fields(fields.out()));
    ASSERT_EQ(S_OK, fields->get_Count(&count));
    EXPECT_EQ(2, count);
    Collect(rs.get(), u"Flag", flag);
    ASSERT_EQ(VT_I4, flag.vt());
    EXPECT_EQ(1, flag.get().lVal);
}

TEST_F(AdoRecordset, FieldsAnswerByNameAndOrdinalAndFollowTheCurrentRow) {
    Ref<_Recordset> rs = Select(u"SELECT ID, Name FROM T ORDER BY ID");
    Ref<Fields> fields;
    ASSERT_EQ(S_OK, rs->get_Fields(fields.out()));
    LONG count = 0;
    ASSERT_EQ(S_OK, fields->get_Count(&count));
    EXPECT_EQ(2, count);
    Ref<Field> byOrdinal, byName;
    ASSERT_EQ(S_OK, fields->get_Item(Index(1), byOrdinal.out()));
    Var name = Var::Text(u"NAME");
    ASSERT_EQ(S_OK, fields->get_Item(name.get(), byName.out()));
    Bstr fieldName;
    ASSERT_EQ(S_OK, byOrdinal->get_Name(fieldName.out()));
    EXPECT_EQ(u"Name", fieldName.text());
    DataTypeEnum type = adEmpty;
    ASSERT_EQ(S_OK, byName->get_Type(&type));
    EXPECT_EQ(adVarWChar, type);
    Var value;
    ASSERT_EQ(S_OK, byName->get_Value(value.out()));
    EXPECT_EQ(u"first", value.text());
    ASSERT_EQ(S_OK, rs->MoveNext());
    ASSERT_EQ(S_OK, byOrdinal->get_Value(value.out()));
    EXPECT_EQ(u"second", value.text());
    Ref<Field> missing;
    Var unknown = Var::Text(u"Nope");
    EXPECT_EQ(adErrItemNotFound, fields->get_Item(unknown.get(), missing.out()));
    EXPECT_EQ(adErrItemNotFound, fields->get_Item(Index(2), missing.out()));
    EXPECT_EQ(adErrItemNotFound, rs->get_Collect(Index(-1), value.out()));
    EXPECT_EQ(u"Item cannot be found in the collection corresponding to the requested name or ordinal.",
              TakeErrorDescription());
}

TEST_F(AdoRecordset, ReadingPastTheEndAndAfterCloseFails) {
    Ref<_Recordset> rs = Select(u"SELECT Name FROM T WHERE ID = 2");
    VARIANT_BOOL eof = VARIANT_TRUE, bof = VARIANT_TRUE;
    ASSERT_EQ(S_OK, rs->get_EOF(&eof));
    EXPECT_FALSE(eof);
    ASSERT_EQ(S_OK, rs->get_BOF(&bof));
    EXPECT_FALSE(bof);
    ASSERT_EQ(S_OK, rs->MoveNext());
    ASSERT_EQ(S_OK, rs->get_EOF(&eof));
    EXPECT_TRUE(eof);
    Var value;
    EXPECT_EQ(adErrNoCurrentRecord, rs->get_Collect(Index(0), value.out()));
    EXPECT_NE(std::u16string::npos, TakeErrorDescription().find(u"Either BOF or EOF is True"));
    EXPECT_EQ(adErrNoCurrentRecord, rs->MoveNext());
    Var put = Var::Int(1);
    EXPECT_EQ(adErrFeatureNotAvailable, rs->put_Collect(Index(0), put.get()));
    ASSERT_EQ(S_OK, rs->MoveFirst());
    ASSERT_EQ(S_OK, rs->get_Collect(Index(0), value.out()));
    EXPECT_EQ(u"second", value.text());
    ASSERT_EQ(S_OK, rs->Close());
    LONG state = -1;
    ASSERT_EQ(S_OK, rs->get_State(&state));
    EXPECT_EQ(adStateClosed, state);
    EXPECT_EQ(adErrObjectClosed, rs->get_EOF(&eof));
    EXPECT_EQ(adErrObjectClosed, rs->Close());

    Ref<_Recordset> empty = Select(u"SELECT Name FROM T WHERE ID = 99");
    ASSERT_EQ(S_OK, empty->get_EOF(&eof));
    EXPECT_TRUE(eof);
    ASSERT_EQ(S_OK, empty->get_State(&state));
    EXPECT_EQ(adStateOpen, state);
}

// A query's rows are read from the database as the recordset asks for them,
// or before anything else runs on the connection: either way they are those
// of the moment the command ran.
TEST_F(AdoRecordset, RowsReadLaterAreThoseOfTheMomentTheCommandRan) {
    Exec(u"INSERT INTO T (ID, Name) VALUES (3, 'third')");
    Ref<_Recordset> onThisConnection = Select(u"SELECT Name FROM T ORDER BY ID");
    Ref<_Recordset> countedFirst = Select(u"SELECT Name FROM T ORDER BY ID");
    Var value;
    Collect(onThisConnection.get(), u"Name", value);
    EXPECT_EQ(u"first", value.text());
    Ref<_Connection> other = OpenConnection(dir_.File("r.db"));
    Ref<_Recordset> onTheOther;
    {
        Bstr query(u"SELECT Name FROM T ORDER BY ID");
        ASSERT_EQ(S_OK, other->Execute(query.get(), nullptr, adCmdText, onTheOther.out()));
        Bstr change(u"UPDATE T SET Name = 'changed' WHERE ID = 3");
        ASSERT_EQ(S_OK, connection_->Execute(change.get(), nullptr, adExecuteNoRecords, nullptr));
    }
    Exec(u"DELETE FROM T WHERE ID = 2");
    const std::vector<std::u16string> before = {u"first", u"second", u"third"};
    ADO_LONGPTR count = 0;
    ASSERT_EQ(S_OK, countedFirst->get_RecordCount(&count));
    EXPECT_EQ(3, count);
    EXPECT_EQ(before, ColumnTexts(countedFirst.get(), u"Name"));
    EXPECT_EQ(before, ColumnTexts(onThisConnection.get(), u"Name"));
    // The other connection's query was never read on: it still sees its moment.
    EXPECT_EQ(before, ColumnTexts(onTheOther.get(), u"Name"));
    Ref<_Recordset> now;
    Bstr query(u"SELECT Name FROM T ORDER BY ID");
    ASSERT_EQ(S_OK, other->Execute(query.get(), nullptr, adCmdText, now.out()));
    EXPECT_EQ((std::vector<std::u16string>{u"first", u"changed"}), ColumnTexts(now.get(), u"Name"));
}

// A row that fails to read after the first is the recordset's failure, where
// it is read: the commands run meanwhile on the connection are not failed by
// it, and the rows before it stay readable.
TEST_F(AdoRecordset, AFailureFurtherOnIsTheRecordsetsNotTheNextCommands) {
    Exec(u"INSERT INTO T (ID, Big) VALUES (3, -9223372036854775807 - 1)");
    Ref<_Recordset> rs = Select(u"SELECT ID, abs(Big) AS Size FROM T ORDER BY ID");
    Var value;
    Collect(rs.get(), u"Size", value);
    EXPECT_EQ(5000000000LL, value.get().llVal);
    Exec(u"UPDATE T SET Name = 'renamed' WHERE ID = 1");
    ASSERT_EQ(S_OK, rs->MoveNext());
    Collect(rs.get(), u"ID", value);
    EXPECT_EQ(2, value.get().lVal);
    ASSERT_EQ(S_OK, rs->MoveNext());
    VARIANT_BOOL eof = VARIANT_FALSE;
    EXPECT_TRUE(FAILED(rs->get_EOF(&eof)));
    EXPECT_NE(std::u16string::npos, TakeErrorDescription().find(u"integer overflow"));
    ADO_LONGPTR count = 0;
    EXPECT_TRUE(FAILED(rs->get_RecordCount(&count)));
    ASSERT_EQ(S_OK, rs->MoveFirst());
    Collect(rs.get(), u"ID", value);
    EXPECT_EQ(1, value.get().lVal);
    Var name;
    QueryValue(connection_.get(), u"SELECT Name FROM T WHERE ID = 1", name);
    EXPECT_EQ(u"renamed", name.text());
}

// A recordset let go before its rows were read ends its read of the
// database at once: a checkpoint on another connection can then take in
// everything written since.
TEST_F(AdoRecordset, ARecordsetLetGoUnreadEndsItsRead) {
    Ref<_Recordset> rs = Select(u"SELECT Name FROM T ORDER BY ID");
    Ref<_Connection> other = OpenConnection(dir_.File("r.db"));
    Bstr write(u"INSERT INTO T (ID, Name) VALUES (3, 'third')");
    ASSERT_EQ(S_OK, other->Execute(write.get(), nullptr, adExecuteNoRecords, nullptr));
    // A passive checkpoint copies what no reader still needs from the log.
    auto checkpointLeavesFrames = [&] {
        Ref<_Recordset> result;
        Bstr checkpoint(u"PRAGMA wal_checkpoint(PASSIVE)");
        EXPECT_EQ(S_OK, other->Execute(checkpoint.get(), nullptr, adCmdText, result.out()));
        Var logged, copied, asLong;
        EXPECT_EQ(S_OK, result->get_Collect(Index(1), logged.out()));
        EXPECT_EQ(S_OK, result->get_Collect(Index(2), copied.out()));
        EXPECT_EQ(S_OK, VariantChangeType(asLong.out(), &logged.get(), 0, VT_I8));
        const LONGLONG inLog = asLong.get().llVal;
        EXPECT_EQ(S_OK, VariantChangeType(asLong.out(), &copied.get(), 0, VT_I8));
        EXPECT_GT(inLog, 0);
        return asLong.get().llVal < inLog;
    };
    EXPECT_TRUE(checkpointLeavesFrames());
    rs.reset();
    EXPECT_FALSE(checkpointLeavesFrames());
}

TEST_F(AdoRecordset, OpenRunsAQueryOnAConnection) {
    Ref<_Recordset> rs;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Recordset, nullptr, CLSCTX_INPROC_SERVER, IID__Recordset,
                                     reinterpret_cast<void**>(rs.out())));
    Var source = Var::Text(u"SELECT Name FROM T ORDER BY ID");
    Var connection;
    connection.get().vt = VT_DISPATCH;
    connection.get().pdispVal = connection_.get();
    connection_->AddRef();
    ASSERT_EQ(S_OK, rs->Open(source.get(), connection.get(), adOpenForwardOnly, adLockReadOnly, adCmdText));
    EXPECT_EQ((std::vector<std::u16string>{u"first", u"second"}), ColumnTexts(rs.get(), u"Name"));
    EXPECT_EQ(adErrObjectOpen, rs->Open(source.get(), connection.get(), adOpenForwardOnly, adLockReadOnly, adCmdText));
    // Rows stay readable after the connection closes: they are read then.
    ASSERT_EQ(S_OK, rs->MoveFirst());
    ASSERT_EQ(S_OK, connection_->Close());
    Var value;
    ASSERT_EQ(S_OK, rs->get_Collect(Index(0), value.out()));
    EXPECT_EQ(u"first", value.text());
}

}  // namespace
