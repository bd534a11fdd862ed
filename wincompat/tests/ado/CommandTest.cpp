// Command: parameter binding by position with ADO's value rules, the T-SQL
// that the plug-ins send, records affected, and refusals with their error
// information.
#include <cmath>

#include "AdoTestSupport.h"

using namespace wincompat_test;

namespace {

class AdoCommand : public ::testing::Test {
protected:
    void SetUp() override {
        connection_ = OpenConnection(dir_.File("t.db"));
        Exec(
            u"CREATE TABLE [Items] (ItemID INTEGER PRIMARY KEY AUTOINCREMENT, Name nvarchar(50), Count int, "
            u"Flag bit, Seen datetime, Agent uniqueidentifier, Data varbinary(16))");
    }
    void Exec(const char16_t* text) {
        Bstr bstr(text);
        ASSERT_EQ(S_OK, connection_->Execute(bstr.get(), nullptr, adCmdText | adExecuteNoRecords, nullptr))
            << TakeErrorDescription().size();
    }
    // Runs "SELECT <expression>" with one bound value and returns the result.
    void Echo(const char16_t* expression, DataTypeEnum type, Var& value, Var& result) {
        std::u16string text = std::u16string(u"SELECT ") + expression;
        Ref<_Command> command = NewCommand(connection_.get(), text.c_str());
        ASSERT_EQ(S_OK, AddParameter(command.get(), type, value));
        Ref<_Recordset> recordset;
        ASSERT_EQ(S_OK, Execute(command.get(), recordset)) << TakeErrorDescription().size();
        VARIANT first = Index(0);
        ASSERT_EQ(S_OK, recordset->get_Collect(first, result.out()));
    }
    TempDir dir_;
    Ref<_Connection> connection_;
};

TEST_F(AdoCommand, NullAndEmptyBindSqlNull) {
    Var null = Var::Null();
    Var type;
    Echo(u"typeof(?)", adBSTR, null, type);
    EXPECT_EQ(u"null", type.text());
    Var empty;
    Echo(u"typeof(?)", adInteger, empty, type);
    EXPECT_EQ(u"null", type.text());
    Var emptyDate;
    Echo(u"typeof(?)", adDate, emptyDate, type);
    EXPECT_EQ(u"null", type.text());
}

TEST_F(AdoCommand, IntegersAndBooleansBindAsIntegersWithTrueAsOne) {
    Var result;
    Var i = Var::Int(-42);
    Echo(u"typeof(?)", adInteger, i, result);
    EXPECT_EQ(u"integer", result.text());
    Echo(u"?", adInteger, i, result);
    ASSERT_EQ(VT_I4, result.vt());
    EXPECT_EQ(-42, result.get().lVal);
    Var yes = Var::Bool(true);
    Echo(u"?", adBoolean, yes, result);
    ASSERT_EQ(VT_I4, result.vt());  // an expression: the stored integer as it is
    EXPECT_EQ(1, result.get().lVal);
    Var fromInt = Var::Int(7);
    Echo(u"?", adBoolean, fromInt, result);
    EXPECT_EQ(1, result.get().lVal);
    Var text = Var::Text(u"12");
    Echo(u"? + 1", adInteger, text, result);
    EXPECT_EQ(13, result.get().lVal);
}

TEST_F(AdoCommand, DatesBindAsSortableIsoTextWithMilliseconds) {
    Var result;
    Var date = Var::Date(41341.5 + 1.0 / 86400 * 20 + 0.123 / 86400);  // 2013-03-08 12:00:20.123
    Echo(u"?", adDate, date, result);
    EXPECT_EQ(u"2013-03-08 12:00:20.123", result.text());
    Var early = Var::Date(-1.25);  // before the automation epoch: 1899-12-29 06:00
    Echo(u"?", adDBTimeStamp, early, result);
    EXPECT_EQ(u"1899-12-29 06:00:00.000", result.text());
    Var text = Var::Text(u"2013-03-08T13:47:20");
    Echo(u"?", adDate, text, result);
    EXPECT_EQ(u"2013-03-08 13:47:20.000", result.text());
    Var bad = Var::Text(u"2013-02-30");
    Ref<_Command> command = NewCommand(connection_.get(), u"SELECT ?");
    ASSERT_EQ(S_OK, AddParameter(command.get(), adDate, bad));
    Ref<_Recordset> recordset;
    EXPECT_EQ(DB_E_CANTCONVERTVALUE, Execute(command.get(), recordset));
    EXPECT_EQ(u"Conversion failed when converting date and/or time from character string.", TakeErrorDescription());
}

TEST_F(AdoCommand, GuidsAreCanonicalisedAndNonGuidsRefusedAsTheServerDoes) {
    Var result;
    Var lower = Var::Text(u"6f9619ff-8b86-d011-b42d-00c04fc964ff");
    Echo(u"?", adGUID, lower, result);
    EXPECT_EQ(u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}", result.text());
    Var braced = Var::Text(u"{6f9619ff-8b86-d011-b42d-00c04fc964ff}");
    Echo(u"?", adGUID, braced, result);
    EXPECT_EQ(u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}", result.text());

    for (const char16_t* bad : {u"not a guid", u"{6f9619ff-8b86-d011-b42d-00c04fc964f}",
                                u"6f9619ff8b86d011b42d00c04fc964ff", u"{6f9619ff-8b86-d011-b42d-00c04fc964ffX"}) {
        Var value = Var::Text(bad);
        Ref<_Command> command = NewCommand(connection_.get(), u"INSERT INTO Items (Agent) VALUES (?)");
        ASSERT_EQ(S_OK, AddParameter(command.get(), adGUID, value));
        Ref<_Recordset> recordset;
        EXPECT_EQ(DB_E_CANTCONVERTVALUE, Execute(command.get(), recordset, adExecuteNoRecords));
        EXPECT_EQ(u"Conversion failed when converting from a character string to uniqueidentifier.",
                  TakeErrorDescription());
    }
    EXPECT_EQ(0, QueryLong(connection_.get(), u"SELECT COUNT(*) FROM Items"));
}

TEST_F(AdoCommand, TextAndByteArraysBindAsTextAndBlobs) {
    Var result;
    Var text = Var::Text(u"Gr\u00fc\u00dfe \U0001F600");
    Echo(u"?", adBSTR, text, result);
    EXPECT_EQ(u"Gr\u00fc\u00dfe \U0001F600", result.text());
    Echo(u"length(?)", adBSTR, text, result);
    EXPECT_EQ(7, result.get().lVal);
    Var bytes = Var::Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 10, 1, 2, 0});
    Echo(u"hex(?)", adBinary, bytes, result);
    EXPECT_EQ(u"00000000000000000000FFFF0A010200", result.text());
    Var textForBinary = Var::Text(u"abc");
    Ref<_Command> command = NewCommand(connection_.get(), u"SELECT ?");
    ASSERT_EQ(S_OK, AddParameter(command.get(), adVarBinary, textForBinary));
    Ref<_Recordset> recordset;
    EXPECT_EQ(DB_E_CANTCONVERTVALUE, Execute(command.get(), recordset));
}

// A value fails its conversion only where it is sent: not as an output of a
// text command, not when Execute's own values replace it, and again after
// the parameter took a value that converts.
TEST_F(AdoCommand, ValuesThatDoNotConvertFailOnlyWhenSent) {
    Var word = Var::Text(u"seven");
    Ref<_Command> output = NewCommand(connection_.get(), u"SELECT 1");
    ASSERT_EQ(S_OK, AddParameter(output.get(), adInteger, word, adParamOutput));
    Ref<_Recordset> recordset;
    EXPECT_EQ(S_OK, Execute(output.get(), recordset));

    Ref<_Command> command = NewCommand(connection_.get(), u"SELECT ? + 1");
    ASSERT_EQ(S_OK, AddParameter(command.get(), adInteger, word));
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    LONG at = 0;
    Var six = Var::I4(6);
    ASSERT_EQ(S_OK, SafeArrayPutElement(array, &at, &six.get()));
    Var values;
    values.get().vt = VT_ARRAY | VT_VARIANT;
    values.get().parray = array;
    ASSERT_EQ(S_OK, command->Execute(nullptr, &values.get(), adOptionUnspecified, recordset.out()));
    Var sum;
    ASSERT_EQ(S_OK, recordset->get_Collect(Index(0), sum.out()));
    EXPECT_EQ(7, sum.get().lVal);

    EXPECT_EQ(DB_E_CANTCONVERTVALUE, Execute(command.get(), recordset));
    EXPECT_EQ(u"Conversion failed when converting the nvarchar value 'seven' to data type int.",
              TakeErrorDescription());
    Ref<Parameters> parameters;
    ASSERT_EQ(S_OK, command->get_Parameters(parameters.out()));
    Ref<_Parameter> parameter;
    ASSERT_EQ(S_OK, parameters->get_Item(Index(0), parameter.out()));
    Var number = Var::Text(u" 41 ");
    ASSERT_EQ(S_OK, parameter->put_Value(number.get()));
    ASSERT_EQ(S_OK, Execute(command.get(), recordset));
    ASSERT_EQ(S_OK, recordset->get_Collect(Index(0), sum.out()));
    EXPECT_EQ(42, sum.get().lVal);
}

TEST_F(AdoCommand, ValuesThatDoNotFitTheirTypeAreRefused) {
    Var word = Var::Text(u"seven");
    Ref<_Command> command = NewCommand(connection_.get(), u"SELECT ?");
    ASSERT_EQ(S_OK, AddParameter(command.get(), adInteger, word));
    Ref<_Recordset> recordset;
    EXPECT_EQ(DB_E_CANTCONVERTVALUE, Execute(command.get(), recordset));
    EXPECT_EQ(u"Conversion failed when converting the nvarchar value 'seven' to data type int.",
              TakeErrorDescription());
    Var big = Var::Int(70000);
    Ref<_Command> small = NewCommand(connection_.get(), u"SELECT ?");
    ASSERT_EQ(S_OK, AddParameter(small.get(), adSmallInt, big));
    EXPECT_EQ(DB_E_DATAOVERFLOW, Execute(small.get(), recordset));
}

TEST_F(AdoCommand, ParametersAreFoundByIndexAndByNameAndAppendedOnce) {
    Ref<_Command> command = NewCommand(connection_.get(), u"SELECT ?, ?");
    Var a = Var::Int(1), b = Var::Int(2);
    ASSERT_EQ(S_OK, AddParameter(command.get(), adInteger, a, adParamInput, u"@First"));
    ASSERT_EQ(S_OK, AddParameter(command.get(), adInteger, b, adParamOutput, u"@Second"));
    Ref<Parameters> parameters;
    ASSERT_EQ(S_OK, command->get_Parameters(parameters.out()));
    LONG count = 0;
    ASSERT_EQ(S_OK, parameters->get_Count(&count));
    EXPECT_EQ(2, count);
    Ref<_Parameter> byIndex, byName;
    ASSERT_EQ(S_OK, parameters->get_Item(Index(1), byIndex.out()));
    Var name = Var::Text(u"@second");
    ASSERT_EQ(S_OK, parameters->get_Item(name.get(), byName.out()));
    EXPECT_EQ(byIndex.get(), byName.get());
    ParameterDirectionEnum direction = adParamUnknown;
    ASSERT_EQ(S_OK, byName->get_Direction(&direction));
    EXPECT_EQ(adParamOutput, direction);

    Ref<_Parameter> missing;
    EXPECT_EQ(adErrItemNotFound, parameters->get_Item(Index(2), missing.out()));
    Var unknown = Var::Text(u"@Third");
    EXPECT_EQ(adErrItemNotFound, parameters->get_Item(unknown.get(), missing.out()));
    EXPECT_EQ(adErrObjectInCollection, parameters->Append(byIndex.get()));
    EXPECT_EQ(adErrInvalidArgument, parameters->Append(nullptr));
    // A parameter made on its own, by CLSID, appends like one from CreateParameter.
    Ref<_Parameter> standalone;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Parameter, nullptr, CLSCTX_INPROC_SERVER, IID__Parameter,
                                     reinterpret_cast<void**>(standalone.out())));
    EXPECT_EQ(S_OK, parameters->Append(standalone.get()));
    EXPECT_EQ(S_OK, parameters->Delete(Index(2)));
    ASSERT_EQ(S_OK, parameters->get_Count(&count));
    EXPECT_EQ(2, count);
}

TEST_F(AdoCommand, NullConnectionFailsWithAdosErrorAndText) {
    Ref<_Command> command;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Command, nullptr, CLSCTX_INPROC_SERVER, IID__Command,
                                     reinterpret_cast<void**>(command.out())));
    ASSERT_EQ(S_OK, command->putref_ActiveConnection(nullptr));
    Bstr text(u"SELECT 1");
    ASSERT_EQ(S_OK, command->put_CommandText(text.get()));
    Ref<_Recordset> recordset;
    EXPECT_EQ(static_cast<HRESULT>(0x800A0E7D), Execute(command.get(), recordset));
    EXPECT_EQ(
        u"The connection cannot be used to perform this operation. It is either closed or invalid in this "
        u"context.",
        TakeErrorDescription());
    EXPECT_FALSE(recordset);
    // A closed connection is no better.
    Ref<_Connection> closed = OpenConnection(dir_.File("other.db"));
    ASSERT_EQ(S_OK, closed->Close());
    ASSERT_EQ(S_OK, command->putref_ActiveConnection(closed.get()));
    EXPECT_EQ(static_cast<HRESULT>(0x800A0E7D), Execute(command.get(), recordset));
}

TEST_F(AdoCommand, ACommandRunsOnTheConnectionItHasWhenItRuns) {
    Ref<_Connection> other = OpenConnection(dir_.File("other.db"));
    {
        Bstr create(u"CREATE TABLE [Elsewhere] (Name nvarchar(10))");
        ASSERT_EQ(S_OK, other->Execute(create.get(), nullptr, adCmdText | adExecuteNoRecords, nullptr));
    }
    Ref<_Command> command = NewCommand(connection_.get(), u"SELECT COUNT(*) FROM [Elsewhere]");
    Ref<_Recordset> recordset;
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, Execute(command.get(), recordset)) << "the first connection has no such table";
    TakeErrorDescription();
    ASSERT_EQ(S_OK, command->putref_ActiveConnection(other.get()));
    EXPECT_EQ(S_OK, Execute(command.get(), recordset)) << TakeErrorDescription().size();
    // Closed after it was given to the command: the command sees it closed.
    ASSERT_EQ(S_OK, other->Close());
    EXPECT_EQ(static_cast<HRESULT>(0x800A0E7D), Execute(command.get(), recordset));
    TakeErrorDescription();
    ASSERT_EQ(S_OK, command->putref_ActiveConnection(connection_.get()));
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, Execute(command.get(), recordset));
    TakeErrorDescription();
}

TEST_F(AdoCommand, TheParametersCollectionOutlivesTheCallersCommandReference) {
    Ref<_Command> command = NewCommand(connection_.get(), u"SELECT ?");
    Var one = Var::Int(1);
    ASSERT_EQ(S_OK, AddParameter(command.get(), adInteger, one));
    Ref<Parameters> parameters;
    ASSERT_EQ(S_OK, command->get_Parameters(parameters.out()));
    command.reset();
    LONG count = 0;
    ASSERT_EQ(S_OK, parameters->get_Count(&count));
    EXPECT_EQ(1, count);
    Ref<_Parameter> item;
    ASSERT_EQ(S_OK, parameters->get_Item(Index(0), item.out()));
    EXPECT_EQ(S_OK, parameters->Delete(Index(0)));
    // The collection's own identity is its own, not its command's.
    Ref<IUnknown> unknown = parameters.As<IUnknown>(IID_IUnknown);
    Ref<_Command> asCommand = parameters.As<_Command>(IID__Command);
    EXPECT_TRUE(unknown);
    EXPECT_FALSE(asCommand);
}

TEST_F(AdoCommand, InsertBatchReturnsScopeIdentityAsANumericThatConvertsToAnInteger) {
    Ref<_Command> insert =
        NewCommand(connection_.get(),
                   u"SET NOCOUNT ON;\nINSERT INTO [Items] ([Name],[Count])\nVALUES (?,?);\nSELECT SCOPE_IDENTITY();\n");
    Var name = Var::Text(u"first"), count = Var::Int(3);
    ASSERT_EQ(S_OK, AddParameter(insert.get(), adBSTR, name));
    ASSERT_EQ(S_OK, AddParameter(insert.get(), adInteger, count));
    for (int expected = 1; expected <= 2; ++expected) {
        Ref<_Recordset> recordset;
        ASSERT_EQ(S_OK, Execute(insert.get(), recordset)) << TakeErrorDescription().size();
        VARIANT_BOOL eof = VARIANT_TRUE;
        ASSERT_EQ(S_OK, recordset->get_EOF(&eof));
        ASSERT_FALSE(eof);
        Var identity;
        ASSERT_EQ(S_OK, recordset->get_Collect(Index(0), identity.out()));
        ASSERT_EQ(VT_DECIMAL, identity.vt());
        Var asInt;
        ASSERT_EQ(S_OK, VariantChangeType(asInt.out(), &identity.get(), 0, VT_INT));
        EXPECT_EQ(expected, asInt.get().intVal);
        LONG state = 0;
        ASSERT_EQ(S_OK, recordset->get_State(&state));
        EXPECT_EQ(adStateOpen, state);
        ASSERT_EQ(S_OK, recordset->Close());
    }
    // A batch that inserts nothing answers NULL.
    Ref<_Command> none = NewCommand(connection_.get(), u"SET NOCOUNT ON;\nSELECT SCOPE_IDENTITY();");
    Ref<_Recordset> recordset;
    ASSERT_EQ(S_OK, Execute(none.get(), recordset));
    Var identity;
    ASSERT_EQ(S_OK, recordset->get_Collect(Index(0), identity.out()));
    EXPECT_EQ(VT_NULL, identity.vt());
}

TEST_F(AdoCommand, BatchParametersGoToTheirStatementsInMarkerOrderAndTheFirstResultSetComesBack) {
    Ref<_Command> batch = NewCommand(connection_.get(),
                                     u"INSERT INTO Items (Name, Count) VALUES (?, ?); "
                                     u"SELECT Name FROM Items WHERE Count = ? /* a ? in a comment */; "
                                     u"SELECT 'not this one' WHERE '?' = ?");
    Var name = Var::Text(u"batch"), count = Var::Int(9), key = Var::Int(9), last = Var::Text(u"x");
    ASSERT_EQ(S_OK, AddParameter(batch.get(), adBSTR, name));
    ASSERT_EQ(S_OK, AddParameter(batch.get(), adInteger, count));
    ASSERT_EQ(S_OK, AddParameter(batch.get(), adInteger, key));
    ASSERT_EQ(S_OK, AddParameter(batch.get(), adBSTR, last));
    Ref<_Recordset> recordset;
    ASSERT_EQ(S_OK, Execute(batch.get(), recordset)) << TakeErrorDescription().size();
    EXPECT_EQ(std::vector<std::u16string>{u"batch"}, ColumnTexts(recordset.get(), u"name"));

    // Too few values for the markers: nothing runs.
    Ref<_Command> short_ = NewCommand(connection_.get(), u"INSERT INTO Items (Name) VALUES (?); SELECT ?");
    ASSERT_EQ(S_OK, AddParameter(short_.get(), adBSTR, name));
    EXPECT_EQ(DB_E_PARAMNOTOPTIONAL, Execute(short_.get(), recordset));
    EXPECT_EQ(1, QueryLong(connection_.get(), u"SELECT COUNT(*) FROM Items"));
}

TEST_F(AdoCommand, RecordsAffectedCountsTheUpdatedRowsAndNoRecordsReturnsNoRecordset) {
    Exec(u"INSERT INTO Items (Name, Count) VALUES ('a', 1), ('b', 1), ('c', 2)");
    Ref<_Command> update = NewCommand(connection_.get(), u"UPDATE [Items] SET [Name] = ? WHERE (([Count] = ?));");
    Var name = Var::Text(u"z"), count = Var::Int(1);
    ASSERT_EQ(S_OK, AddParameter(update.get(), adBSTR, name));
    ASSERT_EQ(S_OK, AddParameter(update.get(), adInteger, count));
    Var affected;
    Ref<_Recordset> recordset;
    ASSERT_EQ(S_OK, Execute(update.get(), recordset, adExecuteNoRecords, affected.out()));
    EXPECT_FALSE(recordset);
    ASSERT_EQ(VT_I4, affected.vt());
    EXPECT_EQ(2, affected.get().lVal);
    // No row matches: zero, which sends the plug-ins to their INSERT.
    Ref<_Command> noMatch = NewCommand(connection_.get(), u"UPDATE [Items] SET [Name] = 'q' WHERE [Count] = 99");
    ASSERT_EQ(S_OK, Execute(noMatch.get(), recordset, adExecuteNoRecords, affected.out()));
    EXPECT_EQ(0, affected.get().lVal);
    // Without adExecuteNoRecords an UPDATE hands back a closed recordset.
    ASSERT_EQ(S_OK, Execute(noMatch.get(), recordset, adOptionUnspecified, affected.out()));
    ASSERT_TRUE(recordset);
    LONG state = -1;
    ASSERT_EQ(S_OK, recordset->get_State(&state));
    EXPECT_EQ(adStateClosed, state);
    VARIANT_BOOL eof;
    EXPECT_EQ(adErrObjectClosed, recordset->get_EOF(&eof));
}

TEST_F(AdoCommand, UnicodeLiteralsBracketsAndCaseInsensitiveNamesWork) {
    Exec(u"INSERT INTO [Items] ([Name]) VALUES (N'it''s N''here''')");
    Var value;
    QueryValue(connection_.get(), u"select [NAME] from ITEMS where [name] = N'it''s N''here'''", value);
    EXPECT_EQ(u"it's N'here'", value.text());
}

TEST_F(AdoCommand, RefusedStatementsFailWithTheDatabasesMessage) {
    struct Case {
        const char16_t* text;
        HRESULT hr;
        const char16_t* message;
    };
    const Case cases[] = {
        {u"SELEC 1", DB_E_ERRORSINCOMMAND, u"syntax error"},
        {u"SELECT * FROM [NoSuchTable]", DB_E_ERRORSINCOMMAND, u"no such table: NoSuchTable"},
        {u"SELECT @Name", DB_E_ERRORSINCOMMAND, u"Must declare the scalar variable \"@Name\"."},
        {u"INSERT INTO Items (ItemID) VALUES (1); INSERT INTO Items (ItemID) VALUES (1)", DB_E_INTEGRITYVIOLATION,
         u"UNIQUE constraint failed: Items.ItemID"},
        {u"", DB_E_NOCOMMAND, u"Command text was not set for the command object."},
    };
    for (const Case& c : cases) {
        Ref<_Command> command = NewCommand(connection_.get(), c.text);
        Ref<_Recordset> recordset;
        EXPECT_EQ(c.hr, Execute(command.get(), recordset))
            << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
        std::u16string description = TakeErrorDescription();
        EXPECT_NE(std::u16string::npos, description.find(c.message));
        IErrorInfo* none = nullptr;
        EXPECT_EQ(S_FALSE, GetErrorInfo(0, &none));  // taken: the next failure sets its own
    }
    // The statement before the failing one stays done, as without a transaction.
    EXPECT_EQ(1, QueryLong(connection_.get(), u"SELECT COUNT(*) FROM Items"));
}

TEST_F(AdoCommand, ExecuteParameterArrayReplacesValues) {
    Ref<_Command> command = NewCommand(connection_.get(), u"SELECT ? + ?");
    Var one = Var::Int(1), two = Var::Int(2);
    ASSERT_EQ(S_OK, AddParameter(command.get(), adInteger, one));
    ASSERT_EQ(S_OK, AddParameter(command.get(), adInteger, two));
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    LONG at = 0;
    Var forty = Var::I4(40);
    ASSERT_EQ(S_OK, SafeArrayPutElement(array, &at, &forty.get()));
    Var values;
    values.get().vt = VT_ARRAY | VT_VARIANT;
    values.get().parray = array;
    Ref<_Recordset> recordset;
    ASSERT_EQ(S_OK, command->Execute(nullptr, &values.get(), adOptionUnspecified, recordset.out()));
    Var sum;
    ASSERT_EQ(S_OK, recordset->get_Collect(Index(0), sum.out()));
    EXPECT_EQ(42, sum.get().lVal);
}

}  // namespace

namespace {

TEST_F(AdoCommand, BadArgumentsGetClearErrorsNotCrashes) {
    Ref<_Command> command = NewCommand(connection_.get(), u"SELECT ?");
    EXPECT_EQ(adErrInvalidArgument, command->put_CommandType(static_cast<CommandTypeEnum>(99)));
    Ref<_Parameter> parameter;
    Var value = Var::Int(1);
    EXPECT_EQ(adErrInvalidArgument, command->CreateParameter(nullptr, adInteger, static_cast<ParameterDirectionEnum>(9),
                                                             0, value.get(), parameter.out()));
    EXPECT_EQ(adErrInvalidArgument,
              command->CreateParameter(nullptr, adInteger, adParamInput, -1, value.get(), parameter.out()));
    EXPECT_EQ(E_POINTER, command->get_Parameters(nullptr));
    EXPECT_EQ(E_POINTER, command->CreateParameter(nullptr, adInteger, adParamInput, 0, value.get(), nullptr));
    ASSERT_EQ(S_OK, AddParameter(command.get(), adInteger, value));
    Var notAnArray = Var::Int(5);
    Ref<_Recordset> recordset;
    EXPECT_EQ(adErrInvalidArgument, command->Execute(nullptr, &notAnArray.get(), adOptionUnspecified, recordset.out()));
    Ref<Parameters> parameters;
    ASSERT_EQ(S_OK, command->get_Parameters(parameters.out()));
    Var oddIndex;
    oddIndex.get().vt = VT_DISPATCH;
    oddIndex.get().pdispVal = nullptr;
    EXPECT_EQ(adErrItemNotFound, parameters->get_Item(oddIndex.get(), parameter.out()));
    // Execute without a place for the recordset still runs the command.
    EXPECT_EQ(S_OK, command->Execute(nullptr, nullptr, adOptionUnspecified, nullptr));
}

TEST_F(AdoCommand, AFailingProcedureBodyLeavesNothingBehind) {
    Exec(
        u"CREATE TABLE StoredProcedures (Name TEXT PRIMARY KEY COLLATE NOCASE, Parameters TEXT NOT NULL, "
        u"Body TEXT NOT NULL)");
    Exec(
        u"INSERT INTO StoredProcedures VALUES ('AddTwice', '@Name nvarchar(50), @Id int OUTPUT', "
        u"'INSERT INTO Items (Name) VALUES (@Name); SELECT last_insert_rowid() AS Id; "
        u"INSERT INTO Items (ItemID) VALUES (last_insert_rowid())')");
    Ref<_Command> call = NewCommand(connection_.get(), u"addtwice", adCmdStoredProc);
    Var name = Var::Text(u"x"), id = Var::Null();
    ASSERT_EQ(S_OK, AddParameter(call.get(), adBSTR, name, adParamInput, u"@Name"));
    ASSERT_EQ(S_OK, AddParameter(call.get(), adInteger, id, adParamOutput, u"@Id"));
    Ref<_Recordset> recordset;
    EXPECT_EQ(DB_E_INTEGRITYVIOLATION, Execute(call.get(), recordset, adExecuteNoRecords));
    EXPECT_NE(std::u16string::npos, TakeErrorDescription().find(u"UNIQUE constraint failed"));
    EXPECT_EQ(0, QueryLong(connection_.get(), u"SELECT COUNT(*) FROM Items"));  // rolled back as a whole

    // The same body without the failing statement returns the new id.
    Exec(
        u"UPDATE StoredProcedures SET Body = 'INSERT INTO Items (Name) VALUES (@Name); "
        u"SELECT last_insert_rowid() AS Id, @Name AS Name'");
    ASSERT_EQ(S_OK, Execute(call.get(), recordset));
    Ref<Parameters> parameters;
    ASSERT_EQ(S_OK, call->get_Parameters(parameters.out()));
    Ref<_Parameter> output;
    ASSERT_EQ(S_OK, parameters->get_Item(Index(1), output.out()));
    Var value;
    ASSERT_EQ(S_OK, output->get_Value(value.out()));
    ASSERT_EQ(VT_I4, value.vt());
    EXPECT_EQ(1, value.get().lVal);
    // The body's result set comes back as the recordset.
    Var echoed;
    Collect(recordset.get(), u"Name", echoed);
    EXPECT_EQ(u"x", echoed.text());
    // A body that names a parameter the procedure does not declare is refused.
    Exec(u"UPDATE StoredProcedures SET Body = 'SELECT @Other'");
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, Execute(call.get(), recordset));
    EXPECT_EQ(u"Must declare the scalar variable \"@Other\".", TakeErrorDescription());
}

// A call runs the procedure as its row reads at the time of the call, what
// ever changed it in between: this connection or another, its body, its
// parameter list, the row gone and back.
TEST_F(AdoCommand, EachCallRunsTheProcedureAsItIsDefinedAtThatMoment) {
    Exec(
        u"CREATE TABLE StoredProcedures (Name TEXT PRIMARY KEY COLLATE NOCASE, Parameters TEXT NOT NULL, "
        u"Body TEXT NOT NULL)");
    Exec(
        u"INSERT INTO StoredProcedures VALUES ('Put', '@A int, @B nvarchar(10)', "
        u"'INSERT INTO Items (Count, Name) VALUES (@a, @B); SELECT @B AS B, @A AS A')");
    auto call = [&](const char16_t* name, LONG first, const char16_t* second, std::u16string& b, LONG& a) {
        Ref<_Command> command = NewCommand(connection_.get(), name, adCmdStoredProc);
        Var one = Var::Int(first), two = Var::Text(second);
        EXPECT_EQ(S_OK, AddParameter(command.get(), adInteger, one));
        EXPECT_EQ(S_OK, AddParameter(command.get(), adBSTR, two));
        Ref<_Recordset> recordset;
        HRESULT hr = Execute(command.get(), recordset);
        if (hr == S_OK) {
            // Expressions come back by their storage class: compared as text and as a number.
            Var bValue, aValue, bText, aNumber;
            Collect(recordset.get(), u"B", bValue);
            Collect(recordset.get(), u"A", aValue);
            EXPECT_EQ(S_OK, VariantChangeType(&bText.get(), &bValue.get(), 0, VT_BSTR));
            EXPECT_EQ(S_OK, VariantChangeType(&aNumber.get(), &aValue.get(), 0, VT_I4));
            b = bText.text();
            a = aNumber.vt() == VT_I4 ? aNumber.get().lVal : -1;
        }
        return hr;
    };
    std::u16string b;
    LONG a = 0;
    ASSERT_EQ(S_OK, call(u"Put", 1, u"one", b, a));
    EXPECT_EQ(u"one", b);
    EXPECT_EQ(1, a);
    ASSERT_EQ(S_OK, call(u"[dbo].[put]", 2, u"two", b, a));  // the same procedure
    EXPECT_EQ(2, a);

    // Another connection swaps the parameters: positions bind the new order.
    Ref<_Connection> other = OpenConnection(dir_.File("t.db"));
    Bstr swap(u"UPDATE StoredProcedures SET Parameters = '@B nvarchar(10), @A int' WHERE Name = 'Put'");
    ASSERT_EQ(S_OK, other->Execute(swap.get(), nullptr, adCmdText | adExecuteNoRecords, nullptr));
    ASSERT_EQ(S_OK, call(u"Put", 3, u"4", b, a));
    EXPECT_EQ(u"3", b);
    EXPECT_EQ(4, a);

    // This connection changes the body.
    Exec(u"UPDATE StoredProcedures SET Body = 'SELECT @B || ''!'' AS B, 0 AS A' WHERE Name = 'Put'");
    ASSERT_EQ(S_OK, call(u"Put", 5, u"6", b, a));
    EXPECT_EQ(u"5!", b);
    EXPECT_EQ(0, a);

    // Renamed parameters leave the body naming one that is not declared: the
    // call fails each time, and what the body did before is rolled back.
    Exec(
        u"UPDATE StoredProcedures SET Parameters = '@X int, @Y nvarchar(10)', "
        u"Body = 'INSERT INTO Items (Count) VALUES (@x); SELECT @A AS A' WHERE Name = 'Put'");
    const LONG rows = QueryLong(connection_.get(), u"SELECT COUNT(*) FROM Items");
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(DB_E_ERRORSINCOMMAND, call(u"Put", 7, u"8", b, a));
        EXPECT_EQ(u"Must declare the scalar variable \"@A\".", TakeErrorDescription());
    }
    EXPECT_EQ(rows, QueryLong(connection_.get(), u"SELECT COUNT(*) FROM Items"));

    // Gone, then back as it first was.
    Exec(u"DELETE FROM StoredProcedures WHERE Name = 'Put'");
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, call(u"Put", 1, u"x", b, a));
    EXPECT_EQ(u"Could not find stored procedure 'Put'.", TakeErrorDescription());
    Exec(
        u"INSERT INTO StoredProcedures VALUES ('Put', '@A int, @B nvarchar(10)', "
        u"'INSERT INTO Items (Count, Name) VALUES (@a, @B); SELECT @B AS B, @A AS A')");
    ASSERT_EQ(S_OK, call(u"PUT", 9, u"nine", b, a));
    EXPECT_EQ(u"nine", b);
    EXPECT_EQ(9, a);
    EXPECT_EQ(4, QueryLong(connection_.get(), u"SELECT COUNT(*) FROM Items WHERE Name IS NOT NULL OR Count = 3"));

    // Declared twice, a name binds the later declaration.
    Exec(u"UPDATE StoredProcedures SET Parameters = '@A int, @a nvarchar(10)', Body = 'SELECT @A AS B, 1 AS A'");
    ASSERT_EQ(S_OK, call(u"Put", 10, u"later", b, a));
    EXPECT_EQ(u"later", b);
}

}  // namespace
