// Connection: opening from connection strings, the database settings each
// session gets, refusals with their error information, activation by CLSID
// and ProgID.
#include <fstream>

#include "AdoTestSupport.h"

using namespace wincompat_test;

namespace {

Ref<_Connection> NewConnection() {
    Ref<_Connection> connection;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_Connection, nullptr, CLSCTX_INPROC_SERVER, IID__Connection,
                                     reinterpret_cast<void**>(connection.out())));
    return connection;
}

HRESULT OpenWith(_Connection* connection, const std::string& text) {
    Bstr bstr(U16(text));
    return connection->Open(bstr.get(), nullptr, nullptr, adConnectUnspecified);
}

TEST(AdoConnection, OpensClosesAndReportsState) {
    TempDir dir;
    Ref<_Connection> connection = NewConnection();
    LONG state = -1;
    ASSERT_EQ(S_OK, connection->get_State(&state));
    EXPECT_EQ(adStateClosed, state);
    ASSERT_EQ(S_OK, OpenWith(connection.get(), "Provider=SQLite;Data Source=" + dir.File("a.db")));
    ASSERT_EQ(S_OK, connection->get_State(&state));
    EXPECT_EQ(adStateOpen, state);
    EXPECT_TRUE(std::filesystem::exists(dir.File("a.db")));
    ASSERT_EQ(S_OK, connection->Close());
    ASSERT_EQ(S_OK, connection->get_State(&state));
    EXPECT_EQ(adStateClosed, state);
    // Closing twice is an error, as in ADO.
    EXPECT_EQ(adErrObjectClosed, connection->Close());
}

TEST(AdoConnection, AcceptsKeywordsInAnyCaseQuotedValuesAndTheConnectionStringProperty) {
    TempDir dir;
    Ref<_Connection> connection = NewConnection();
    std::string quoted = dir.File("it's.db");
    quoted.replace(quoted.find('\''), 1, "''");  // a quote inside a quoted value is doubled
    Bstr text(U16("  provider = sqlite ; DATA   SOURCE='" + quoted + "';User ID=sa;Password=x;Busy Timeout=250;"));
    ASSERT_EQ(S_OK, connection->put_ConnectionString(text.get()));
    ASSERT_EQ(S_OK, connection->Open(nullptr, nullptr, nullptr, adConnectUnspecified)) << TakeErrorDescription().size();
    EXPECT_TRUE(std::filesystem::exists(dir.File("it's.db")));
    // The connection string cannot change while open.
    Bstr other(u"Data Source=x.db");
    EXPECT_EQ(adErrObjectOpen, connection->put_ConnectionString(other.get()));
    EXPECT_EQ(adErrObjectOpen, connection->Open(other.get(), nullptr, nullptr, adConnectUnspecified));
}

TEST(AdoConnection, EachSessionUsesWalForeignKeysAndTheDefaultProvider) {
    TempDir dir;
    Ref<_Connection> connection = NewConnection();
    ASSERT_EQ(S_OK, OpenWith(connection.get(), "Data Source=" + dir.File("b.db")));  // SQLite by default
    Var mode;
    QueryValue(connection.get(), u"PRAGMA journal_mode", mode);
    EXPECT_EQ(u"wal", mode.text());
    EXPECT_EQ(1, QueryLong(connection.get(), u"PRAGMA foreign_keys"));
}

TEST(AdoConnection, RefusesUnknownKeywordsProvidersAndMissingDataSourceWithErrorInformation) {
    TempDir dir;
    struct Case {
        std::string text;
        HRESULT hr;
        const char16_t* mentions;
    };
    const Case cases[] = {
        {"Provider=SQLite;Data Source=" + dir.File("c.db") + ";Initial Catalog=ePO", E_FAIL, u"initial catalog"},
        {"Provider=SQLOLEDB;Data Source=server", adErrProviderNotFound, u"Provider cannot be found"},
        {"Provider=SQLite", E_FAIL, u"Data Source"},
        {"Provider=SQLite;Data Source=", E_FAIL, u"Data Source"},
        {"Provider=SQLite;Data Source=" + dir.File("c.db") + ";Busy Timeout=soon", E_FAIL, u"Busy Timeout"},
        {"Provider=SQLite;Data Source='" + dir.File("c.db"), E_FAIL, u"unterminated"},
        {"Provider=SQLite;Data Source=" + dir.File("c.db") + ";junk", E_FAIL, u"junk"},
        {"Provider=SQLite;Data Source=" + dir.File("missing/dir/c.db"), E_FAIL, u"cannot open"},
    };
    for (const Case& c : cases) {
        Ref<_Connection> connection = NewConnection();
        EXPECT_EQ(c.hr, OpenWith(connection.get(), c.text)) << c.text;
        std::u16string description = TakeErrorDescription();
        EXPECT_NE(std::u16string::npos, description.find(c.mentions)) << c.text;
        LONG state = -1;
        connection->get_State(&state);
        EXPECT_EQ(adStateClosed, state);
    }
}

TEST(AdoConnection, AFileThatIsNotADatabaseIsRefusedWhenOpened) {
    TempDir dir;
    {
        std::ofstream text(dir.File("notes.txt"), std::ios::binary);
        text << std::string(4096, 'x');
    }
    Ref<_Connection> connection = NewConnection();
    EXPECT_TRUE(FAILED(OpenWith(connection.get(), "Provider=SQLite;Data Source=" + dir.File("notes.txt"))));
    EXPECT_NE(std::u16string::npos, TakeErrorDescription().find(u"not a database"));
    LONG state = -1;
    ASSERT_EQ(S_OK, connection->get_State(&state));
    EXPECT_EQ(adStateClosed, state);
}

TEST(AdoConnection, ExecuteOnAClosedConnectionFails) {
    Ref<_Connection> connection = NewConnection();
    Ref<_Recordset> recordset;
    Bstr text(u"SELECT 1");
    EXPECT_EQ(adErrObjectClosed, connection->Execute(text.get(), nullptr, adCmdText, recordset.out()));
    EXPECT_EQ(u"Operation is not allowed when the object is closed.", TakeErrorDescription());
}

TEST(AdoConnection, ClassesAreCreatableByProgIdAndAnswerBothInterfaceGenerations) {
    const char16_t* progIds[] = {u"ADODB.Connection", u"ADODB.Command", u"ADODB.Recordset", u"ADODB.Parameter"};
    const CLSID* clsids[] = {&CLSID_CADOConnection, &CLSID_CADOCommand, &CLSID_CADORecordset, &CLSID_CADOParameter};
    for (int i = 0; i < 4; ++i) {
        CLSID clsid;
        ASSERT_EQ(S_OK, CLSIDFromProgID(progIds[i], &clsid));
        EXPECT_TRUE(IsEqualGUID(clsid, *clsids[i]));
        Ref<IUnknown> object;
        ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                         reinterpret_cast<void**>(object.out())));
        Ref<ISupportErrorInfo> support;
        EXPECT_EQ(S_OK, object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(support.out())));
    }
    Ref<_Connection> connection = NewConnection();
    Ref<IUnknown> modern;
    EXPECT_EQ(S_OK, connection->QueryInterface(IID__Connection_ADO6, reinterpret_cast<void**>(modern.out())));
    Ref<ISupportErrorInfo> support;
    ASSERT_EQ(S_OK, connection->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(support.out())));
    EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID__Connection));
    Ref<IUnknown> none;
    EXPECT_EQ(E_NOINTERFACE, connection->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(none.out())));
    // No aggregation.
    Ref<IUnknown> aggregated;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, CoCreateInstance(CLSID_Connection, connection.get(), CLSCTX_INPROC_SERVER,
                                                      IID_IUnknown, reinterpret_cast<void**>(aggregated.out())));
}

}  // namespace

namespace {

TEST(AdoConnectionBusy, AWriterThatCannotGetTheLockInTimeFailsClearly) {
    TempDir dir;
    Ref<_Connection> holder = OpenConnection(dir.File("busy.db"));
    Bstr create(u"CREATE TABLE t (a int)"), begin(u"BEGIN IMMEDIATE"), rollback(u"ROLLBACK");
    ASSERT_EQ(S_OK, holder->Execute(create.get(), nullptr, adExecuteNoRecords, nullptr));
    ASSERT_EQ(S_OK, holder->Execute(begin.get(), nullptr, adExecuteNoRecords, nullptr));

    Ref<_Connection> impatient = OpenConnection(dir.File("busy.db"), ";Busy Timeout=50");
    Bstr insert(u"INSERT INTO t VALUES (1)");
    EXPECT_EQ(DB_E_ABORTLIMITREACHED, impatient->Execute(insert.get(), nullptr, adExecuteNoRecords, nullptr));
    EXPECT_NE(std::u16string::npos, TakeErrorDescription().find(u"locked"));
    // Readers are not blocked by the writer (WAL).
    EXPECT_EQ(0, QueryLong(impatient.get(), u"SELECT COUNT(*) FROM t"));

    ASSERT_EQ(S_OK, holder->Execute(rollback.get(), nullptr, adExecuteNoRecords, nullptr));
    EXPECT_EQ(S_OK, impatient->Execute(insert.get(), nullptr, adExecuteNoRecords, nullptr));
}

}  // namespace
