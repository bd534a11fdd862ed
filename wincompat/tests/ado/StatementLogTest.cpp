// The statement log: one JSON line per command with the text as received,
// the command type, each parameter and the records affected.
#include <wincompat/AdoStatementLog.h>

#include "ado/Stubs.h"
#include "AdoTestSupport.h"
#include "ForeignParameter.h"

using namespace wincompat_test;

namespace {

// A foreign parameter that holds a fixed integer: a command reads it
// through its interface.
class IntegerParameter final : public ForeignParameter {
public:
    IntegerParameter(const char16_t* name, DataTypeEnum type, LONG value)
        : ForeignParameter(name, type), value_(value) {}
    STDMETHODIMP get_Value(VARIANT* out) override {
        VariantInit(out);
        out->vt = VT_I4;
        out->lVal = value_;
        return S_OK;
    }

private:
    ~IntegerParameter() override = default;
    LONG value_;
};

// Appends a foreign parameter and one of ADO's own to "SELECT ? + ? AS Sum".
LONG SumThroughBothKinds(_Connection* connection) {
    Ref<_Command> command = NewCommand(connection, u"SELECT ? + ? AS Sum");
    Ref<Parameters> parameters;
    EXPECT_EQ(S_OK, command->get_Parameters(parameters.out()));
    IntegerParameter* foreign = new IntegerParameter(u"@Foreign", adInteger, 40);
    EXPECT_EQ(S_OK, parameters->Append(static_cast<_Parameter*>(foreign)));
    foreign->Release();
    Var own = Var::Int(2);
    EXPECT_EQ(S_OK, AddParameter(command.get(), adInteger, own, adParamInput, u"@Own"));
    Ref<_Recordset> rs;
    EXPECT_EQ(S_OK, Execute(command.get(), rs));
    Var sum;
    if (rs) Collect(rs.get(), u"Sum", sum);
    return sum.vt() == VT_I4 ? sum.get().lVal : -1;
}

class AdoStatementLog : public ::testing::Test {
protected:
    void SetUp() override {
        logPath_ = dir_.File("statements.log");
        connection_ = OpenReferenceDatabase(dir_, ";Statement Log=" + logPath_);
    }
    TempDir dir_;
    std::string logPath_;
    Ref<_Connection> connection_;
};

TEST_F(AdoStatementLog, RecordsTextTypeParametersAndRowsOfEachCommand) {
    Ref<_Command> update = NewCommand(connection_.get(),
                                      u"UPDATE [ZELKSensorProperties] SET [SensorName] = ?,\n[DHCP] = ?,\n"
                                      u"[LastRecordedTime] = ? WHERE (([AgentGUID] = ?));");
    Var name = Var::Text(u"Sensor \"1\"\\"), dhcp = Var::Int(5), time = Var::Date(41341.5),
        agent = Var::Text(u"6f9619ff-8b86-d011-b42d-00c04fc964ff");
    ASSERT_EQ(S_OK, AddParameter(update.get(), adBSTR, name));
    ASSERT_EQ(S_OK, AddParameter(update.get(), adBoolean, dhcp));
    ASSERT_EQ(S_OK, AddParameter(update.get(), adDate, time));
    ASSERT_EQ(S_OK, AddParameter(update.get(), adGUID, agent));
    Var affected;
    Ref<_Recordset> rs;
    ASSERT_EQ(S_OK, Execute(update.get(), rs, adExecuteNoRecords, affected.out()));

    Ref<_Command> insert = NewCommand(connection_.get(),
                                      u"SET NOCOUNT ON;\nINSERT INTO [ZELKSubnetProperties] ([SubnetName],[IPV6])\n"
                                      u"VALUES (?,?);\nSELECT SCOPE_IDENTITY();\n");
    Var empty, bytes = Var::Bytes({0x0A, 0xFF});
    ASSERT_EQ(S_OK, AddParameter(insert.get(), adBSTR, empty));
    ASSERT_EQ(S_OK, AddParameter(insert.get(), adBinary, bytes, adParamInput, u"", 16));
    ASSERT_EQ(S_OK, Execute(insert.get(), rs));

    Bstr bad(u"SELECT * FROM Nowhere");
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, connection_->Execute(bad.get(), nullptr, adCmdText, rs.out()));

    std::vector<std::string> lines = ReadLines(logPath_);
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(
        "{\"type\":\"text\",\"text\":\"UPDATE [ZELKSensorProperties] SET [SensorName] = ?,\\n[DHCP] = ?,\\n"
        "[LastRecordedTime] = ? WHERE (([AgentGUID] = ?));\",\"parameters\":["
        "{\"name\":\"\",\"type\":\"adBSTR\",\"direction\":\"input\",\"vt\":\"VT_BSTR\",\"size\":0,\"value\":\"Sensor "
        "\\\"1\\\"\\\\\"},"
        "{\"name\":\"\",\"type\":\"adBoolean\",\"direction\":\"input\",\"vt\":\"VT_INT\",\"size\":0,\"value\":1},"
        "{\"name\":\"\",\"type\":\"adDate\",\"direction\":\"input\",\"vt\":\"VT_DATE\",\"size\":0,\"value\":\"2013-03-"
        "08 12:00:00.000\"},"
        "{\"name\":\"\",\"type\":\"adGUID\",\"direction\":\"input\",\"vt\":\"VT_BSTR\",\"size\":0,"
        "\"value\":\"{6F9619FF-8B86-D011-B42D-00C04FC964FF}\"}],\"recordsAffected\":0,\"result\":\"ok\"}",
        lines[0]);
    EXPECT_EQ(
        "{\"type\":\"text\",\"text\":\"SET NOCOUNT ON;\\nINSERT INTO [ZELKSubnetProperties] ([SubnetName],[IPV6])\\n"
        "VALUES (?,?);\\nSELECT SCOPE_IDENTITY();\\n\",\"parameters\":["
        "{\"name\":\"\",\"type\":\"adBSTR\",\"direction\":\"input\",\"vt\":\"VT_EMPTY\",\"size\":0,\"value\":null},"
        "{\"name\":\"\",\"type\":\"adBinary\",\"direction\":\"input\",\"vt\":\"VT_ARRAY|VT_UI1\",\"size\":16,\"value\":"
        "\"X'0AFF'\"}],"
        "\"recordsAffected\":-1,\"result\":\"ok\"}",
        lines[1]);
    EXPECT_EQ(
        "{\"type\":\"text\",\"text\":\"SELECT * FROM Nowhere\",\"parameters\":[],\"recordsAffected\":-1,"
        "\"result\":\"0x80040E14 no such table: Nowhere\"}",
        lines[2]);

    // Read back, the records give the texts exactly as sent.
    std::vector<wincompat::LoggedStatement> records = wincompat::ReadStatementLog(logPath_);
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ(
        "SET NOCOUNT ON;\nINSERT INTO [ZELKSubnetProperties] ([SubnetName],[IPV6])\nVALUES (?,?);\n"
        "SELECT SCOPE_IDENTITY();\n",
        records[1].text);
    EXPECT_EQ("text", records[1].commandType);
    ASSERT_EQ(2u, records[1].parameters.size());
    EXPECT_TRUE(records[1].parameters[0].isNull);
    EXPECT_EQ("X'0AFF'", records[1].parameters[1].value);
    EXPECT_EQ(16, records[1].parameters[1].size);
    EXPECT_EQ(0, records[1].parameters[0].size);
    EXPECT_EQ("Sensor \"1\"\\", records[0].parameters[0].value);
    EXPECT_TRUE(records[0].parameters[1].isNumber);
    EXPECT_EQ("1", records[0].parameters[1].value);
    EXPECT_EQ(0, records[0].recordsAffected);
    EXPECT_EQ("0x80040E14 no such table: Nowhere", records[2].result);
}

TEST_F(AdoStatementLog, ProcedureCallsLogTheirOutputs) {
    Bstr host(u"INSERT INTO ZELKDetectedSystemProperties (DnsName, MAC) VALUES ('h', 'AA')");
    ASSERT_EQ(S_OK, connection_->Execute(host.get(), nullptr, adExecuteNoRecords, nullptr));
    Ref<_Command> call = NewCommand(connection_.get(), u"ZELKSP_UpdateDetectedSystems", adCmdStoredProc);
    for (int i = 0; i < 20; ++i) {
        Var value = i == 11 ? Var::Text(u"AA") : (i == 17 ? Var::Text(u"detectedSystem") : Var::Null());
        ASSERT_EQ(S_OK, AddParameter(call.get(), i == 11 || i == 17 ? adBSTR : adInteger, value));
    }
    Var out1 = Var::Null(), out2 = Var::Null();
    ASSERT_EQ(S_OK, AddParameter(call.get(), adInteger, out1, adParamOutput, u"@OutputHostID"));
    ASSERT_EQ(S_OK, AddParameter(call.get(), adBoolean, out2, adParamOutput, u"@OutputNewDetection"));
    Ref<_Recordset> none;
    ASSERT_EQ(S_OK, Execute(call.get(), none, adExecuteNoRecords)) << TakeErrorDescription().size();
    std::vector<std::string> lines = ReadLines(logPath_);
    ASSERT_EQ(2u, lines.size());
    const std::string& record = lines[1];
    EXPECT_EQ(0u, record.find("{\"type\":\"storedproc\",\"text\":\"ZELKSP_UpdateDetectedSystems\",\"parameters\":["));
    EXPECT_NE(
        std::string::npos,
        record.find(
            "{\"name\":\"@OutputHostID\",\"type\":\"adInteger\",\"direction\":\"output\",\"vt\":\"VT_NULL\",\"size\":0,"
            "\"value\":1},{\"name\":\"@OutputNewDetection\",\"type\":\"adBoolean\",\"direction\":\"output\","
            "\"vt\":\"VT_NULL\",\"size\":0,\"value\":0}]"))
        << record;
    EXPECT_NE(std::string::npos, record.find("\"result\":\"ok\"}"));
}

TEST(AdoStatementLogFile, ReadingAMalformedLogFails) {
    TempDir dir;
    std::ofstream(dir.File("bad.log")) << "{\"type\":\"text\",\"text\":\"x\\q\"}\n";
    EXPECT_THROW(wincompat::ReadStatementLog(dir.File("bad.log")), std::runtime_error);
    std::ofstream(dir.File("bad2.log")) << "{\"type\":\"text\"\n";
    EXPECT_THROW(wincompat::ReadStatementLog(dir.File("bad2.log")), std::runtime_error);
    EXPECT_TRUE(wincompat::ReadStatementLog(dir.File("absent.log")).empty());
}

TEST(AdoStatementLogFile, UnicodeEscapesReadAsUtf8) {
    TempDir dir;
    // A surrogate pair, then a high surrogate whose partner is missing.
    std::ofstream(dir.File("escapes.log")) << "{\"type\":\"text\",\"text\":\"\\u00e9\\ud83d\\ude00|\\ud83d\\u0041\"}\n";
    std::vector<wincompat::LoggedStatement> records = wincompat::ReadStatementLog(dir.File("escapes.log"));
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(
        "\xC3\xA9\xF0\x9F\x98\x80|\xEF\xBF\xBD"
        "A",
        records[0].text);
}

TEST(AdoStatementLogFile, AnUnwritableLogRefusesTheConnection) {
    TempDir dir;
    Ref<_Connection> connection;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Connection, nullptr, CLSCTX_INPROC_SERVER, IID__Connection,
                                     reinterpret_cast<void**>(connection.out())));
    Bstr text(U16("Data Source=" + dir.File("a.db") + ";Statement Log=" + dir.File("no/dir/log")));
    EXPECT_EQ(E_FAIL, connection->Open(text.get(), nullptr, nullptr, adConnectUnspecified));
    EXPECT_NE(std::u16string::npos, TakeErrorDescription().find(u"statement log"));
}

// Parameters of any implementation bind alike and are logged by their
// names; without a log they bind the same.
TEST_F(AdoStatementLog, ParametersOfAnyImplementationAreReadAndLogged) {
    EXPECT_EQ(42, SumThroughBothKinds(connection_.get()));
    std::vector<std::string> lines = ReadLines(logPath_);
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos,
              lines[0].find("{\"name\":\"@Foreign\",\"type\":\"adInteger\",\"direction\":\"input\",\"vt\":\"VT_I4\","
                            "\"size\":4,\"value\":40},{\"name\":\"@Own\""))
        << lines[0];
    Ref<_Connection> unlogged = OpenConnection(dir_.File("host.db"));
    EXPECT_EQ(42, SumThroughBothKinds(unlogged.get()));
    EXPECT_EQ(1u, ReadLines(logPath_).size());
}

}  // namespace
