// The table mapper against a real reference database: the statements it
// builds, the parameters it binds, and its results and failures.
#include "DaoTestSupport.h"

namespace marlind_test {
namespace {

using ZELKDAO::OndrixEvent;
using ZELKDAO::Subnet;

Variant Text(const std::string& text) { return Variant::FromText(Ole(text)); }

Subnet LabSubnet(const std::string& address = "10.1.2.0", const std::string& mask = "255.255.255.0") {
    return Subnet(Text(address).Get(), Text(mask).Get());
}

ZELKXML::Plugin PluginBlock(const std::string& type, Variant data) {
    ZELKXML::Plugin plugin;
    plugin.OndrixEventTypeId = Text(type);
    plugin.PluginData = std::move(data);
    return plugin;
}

class TableMapper : public HostDatabaseTest {
protected:
    // A detected system for plug-in events to belong to.
    int AddDetectedSystem() {
        Exec("INSERT INTO ZELKDetectedSystemProperties (DnsName) VALUES ('host')");
        return std::stoi(Scalar("SELECT MAX(HostID) FROM ZELKDetectedSystemProperties"));
    }
};

TEST_F(TableMapper, SubnetStatementsAreBuiltFromKeysAndModifiedColumns) {
    Subnet subnet = LabSubnet();
    EXPECT_EQ(1, subnet.Load(Connection()));
    EXPECT_EQ(0, subnet.Update(Connection(), false));  // no row matched: inserted and read back

    const std::vector<LoggedStatement> sent = NewStatements();
    ASSERT_EQ(4u, sent.size());
    EXPECT_EQ("SELECT * FROM [ZELKSubnetProperties] WHERE (([IPV6] = ?) AND ([IPV6Mask] = ?));", sent[0].text);
    EXPECT_EQ(
        "UPDATE [ZELKSubnetProperties] SET [SubnetName] = ?,\n[IPV6] = ?,\n[IPV6Mask] = ? "
        "WHERE (([IPV6] = ?) AND ([IPV6Mask] = ?));",
        sent[1].text);
    EXPECT_EQ(
        "SET NOCOUNT ON;\nINSERT INTO [ZELKSubnetProperties] ([SubnetName],[IPV6],[IPV6Mask])\n"
        "VALUES (?,?,?);\nSELECT SCOPE_IDENTITY();\n",
        sent[2].text);
    EXPECT_EQ(sent[0].text, sent[3].text);
    for (const LoggedStatement& statement : sent) EXPECT_EQ("text", statement.commandType);

    // SET values first, then WHERE values: the order of the markers.
    const std::vector<std::string> update = {"10.1.2.0", MappedIPv4("0A010200"), MappedIPv4("FFFFFF00"),
                                             MappedIPv4("0A010200"), MappedIPv4("FFFFFF00")};
    ASSERT_EQ(update.size(), sent[1].parameters.size());
    for (size_t i = 0; i < update.size(); ++i) {
        const wincompat::LoggedStatementParameter& p = sent[1].parameters[i];
        EXPECT_EQ(update[i], p.value) << i;
        EXPECT_EQ("", p.name);
        EXPECT_EQ("input", p.direction);
    }
    EXPECT_EQ("adBSTR", sent[1].parameters[0].type);
    EXPECT_EQ("VT_BSTR", sent[1].parameters[0].vt);
    EXPECT_EQ(8, sent[1].parameters[0].size);
    EXPECT_EQ("adBinary", sent[1].parameters[1].type);
    EXPECT_EQ("VT_ARRAY|VT_UI1", sent[1].parameters[1].vt);
    EXPECT_EQ(16, sent[1].parameters[1].size);
    EXPECT_EQ(3u, sent[2].parameters.size());

    // The reload took the stored row: the identity as the database typed it.
    EXPECT_EQ(VT_I4, subnet.GetValue("SubnetID").vt);
    EXPECT_EQ(Scalar("SELECT SubnetID FROM ZELKSubnetProperties"), std::to_string(subnet.GetValue("SubnetID").lVal));
    EXPECT_EQ(VT_BOOL, subnet.GetValue("Ignored").vt);
}

TEST_F(TableMapper, ColumnNamesMatchWithoutRegardToCase) {
    Subnet subnet = LabSubnet();
    subnet.SetValue("subnetname", Text("Lab"));
    EXPECT_TRUE(IsText(Variant(subnet.GetValue("SUBNETNAME")), "Lab"));
    ASSERT_EQ(0, subnet.Insert(Connection(), false));
    const std::vector<LoggedStatement> sent = NewStatements();
    ASSERT_EQ(1u, sent.size());
    EXPECT_NE(std::string::npos, sent[0].text.find("([SubnetName],[IPV6],[IPV6Mask])")) << sent[0].text;
    EXPECT_EQ("Lab", Scalar("SELECT SubnetName FROM ZELKSubnetProperties"));
}

TEST_F(TableMapper, UnknownColumnsAreNeitherSetNorAdded) {
    Subnet subnet = LabSubnet();
    subnet.SetValue("NoSuchColumn", Text("x"));
    EXPECT_EQ(VT_NULL, subnet.GetValue("NoSuchColumn").vt);
    // Every record of a class hands out the same shared NULL.
    Subnet other = LabSubnet("10.9.0.0");
    EXPECT_EQ(&subnet.GetValue("NoSuchColumn"), &other.GetValue("Another"));
    ASSERT_EQ(0, subnet.Insert(Connection(), false));
    EXPECT_EQ(3u, NewStatements()[0].parameters.size());
}

TEST_F(TableMapper, ReadOnlyColumnsAreWrittenOnlyWhenAllowedAndNeverSent) {
    Subnet subnet = LabSubnet();
    const Variant range = Text("10.1.2.0");
    subnet.SetValue("IPV6Start", range);
    EXPECT_EQ(VT_NULL, subnet.GetValue("IPV6Start").vt);
    subnet.SetValue("IPV6Start", range, true);
    EXPECT_TRUE(IsText(Variant(subnet.GetValue("IPV6Start")), "10.1.2.0"));
    ASSERT_EQ(0, subnet.Insert(Connection(), false));
    EXPECT_EQ(std::string::npos, NewStatements()[0].text.find("IPV6Start"));
}

TEST_F(TableMapper, NothingModifiedSendsNothing) {
    Subnet subnet = LabSubnet();
    ASSERT_EQ(0, subnet.Insert(Connection(), false));
    NewStatements();
    EXPECT_EQ(1, subnet.Insert(Connection(), true));
    EXPECT_EQ(1, subnet.Update(Connection(), true));

    // Only the identity modified: no column can be set.
    OndrixEvent event(AddDetectedSystem(), PluginBlock("type", Text("data")));
    ASSERT_EQ(0, event.Insert(Connection(), false));
    NewStatements();
    event.SetValue("AutoID", Variant::FromInt(99));
    EXPECT_EQ(1, event.Update(Connection(), false));
    EXPECT_TRUE(NewStatements().empty());
}

TEST_F(TableMapper, UpdateOfAKnownRowWritesItAndReloadsOnlyWhenAsked) {
    Subnet stored = LabSubnet();
    ASSERT_EQ(0, stored.Insert(Connection(), true));
    NewStatements();

    Subnet renamed = LabSubnet();
    renamed.SetValue("SubnetName", Text("Lab floor 2"));
    EXPECT_EQ(0, renamed.Update(Connection(), false));
    std::vector<std::string> texts = NewStatementTexts();
    ASSERT_EQ(1u, texts.size());
    EXPECT_EQ(0u, texts[0].find("UPDATE"));
    EXPECT_EQ(VT_NULL, renamed.GetValue("SubnetID").vt);  // not reloaded

    renamed.SetValue("SubnetName", Text("Lab floor 3"));
    EXPECT_EQ(0, renamed.Update(Connection(), true));
    texts = NewStatementTexts();
    ASSERT_EQ(2u, texts.size());
    EXPECT_EQ(0u, texts[1].find("SELECT * FROM"));
    EXPECT_EQ(stored.GetValue("SubnetID").lVal, renamed.GetValue("SubnetID").lVal);
    EXPECT_EQ("Lab floor 3", Scalar("SELECT SubnetName FROM ZELKSubnetProperties"));
    EXPECT_EQ(1u, Count("ZELKSubnetProperties"));
}

TEST_F(TableMapper, LoadKeepsUnwrittenChangesAndLeavesValuesWhenNoRowMatches) {
    Subnet missing = LabSubnet();
    missing.SetValue("Ignored", Variant::FromBool(true));
    EXPECT_EQ(1, missing.Load(Connection()));
    EXPECT_EQ(VT_NULL, missing.GetValue("SubnetID").vt);
    EXPECT_EQ(VT_BOOL, missing.GetValue("Ignored").vt);

    Exec(
        "INSERT INTO ZELKSubnetProperties (SubnetName, IPV6, IPV6Mask, Ignored) VALUES "
        "('stored', " +
        MappedIPv4("0A010200") + ", " + MappedIPv4("FFFFFF00") + ", 0)");
    Subnet pending = LabSubnet();
    pending.SetValue("SubnetName", Text("pending"));
    EXPECT_EQ(0, pending.Load(Connection()));
    EXPECT_TRUE(IsText(Variant(pending.GetValue("SubnetName")), "pending"));
    EXPECT_EQ(VT_I4, pending.GetValue("SubnetID").vt);
    EXPECT_EQ(VARIANT_FALSE, pending.GetValue("Ignored").boolVal);
    // The change survives the load and is still written by the next update.
    EXPECT_EQ(0, pending.Update(Connection(), false));
    EXPECT_EQ("pending", Scalar("SELECT SubnetName FROM ZELKSubnetProperties"));
}

TEST_F(TableMapper, InsertReadsTheIdentityBackWithAndWithoutReload) {
    const int host = AddDetectedSystem();
    OndrixEvent first(host, PluginBlock("type", Text("data")));
    ASSERT_EQ(0, first.Insert(Connection(), false));
    EXPECT_EQ(1u, NewStatements().size());
    EXPECT_EQ(Scalar("SELECT MAX(AutoID) FROM ZELKOndrixEvents"),
              std::to_string(ZELKXML::IntegerView(first.GetValue("AutoID"))));

    // A read-only identity is stored too.
    Subnet subnet = LabSubnet();
    ASSERT_EQ(0, subnet.Insert(Connection(), false));
    EXPECT_EQ(Scalar("SELECT SubnetID FROM ZELKSubnetProperties"),
              std::to_string(ZELKXML::IntegerView(subnet.GetValue("SubnetID"))));

    OndrixEvent second(host, PluginBlock("type", Text("data")));
    ASSERT_EQ(0, second.Insert(Connection(), true));
    const std::vector<std::string> texts = NewStatementTexts();
    ASSERT_EQ(3u, texts.size());  // subnet insert, event insert, reload by AutoID
    EXPECT_EQ("SELECT * FROM [ZELKOndrixEvents] WHERE (([AutoID] = ?));", texts[2]);
    EXPECT_EQ(VT_I4, second.GetValue("AutoID").vt);
    EXPECT_EQ(VT_DATE, second.GetValue("EventAddedUtc").vt);
}

TEST_F(TableMapper, DateTextsBindAsDatesOnlyWithATimeOfDay) {
    const int host = AddDetectedSystem();
    OndrixEvent dateOnly(host, PluginBlock("type", Text("data")));
    dateOnly.SetValue("EventAddedUtc", Text("2013-03-08"));
    ASSERT_EQ(0, dateOnly.Insert(Connection(), false));
    OndrixEvent dateAndTime(host, PluginBlock("type", Text("data")));
    dateAndTime.SetValue("EventAddedUtc", Text("2013-03-08T13:47:20"));
    ASSERT_EQ(0, dateAndTime.Insert(Connection(), false));

    const std::vector<LoggedStatement> sent = NewStatements();
    ASSERT_EQ(2u, sent.size());
    const wincompat::LoggedStatementParameter& empty = sent[0].parameters.back();
    EXPECT_EQ("adDate", empty.type);
    EXPECT_EQ("VT_EMPTY", empty.vt);
    EXPECT_TRUE(empty.isNull);
    const wincompat::LoggedStatementParameter& date = sent[1].parameters.back();
    EXPECT_EQ("VT_DATE", date.vt);
    EXPECT_EQ("2013-03-08 13:47:20.000", date.value);
}

TEST_F(TableMapper, AValueThatDoesNotConvertFailsTheOperationBeforeAnythingIsSent) {
    DebugOutputCapture debug;
    OndrixEvent event(AddDetectedSystem(), PluginBlock("type", Text("data")));
    event.SetValue("DetectedSystemId", Text("seven"));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, event.Insert(Connection(), false));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, event.Update(Connection(), false));
    EXPECT_TRUE(NewStatements().empty());
    EXPECT_EQ(0u, Count("ZELKOndrixEvents"));
    // The conversion carries no description: the code and its text are written.
    ASSERT_EQ(2u, debug.Lines().size());
    EXPECT_EQ(0u, debug.Lines()[0].find("0x80020005 ")) << debug.Lines()[0];

    // Load fails the same way, without a word.
    Subnet subnet = LabSubnet();
    subnet.SetValue("IPV6", Variant::FromDouble(1.5));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, subnet.Load(Connection()));
    EXPECT_EQ(2u, debug.Lines().size());
}

TEST_F(TableMapper, ANullConnectionFailsEveryOperationWithTheProvidersError) {
    DebugOutputCapture debug;
    Subnet subnet = LabSubnet();
    const LONG loaded = subnet.Load(nullptr);
    EXPECT_LT(loaded, 0);
    EXPECT_EQ(loaded, subnet.Insert(nullptr, true));
    EXPECT_EQ(loaded, subnet.Update(nullptr, true));
    const std::vector<std::string> lines = debug.Lines();
    ASSERT_EQ(2u, lines.size());  // Insert and Update report; Load does not
    EXPECT_FALSE(lines[0].empty());
    EXPECT_EQ(lines[0], lines[1]);
    EXPECT_EQ(0u, Count("ZELKSubnetProperties"));
}

TEST_F(TableMapper, AFailedStatementKeepsTheChangesForTheNextAttempt) {
    Subnet first = LabSubnet();
    ASSERT_EQ(0, first.Insert(Connection(), false));
    NewStatements();

    DebugOutputCapture debug;
    Subnet duplicate = LabSubnet();
    EXPECT_EQ(static_cast<LONG>(DB_E_INTEGRITYVIOLATION), duplicate.Insert(Connection(), true));
    ASSERT_EQ(1u, debug.Lines().size());
    EXPECT_NE(std::string::npos, debug.Lines()[0].find("UNIQUE")) << debug.Lines()[0];
    EXPECT_EQ(VT_NULL, duplicate.GetValue("SubnetID").vt);

    Exec("DELETE FROM ZELKSubnetProperties");
    EXPECT_EQ(0, duplicate.Insert(Connection(), false));
    const std::vector<LoggedStatement> sent = NewStatements();
    ASSERT_EQ(2u, sent.size());
    EXPECT_EQ(sent[0].text, sent[1].text);
    EXPECT_EQ(1u, Count("ZELKSubnetProperties"));
}

// AddParameter: the variant type each ADO type binds as, and the size.
class ParameterBuilder : public ::testing::Test {
protected:
    ParameterBuilder() : command_(ZELKDAO::mapper::NewCommand(nullptr, adCmdText)) {}

    struct Bound {
        VARTYPE vt;
        LONG size;
        Variant value;
        DataTypeEnum type;
        ParameterDirectionEnum direction;
    };
    Bound Add(DataTypeEnum type, const Variant& value, ParameterDirectionEnum direction = adParamInput) {
        ZELKDAO::ParameterRef parameter = ZELKDAO::AddParameter(command_, OLESTR("@p"), type, value.Get(), direction);
        Bound bound{};
        parameter.Call(&_ADOParameter::get_Value, bound.value.Receive());
        bound.vt = bound.value.Type();
        parameter.Call(&_ADOParameter::get_Size, &bound.size);
        parameter.Call(&_ADOParameter::get_Type, &bound.type);
        parameter.Call(&_ADOParameter::get_Direction, &bound.direction);
        return bound;
    }
    LONG ParameterCount() {
        ZELKDAO::ParametersRef parameters;
        command_.Call(&_ADOCommand::get_Parameters, parameters.Receive());
        LONG count = 0;
        parameters.Call(&ADOParameters::get_Count, &count);
        return count;
    }

    ZELKDAO::CommandRef command_;
};

TEST_F(ParameterBuilder, EachAdoTypeBindsAsItsVariantType) {
    const Bound integer = Add(adInteger, Variant::FromLong(5));
    EXPECT_EQ(VT_INT, integer.vt);
    EXPECT_EQ(5, integer.value.Get().intVal);
    EXPECT_EQ(0, integer.size);
    EXPECT_EQ(adInteger, integer.type);
    EXPECT_EQ(VT_I2, Add(adSmallInt, Variant::FromInt(3)).vt);
    const Bound flag = Add(adBoolean, Variant::FromInt(1));
    EXPECT_EQ(VT_BOOL, flag.vt);
    EXPECT_EQ(VARIANT_TRUE, flag.value.Get().boolVal);
    const Bound guid = Add(adGUID, Text(kAgent));
    EXPECT_EQ(VT_BSTR, guid.vt);
    EXPECT_EQ(38, guid.size);
    const Bound number = Add(adBSTR, Variant::FromLong(1234));
    EXPECT_TRUE(IsText(number.value, "1234"));
    EXPECT_EQ(4, number.size);
    const Bound bytes = Add(adBinary, ZELKXML::AddressTextToBytes(Text("10.1.2.3").Get()));
    EXPECT_EQ(VT_ARRAY | VT_UI1, bytes.vt);
    EXPECT_EQ(16, bytes.size);
    EXPECT_EQ(VT_ARRAY | VT_UI1, Add(adVarBinary, ZELKXML::AddressTextToBytes(Text("::1").Get())).vt);
    const Bound date = Add(adDate, Text("2013-03-08T13:47:20.500"));
    EXPECT_EQ(VT_DATE, date.vt);
    EXPECT_EQ(VT_EMPTY, Add(adDate, Text("13:47:20")).vt);
    const Bound output = Add(adInteger, Variant::Null(), adParamOutput);
    EXPECT_EQ(VT_NULL, output.vt);
    EXPECT_EQ(adParamOutput, output.direction);
    EXPECT_EQ(10, ParameterCount());  // every one appended
}

TEST_F(ParameterBuilder, NullStaysNullForEveryType) {
    for (DataTypeEnum type : {adSmallInt, adInteger, adDate, adBSTR, adBoolean, adGUID, adBinary, adVarBinary})
        EXPECT_EQ(VT_NULL, Add(type, Variant::Null()).vt) << type;
}

TEST_F(ParameterBuilder, AValueThatDoesNotConvertRaisesTheConversionsError) {
    try {
        Add(adInteger, Text("seven"));
        FAIL() << "no error raised";
    } catch (const comsupport::ComError& error) {
        EXPECT_EQ(DISP_E_TYPEMISMATCH, error.Code());
    }
    EXPECT_EQ(0, ParameterCount());
}

}  // namespace
}  // namespace marlind_test
