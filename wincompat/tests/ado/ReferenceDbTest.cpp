// The reference host database through ADO, driven with exactly the statements,
// parameter lists and procedure calls that the plug-ins send.
#include "AdoTestSupport.h"

using namespace wincompat_test;

namespace {

const char16_t* const kSubnetLoad = u"SELECT * FROM [ZELKSubnetProperties] WHERE (([IPV6] = ?) AND ([IPV6Mask] = ?));";
const char16_t* const kSubnetInsert =
    u"SET NOCOUNT ON;\nINSERT INTO [ZELKSubnetProperties] ([SubnetName],[IPV6],[IPV6Mask])\nVALUES (?,?,?);\nSELECT "
    u"SCOPE_IDENTITY();\n";
const char16_t* const kSubnetUpdate =
    u"UPDATE [ZELKSubnetProperties] SET [SubnetName] = ?,\n[IPV6] = ?,\n[IPV6Mask] = ? WHERE (([IPV6] = ?) AND "
    u"([IPV6Mask] = ?));";
const char16_t* const kSensorLoad = u"SELECT * FROM [ZELKSensorProperties] WHERE (([AgentGUID] = ?));";
const char16_t* const kSensorUpdate =
    u"UPDATE [ZELKSensorProperties] SET [SensorName] = ?,\n[LastCommunicationTime] = ?,\n[AgentGUID] = "
    u"?,\n[SensorType] "
    u"= ?,\n[ElectionType] = ?,\n[DHCP] = ?,\n[SensorVersion] = ?,\n[Description] = ?,\n[ComputerName] = "
    u"?,\n[FirstRecordedTime] = ?,\n[LastRecordedTime] = ? WHERE (([AgentGUID] = ?));";
const char16_t* const kSensorInsert =
    u"SET NOCOUNT ON;\nINSERT INTO [ZELKSensorProperties] "
    u"([SensorName],[LastCommunicationTime],[AgentGUID],[SensorType],[ElectionType],[DHCP],[SensorVersion],["
    u"Description],[ComputerName],[FirstRecordedTime],[LastRecordedTime])\nVALUES "
    u"(?,?,?,?,?,?,?,?,?,?,?);\nSELECT SCOPE_IDENTITY();\n";
const char16_t* const kLinkLoad = u"SELECT * FROM [ZELKSensorToSubnet] WHERE (([SensorID] = ?) AND ([SubnetID] = ?));";
const char16_t* const kLinkInsert =
    u"SET NOCOUNT ON;\nINSERT INTO [ZELKSensorToSubnet] ([SensorID],[SubnetID])\nVALUES (?,?);\nSELECT "
    u"SCOPE_IDENTITY();\n";
const char16_t* const kSystemLoad = u"SELECT * FROM [ZELKDetectedSystemProperties] WHERE (([HostID] = ?));";
const char16_t* const kEventInsert =
    u"SET NOCOUNT ON;\nINSERT INTO [ZELKOndrixEvents] ([EventID],[DetectedSystemId],[Data],[EventAddedUtc])\nVALUES "
    u"(?,?,?,?);\nSELECT SCOPE_IDENTITY();\n";
const char16_t* const kBlacklistQuery = u"select MACorOUI from ZELKScanBlacklist";
const char16_t* const kExceptionQuery =
    u"select MAC from ZELKDetectedSystemProperties where [Exception] = 1 AND [DetectionType] = N'detectedSystem'";

const char16_t* const kAgent = u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}";
const char16_t* const kAgentLower = u"6f9619ff-8b86-d011-b42d-00c04fc964ff";

std::vector<uint8_t> V4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    return {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, a, b, c, d};
}

LONG IdentityOf(_Recordset* recordset) {
    Var identity;
    EXPECT_EQ(S_OK, recordset->get_Collect(Index(0), identity.out()));
    Var asInt;
    EXPECT_EQ(S_OK, VariantChangeType(asInt.out(), &identity.get(), 0, VT_INT));
    return asInt.get().intVal;
}

bool AtEnd(_Recordset* recordset) {
    VARIANT_BOOL eof = VARIANT_FALSE;
    EXPECT_EQ(S_OK, recordset->get_EOF(&eof));
    return eof != VARIANT_FALSE;
}

// What the detected-system procedure call of the data-channel plug-in binds.
struct Detection {
    const char16_t* dnsName = u"host1.example.com";
    const char16_t* agent = nullptr;
    std::vector<uint8_t> address = V4(10, 1, 2, 3);
    const char16_t* mac = u"001122AABBCC";
    int matchingOverride = 0;
};

struct ProcedureResult {
    LONG hostId = -1;
    bool newDetection = false;
};

ProcedureResult UpdateDetectedSystem(_Connection* connection, const Detection& d) {
    Ref<_Command> command = NewCommand(connection, u"ZELKSP_UpdateDetectedSystems", adCmdStoredProc);
    struct P {
        const char16_t* name;
        DataTypeEnum type;
        Var value;
        ParameterDirectionEnum direction;
    };
    std::vector<P> list;
    auto text = [](const char16_t* t) { return t ? Var::Text(t) : Var::Null(); };
    list.push_back({u"@DnsName", adBSTR, text(d.dnsName), adParamInput});
    list.push_back({u"@OSPlatform", adBSTR, Var::Text(u"Windows"), adParamInput});
    list.push_back({u"@OSFamily", adBSTR, Var::Text(u"NT"), adParamInput});
    list.push_back({u"@OSVersion", adBSTR, Var::Text(u"6.1"), adParamInput});
    list.push_back({u"@Domain", adBSTR, Var::Text(u"WORKGROUP"), adParamInput});
    list.push_back({u"@NetbiosName", adBSTR, Var::Text(u"HOST1"), adParamInput});
    list.push_back({u"@NetbiosComment", adBSTR, Var::Null(), adParamInput});
    list.push_back({u"@Users", adBSTR, Var::Text(u"alice,bob"), adParamInput});
    list.push_back({u"@AgentGUID", adGUID, text(d.agent), adParamInput});
    list.push_back({u"@IPV4", adInteger, Var::Null(), adParamInput});
    list.push_back({u"@IPV6", adBinary, d.address.empty() ? Var::Null() : Var::Bytes(d.address), adParamInput});
    list.push_back({u"@MAC", adBSTR, text(d.mac), adParamInput});
    list.push_back({u"@DetectedTime", adDate, Var::Date(41341.5), adParamInput});
    list.push_back({u"@DeviceType", adBSTR, Var::Text(u"Workstation"), adParamInput});
    list.push_back({u"@SourceID", adInteger, Var::Int(1), adParamInput});
    list.push_back({u"@SourceType", adBSTR, Var::Text(u"zelk.dhcp"), adParamInput});
    list.push_back({u"@ExternalID", adBSTR, Var::Null(), adParamInput});
    list.push_back({u"@DetectionType", adBSTR, Var::Text(u"detectedSystem"), adParamInput});
    list.push_back({u"@ExternalFriendlyName", adBSTR, Var::Null(), adParamInput});
    list.push_back({u"@MatchingOverride", adInteger, Var::Int(d.matchingOverride), adParamInput});
    list.push_back({u"@OutputHostID", adInteger, Var::Null(), adParamOutput});
    list.push_back({u"@OutputNewDetection", adBoolean, Var::Null(), adParamOutput});
    for (P& p : list) EXPECT_EQ(S_OK, AddParameter(command.get(), p.type, p.value, p.direction, p.name));
    Ref<_Recordset> none;
    EXPECT_EQ(S_OK, Execute(command.get(), none, adExecuteNoRecords)) << TakeErrorDescription().size();
    Ref<Parameters> parameters;
    EXPECT_EQ(S_OK, command->get_Parameters(parameters.out()));
    ProcedureResult result;
    Ref<_Parameter> hostId, isNew;
    Var name = Var::Text(u"@OutputHostID");
    EXPECT_EQ(S_OK, parameters->get_Item(name.get(), hostId.out()));
    EXPECT_EQ(S_OK, parameters->get_Item(Index(21), isNew.out()));
    Var value;
    EXPECT_EQ(S_OK, hostId->get_Value(value.out()));
    EXPECT_EQ(VT_I4, value.vt());
    result.hostId = value.get().lVal;
    EXPECT_EQ(S_OK, isNew->get_Value(value.out()));
    EXPECT_EQ(VT_BOOL, value.vt());
    result.newDetection = value.get().boolVal != VARIANT_FALSE;
    return result;
}

// The interface procedure call: host id, MAC, three NULL IPv4 values, the
// three 16-byte values, time, source, source type, external id.
HRESULT UpdateInterface(_Connection* connection, LONG hostId, const char16_t* mac, const std::vector<uint8_t>& address,
                        const std::vector<uint8_t>& mask, const std::vector<uint8_t>& subnet) {
    Ref<_Command> command = NewCommand(connection, u"ZELKSP_UpdateInterfaces", adCmdStoredProc);
    Var host = Var::Int(hostId), macValue = mac ? Var::Text(mac) : Var::Null(), null1 = Var::Null(),
        null2 = Var::Null(), null3 = Var::Null(), a = address.empty() ? Var() : Var::Bytes(address),
        m = mask.empty() ? Var() : Var::Bytes(mask), s = subnet.empty() ? Var() : Var::Bytes(subnet),
        time = Var::Date(41341.5), source = Var::Int(1), type = Var::Text(u"zelk.dhcp"), external = Var::Null();
    EXPECT_EQ(S_OK, AddParameter(command.get(), adInteger, host));
    EXPECT_EQ(S_OK, AddParameter(command.get(), adBSTR, macValue, adParamInput, u"@MAC"));
    EXPECT_EQ(S_OK, AddParameter(command.get(), adInteger, null1, adParamInput, u"@IPV4"));
    EXPECT_EQ(S_OK, AddParameter(command.get(), adInteger, null2, adParamInput, u"@IPV4Mask"));
    EXPECT_EQ(S_OK, AddParameter(command.get(), adInteger, null3));
    EXPECT_EQ(S_OK, AddParameter(command.get(), adBinary, a, adParamInput, u"@IPV6", 16));
    EXPECT_EQ(S_OK, AddParameter(command.get(), adBinary, m, adParamInput, u"@IPV6Mask", 16));
    EXPECT_EQ(S_OK, AddParameter(command.get(), adBinary, s, adParamInput, u"@IPV6Subnet", 16));
    EXPECT_EQ(S_OK, AddParameter(command.get(), adDate, time, adParamInput, u"@DetectedTime"));
    EXPECT_EQ(S_OK, AddParameter(command.get(), adInteger, source, adParamInput, u"@SourceID"));
    EXPECT_EQ(S_OK, AddParameter(command.get(), adBSTR, type, adParamInput, u"@SourceType"));
    EXPECT_EQ(S_OK, AddParameter(command.get(), adBSTR, external, adParamInput, u"@ExternalID"));
    Ref<_Recordset> none;
    return Execute(command.get(), none, adExecuteNoRecords);
}

class ReferenceDatabase : public ::testing::Test {
protected:
    void SetUp() override { connection_ = OpenReferenceDatabase(dir_); }
    void Exec(const char16_t* text) {
        Bstr bstr(text);
        ASSERT_EQ(S_OK, connection_->Execute(bstr.get(), nullptr, adExecuteNoRecords, nullptr))
            << TakeErrorDescription().size();
    }
    TempDir dir_;
    Ref<_Connection> connection_;
};

TEST_F(ReferenceDatabase, SubnetStatementsFindInsertAndUpdateOneRowPerAddressAndMask) {
    Var address = Var::Bytes(V4(10, 1, 2, 0)), mask = Var::Bytes(V4(255, 255, 255, 0)), name = Var::Text(u"10.1.2.0");
    Ref<_Command> load = NewCommand(connection_.get(), kSubnetLoad);
    ASSERT_EQ(S_OK, AddParameter(load.get(), adBinary, address));
    ASSERT_EQ(S_OK, AddParameter(load.get(), adBinary, mask));
    Ref<_Recordset> rs;
    ASSERT_EQ(S_OK, Execute(load.get(), rs));
    EXPECT_TRUE(AtEnd(rs.get()));

    Ref<_Command> insert = NewCommand(connection_.get(), kSubnetInsert);
    ASSERT_EQ(S_OK, AddParameter(insert.get(), adBSTR, name));
    ASSERT_EQ(S_OK, AddParameter(insert.get(), adBinary, address));
    ASSERT_EQ(S_OK, AddParameter(insert.get(), adBinary, mask));
    ASSERT_EQ(S_OK, Execute(insert.get(), rs)) << TakeErrorDescription().size();
    const LONG subnetId = IdentityOf(rs.get());
    EXPECT_GT(subnetId, 0);

    ASSERT_EQ(S_OK, Execute(load.get(), rs));
    ASSERT_FALSE(AtEnd(rs.get()));
    Var id;
    Collect(rs.get(), u"SubnetID", id);
    EXPECT_EQ(subnetId, id.get().lVal);
    Var stored;
    Collect(rs.get(), u"IPV6", stored);
    EXPECT_EQ(V4(10, 1, 2, 0), stored.bytes());
    Collect(rs.get(), u"Ignored", stored);
    EXPECT_EQ(VT_BOOL, stored.vt());

    // The same address and mask again is refused by the key...
    Ref<_Recordset> none;
    EXPECT_EQ(DB_E_INTEGRITYVIOLATION, Execute(insert.get(), none));
    EXPECT_NE(std::u16string::npos, TakeErrorDescription().find(u"UNIQUE constraint failed"));
    // ...while another mask is another subnet.
    Var wider = Var::Bytes(V4(255, 255, 0, 0));
    Ref<_Command> other = NewCommand(connection_.get(), kSubnetInsert);
    ASSERT_EQ(S_OK, AddParameter(other.get(), adBSTR, name));
    ASSERT_EQ(S_OK, AddParameter(other.get(), adBinary, address));
    ASSERT_EQ(S_OK, AddParameter(other.get(), adBinary, wider));
    ASSERT_EQ(S_OK, Execute(other.get(), rs));
    EXPECT_EQ(subnetId + 1, IdentityOf(rs.get()));

    Var renamed = Var::Text(u"renamed");
    Ref<_Command> update = NewCommand(connection_.get(), kSubnetUpdate);
    ASSERT_EQ(S_OK, AddParameter(update.get(), adBSTR, renamed));
    ASSERT_EQ(S_OK, AddParameter(update.get(), adBinary, address));
    ASSERT_EQ(S_OK, AddParameter(update.get(), adBinary, mask));
    ASSERT_EQ(S_OK, AddParameter(update.get(), adBinary, address));
    ASSERT_EQ(S_OK, AddParameter(update.get(), adBinary, mask));
    Var affected;
    ASSERT_EQ(S_OK, Execute(update.get(), none, adExecuteNoRecords, affected.out()));
    EXPECT_EQ(1, affected.get().lVal);
}

TEST_F(ReferenceDatabase, SensorStatementsUpsertOneRowPerAgentWhateverTheGuidsCase) {
    Ref<_Command> load = NewCommand(connection_.get(), kSensorLoad);
    Var agentLower = Var::Text(kAgentLower);
    ASSERT_EQ(S_OK, AddParameter(load.get(), adGUID, agentLower));
    Ref<_Recordset> rs;
    ASSERT_EQ(S_OK, Execute(load.get(), rs));
    EXPECT_TRUE(AtEnd(rs.get()));

    auto bindSensor = [](_Command* command, const char16_t* agent) {
        Var values[] = {Var::Text(u"Sensor-1"),
                        Var::Date(41341.25),
                        Var::Text(agent),
                        Var::Int(1),
                        Var::Int(2),
                        Var::Int(1),
                        Var::Text(u"4.5.0"),
                        Var::Text(u"Sensor-1"),
                        Var::Text(u"HOST-A"),
                        Var::Date(41341.5),
                        Var::Date(41341.5)};
        const DataTypeEnum types[] = {adBSTR, adDate, adGUID, adInteger, adInteger, adBoolean,
                                      adBSTR, adBSTR, adBSTR, adDate,    adDate};
        for (int i = 0; i < 11; ++i) ASSERT_EQ(S_OK, AddParameter(command, types[i], values[i]));
    };
    Ref<_Command> update = NewCommand(connection_.get(), kSensorUpdate);
    bindSensor(update.get(), kAgentLower);
    Var key = Var::Text(kAgentLower);
    ASSERT_EQ(S_OK, AddParameter(update.get(), adGUID, key));
    Var affected;
    Ref<_Recordset> none;
    ASSERT_EQ(S_OK, Execute(update.get(), none, adExecuteNoRecords, affected.out())) << TakeErrorDescription().size();
    EXPECT_EQ(0, affected.get().lVal);

    Ref<_Command> insert = NewCommand(connection_.get(), kSensorInsert);
    bindSensor(insert.get(), kAgentLower);
    ASSERT_EQ(S_OK, Execute(insert.get(), rs)) << TakeErrorDescription().size();
    const LONG sensorId = IdentityOf(rs.get());

    ASSERT_EQ(S_OK, Execute(load.get(), rs));
    ASSERT_FALSE(AtEnd(rs.get()));
    Var v;
    Collect(rs.get(), u"SensorID", v);
    EXPECT_EQ(sensorId, v.get().lVal);
    Collect(rs.get(), u"AgentGUID", v);
    EXPECT_EQ(kAgent, v.text());
    Collect(rs.get(), u"DHCP", v);
    EXPECT_EQ(VT_BOOL, v.vt());
    Collect(rs.get(), u"LastCommunicationTime", v);
    ASSERT_EQ(VT_DATE, v.vt());
    EXPECT_DOUBLE_EQ(41341.25, v.get().date);

    // Now the UPDATE finds it; a second row for the same agent is refused,
    // even with the GUID written in another case.
    ASSERT_EQ(S_OK, Execute(update.get(), none, adExecuteNoRecords, affected.out()));
    EXPECT_EQ(1, affected.get().lVal);
    Bstr duplicate(u"INSERT INTO ZELKSensorProperties (AgentGUID) VALUES ('{6f9619ff-8b86-d011-b42d-00c04fc964ff}')");
    EXPECT_EQ(DB_E_INTEGRITYVIOLATION, connection_->Execute(duplicate.get(), nullptr, adExecuteNoRecords, nullptr));
    EXPECT_EQ(1, QueryLong(connection_.get(), u"SELECT COUNT(*) FROM ZELKSensorProperties"));

    // The link between the sensor and a subnet, and its foreign keys.
    Exec(u"INSERT INTO ZELKSubnetProperties (SubnetName) VALUES ('s')");
    Var sensor = Var::Int(sensorId), subnet = Var::Int(1);
    Ref<_Command> linkLoad = NewCommand(connection_.get(), kLinkLoad);
    ASSERT_EQ(S_OK, AddParameter(linkLoad.get(), adInteger, sensor));
    ASSERT_EQ(S_OK, AddParameter(linkLoad.get(), adInteger, subnet));
    ASSERT_EQ(S_OK, Execute(linkLoad.get(), rs));
    EXPECT_TRUE(AtEnd(rs.get()));
    Ref<_Command> link = NewCommand(connection_.get(), kLinkInsert);
    ASSERT_EQ(S_OK, AddParameter(link.get(), adInteger, sensor));
    ASSERT_EQ(S_OK, AddParameter(link.get(), adInteger, subnet));
    ASSERT_EQ(S_OK, Execute(link.get(), rs)) << TakeErrorDescription().size();
    EXPECT_FALSE(AtEnd(rs.get()));
    ASSERT_EQ(S_OK, Execute(linkLoad.get(), rs));
    EXPECT_FALSE(AtEnd(rs.get()));
    Var unknownSensor = Var::Int(999);
    Ref<_Command> dangling = NewCommand(connection_.get(), kLinkInsert);
    ASSERT_EQ(S_OK, AddParameter(dangling.get(), adInteger, unknownSensor));
    ASSERT_EQ(S_OK, AddParameter(dangling.get(), adInteger, subnet));
    EXPECT_EQ(DB_E_INTEGRITYVIOLATION, Execute(dangling.get(), rs));
    EXPECT_NE(std::u16string::npos, TakeErrorDescription().find(u"FOREIGN KEY constraint failed"));
}

TEST_F(ReferenceDatabase, DetectedSystemProcedureMatchesByMacThenAgentThenAddress) {
    Detection first;
    ProcedureResult inserted = UpdateDetectedSystem(connection_.get(), first);
    EXPECT_GT(inserted.hostId, 0);
    EXPECT_TRUE(inserted.newDetection);

    // The same MAC (in another case) is the same system, whatever else changed.
    Detection again = first;
    again.mac = u"001122aabbcc";
    again.address = V4(10, 1, 2, 99);
    again.dnsName = u"renamed.example.com";
    ProcedureResult matched = UpdateDetectedSystem(connection_.get(), again);
    EXPECT_EQ(inserted.hostId, matched.hostId);
    EXPECT_FALSE(matched.newDetection);

    Ref<_Command> load = NewCommand(connection_.get(), kSystemLoad);
    Var host = Var::Int(inserted.hostId);
    ASSERT_EQ(S_OK, AddParameter(load.get(), adInteger, host));
    Ref<_Recordset> rs;
    ASSERT_EQ(S_OK, Execute(load.get(), rs));
    ASSERT_FALSE(AtEnd(rs.get()));
    Var v;
    Collect(rs.get(), u"DnsName", v);
    EXPECT_EQ(u"renamed.example.com", v.text());
    Collect(rs.get(), u"IPV6", v);
    EXPECT_EQ(V4(10, 1, 2, 99), v.bytes());
    Collect(rs.get(), u"NewDetection", v);
    EXPECT_EQ(VARIANT_TRUE, v.get().boolVal);
    Collect(rs.get(), u"Exception", v);
    EXPECT_EQ(VARIANT_FALSE, v.get().boolVal);
    Collect(rs.get(), u"LastDetectedTime", v);
    EXPECT_DOUBLE_EQ(41341.5, v.get().date);
    Collect(rs.get(), u"NetbiosComment", v);
    EXPECT_EQ(VT_NULL, v.vt());

    // Without a MAC, the agent identity decides; without either, the address.
    Detection byAgent;
    byAgent.mac = u"";
    byAgent.agent = kAgentLower;
    byAgent.address = V4(192, 168, 0, 1);
    ProcedureResult agentRow = UpdateDetectedSystem(connection_.get(), byAgent);
    EXPECT_TRUE(agentRow.newDetection);
    byAgent.agent = kAgent;
    byAgent.address = V4(192, 168, 0, 2);
    EXPECT_EQ(agentRow.hostId, UpdateDetectedSystem(connection_.get(), byAgent).hostId);

    Detection byAddress;
    byAddress.mac = nullptr;
    byAddress.address = V4(172, 16, 0, 9);
    ProcedureResult addressRow = UpdateDetectedSystem(connection_.get(), byAddress);
    EXPECT_TRUE(addressRow.newDetection);
    ProcedureResult addressAgain = UpdateDetectedSystem(connection_.get(), byAddress);
    EXPECT_EQ(addressRow.hostId, addressAgain.hostId);
    EXPECT_FALSE(addressAgain.newDetection);

    // The override makes a new row even for a known MAC.
    Detection forced = first;
    forced.matchingOverride = 1;
    ProcedureResult forcedRow = UpdateDetectedSystem(connection_.get(), forced);
    EXPECT_TRUE(forcedRow.newDetection);
    EXPECT_NE(inserted.hostId, forcedRow.hostId);
    EXPECT_EQ(4, QueryLong(connection_.get(), u"SELECT COUNT(*) FROM ZELKDetectedSystemProperties"));
}

TEST_F(ReferenceDatabase, InterfaceProcedureKeepsOneRowPerHostMacAndAddress) {
    const LONG host = UpdateDetectedSystem(connection_.get(), Detection()).hostId;
    const auto mask = V4(255, 255, 255, 0), subnet = V4(10, 1, 2, 0);
    ASSERT_EQ(S_OK, UpdateInterface(connection_.get(), host, u"001122AABBCC", V4(10, 1, 2, 3), mask, subnet))
        << TakeErrorDescription().size();
    ASSERT_EQ(S_OK, UpdateInterface(connection_.get(), host, u"001122AABBCD", V4(10, 1, 2, 4), mask, subnet));
    ASSERT_EQ(S_OK, UpdateInterface(connection_.get(), host, u"001122aabbcc", V4(10, 1, 2, 3), V4(255, 255, 0, 0),
                                    V4(10, 1, 0, 0)));
    EXPECT_EQ(2, QueryLong(connection_.get(), u"SELECT COUNT(*) FROM ZELKDetectedInterfaces"));
    Var refreshedMask;
    QueryValue(connection_.get(), u"SELECT hex(IPV6Mask) FROM ZELKDetectedInterfaces WHERE MAC = '001122AABBCC'",
               refreshedMask);
    EXPECT_EQ(u"00000000000000000000FFFFFFFF0000", refreshedMask.text());
    // Nothing to identify the interface by: nothing recorded.
    ASSERT_EQ(S_OK, UpdateInterface(connection_.get(), host, nullptr, {}, {}, {}));
    EXPECT_EQ(2, QueryLong(connection_.get(), u"SELECT COUNT(*) FROM ZELKDetectedInterfaces"));
    // An unknown host id is refused by the foreign key, and nothing stays.
    EXPECT_EQ(DB_E_INTEGRITYVIOLATION,
              UpdateInterface(connection_.get(), host + 100, u"AA", V4(1, 2, 3, 4), mask, subnet));
    EXPECT_EQ(2, QueryLong(connection_.get(), u"SELECT COUNT(*) FROM ZELKDetectedInterfaces"));
}

TEST_F(ReferenceDatabase, PluginEventRowsPointAtTheirSystem) {
    const LONG host = UpdateDetectedSystem(connection_.get(), Detection()).hostId;
    for (int i = 0; i < 2; ++i) {
        Ref<_Command> insert = NewCommand(connection_.get(), kEventInsert);
        Var id = Var::Text(u"12345"), system = Var::Int(host), data = Var::Bytes({1, 2, 3}), added = Var::Date(41342.0);
        ASSERT_EQ(S_OK, AddParameter(insert.get(), adBSTR, id));
        ASSERT_EQ(S_OK, AddParameter(insert.get(), adInteger, system));
        ASSERT_EQ(S_OK, AddParameter(insert.get(), adBinary, data));
        ASSERT_EQ(S_OK, AddParameter(insert.get(), adDate, added));
        Ref<_Recordset> rs;
        ASSERT_EQ(S_OK, Execute(insert.get(), rs)) << TakeErrorDescription().size();
        EXPECT_EQ(i + 1, IdentityOf(rs.get()));
    }
    EXPECT_EQ(2, QueryLong(connection_.get(), u"SELECT COUNT(*) FROM ZELKOndrixEvents WHERE DetectedSystemId = 1"));
}

TEST_F(ReferenceDatabase, PolicyQueriesListTheBlacklistAndTheExceptions) {
    Exec(u"INSERT INTO ZELKScanBlacklist (MACorOUI) VALUES ('001122'), ('AABBCCDDEEFF')");
    Detection one, two;
    two.mac = u"00AA00AA00AA";
    UpdateDetectedSystem(connection_.get(), one);
    UpdateDetectedSystem(connection_.get(), two);
    Exec(u"UPDATE ZELKDetectedSystemProperties SET Exception = 1 WHERE MAC = '00AA00AA00AA'");
    Exec(u"INSERT INTO ZELKDetectedSystemProperties (MAC, Exception, DetectionType) VALUES ('FFFF', 1, 'external')");

    Ref<_Command> command = NewCommand(connection_.get(), kBlacklistQuery);
    Ref<_Recordset> rs;
    ASSERT_EQ(S_OK, Execute(command.get(), rs));
    EXPECT_EQ((std::vector<std::u16string>{u"001122", u"AABBCCDDEEFF"}), ColumnTexts(rs.get(), u"MACorOUI"));
    ASSERT_EQ(S_OK, rs->Close());
    Bstr exceptions(kExceptionQuery);
    ASSERT_EQ(S_OK, command->put_CommandText(exceptions.get()));  // the same command object, as the handler does
    ASSERT_EQ(S_OK, Execute(command.get(), rs));
    EXPECT_EQ((std::vector<std::u16string>{u"00AA00AA00AA"}), ColumnTexts(rs.get(), u"MAC"));
}

TEST_F(ReferenceDatabase, ProcedureCallsWithWrongArgumentsAreRefused) {
    Ref<_Command> missing = NewCommand(connection_.get(), u"ZELKSP_NoSuchProcedure", adCmdStoredProc);
    Ref<_Recordset> rs;
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, Execute(missing.get(), rs));
    EXPECT_EQ(u"Could not find stored procedure 'ZELKSP_NoSuchProcedure'.", TakeErrorDescription());

    // The schema and brackets that T-SQL allows around the name.
    Ref<_Command> qualified = NewCommand(connection_.get(), u"[dbo].[ZELKSP_UpdateInterfaces]", adCmdStoredProc);
    Var hostOnly = Var::Int(1);
    ASSERT_EQ(S_OK, AddParameter(qualified.get(), adInteger, hostOnly));
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, Execute(qualified.get(), rs, adExecuteNoRecords));
    EXPECT_NE(std::u16string::npos, TakeErrorDescription().find(u"expects parameter '@MAC'"));

    Ref<_Command> tooFew = NewCommand(connection_.get(), u"ZELKSP_UpdateInterfaces", adCmdStoredProc);
    Var host = Var::Int(1);
    ASSERT_EQ(S_OK, AddParameter(tooFew.get(), adInteger, host));
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, Execute(tooFew.get(), rs, adExecuteNoRecords));
    EXPECT_EQ(u"Procedure or function 'ZELKSP_UpdateInterfaces' expects parameter '@MAC', which was not supplied.",
              TakeErrorDescription());

    Ref<_Command> tooMany = NewCommand(connection_.get(), u"ZELKSP_UpdateInterfaces", adCmdStoredProc);
    for (int i = 0; i < 13; ++i) {
        Var value = Var::Null();
        ASSERT_EQ(S_OK, AddParameter(tooMany.get(), adInteger, value));
    }
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, Execute(tooMany.get(), rs, adExecuteNoRecords));
    EXPECT_EQ(u"Procedure or function ZELKSP_UpdateInterfaces has too many arguments specified.",
              TakeErrorDescription());
}

TEST_F(ReferenceDatabase, TablesHaveEveryColumnThePluginsReadAndWrite) {
    struct Table {
        const char16_t* name;
        std::vector<std::u16string> columns;
    };
    const Table tables[] = {
        {u"ZELKSubnetProperties",
         {u"SubnetID", u"SubnetName", u"IPV4", u"IPV4Mask", u"IPV6", u"IPV6Mask", u"IPV6Start", u"IPV6End", u"Ignored",
          u"PrevCoveredState", u"BitBucket"}},
        {u"ZELKSensorProperties",
         {u"SensorID", u"SensorName", u"LastCommunicationTime", u"AgentGUID", u"SensorType", u"ElectionType", u"DHCP",
          u"SensorVersion", u"Started", u"Description", u"Installed", u"ComputerName", u"FirstCommunicationTime",
          u"FirstRecordedTime", u"LastRecordedTime", u"LastStartedTime", u"LastStoppedTime"}},
        {u"ZELKSensorToSubnet", {u"SensorID", u"SubnetID"}},
        {u"ZELKDetectedSystemProperties", {u"HostID",
                                           u"DnsName",
                                           u"OSPlatform",
                                           u"OSFamily",
                                           u"OSVersion",
                                           u"Domain",
                                           u"NetbiosName",
                                           u"NetbiosComment",
                                           u"Users",
                                           u"AgentGUID",
                                           u"FriendlyName",
                                           u"Ignored",
                                           u"Comments",
                                           u"IPV4",
                                           u"IPV6",
                                           u"MAC",
                                           u"LastDetectedTime",
                                           u"DetectedSourceType",
                                           u"Exception",
                                           u"RogueAction",
                                           u"RecordedTime",
                                           u"NewDetection",
                                           u"ExceptionCategoryID",
                                           u"DeviceType",
                                           u"BulkInsertID",
                                           u"DetectionType"}},
        {u"ZELKOndrixEvents", {u"AutoID", u"EventID", u"DetectedSystemId", u"Data", u"EventAddedUtc"}},
        {u"ZELKScanBlacklist", {u"MACorOUI"}},
    };
    for (const Table& table : tables) {
        std::u16string query = std::u16string(u"SELECT * FROM [") + table.name + u"] WHERE 0";
        Ref<_Recordset> rs;
        Bstr text(query);
        ASSERT_EQ(S_OK, connection_->Execute(text.get(), nullptr, adCmdText, rs.out()));
        Ref<Fields> fields;
        ASSERT_EQ(S_OK, rs->get_Fields(fields.out()));
        for (const std::u16string& column : table.columns) {
            Ref<Field> field;
            Var name = Var::Text(column.c_str());
            EXPECT_EQ(S_OK, fields->get_Item(name.get(), field.out()))
                << std::string(column.begin(), column.end()) << " is missing";
        }
    }
}

TEST(ReferenceSchema, ApplyingItAgainKeepsTheData) {
    TempDir dir;
    {
        Ref<_Connection> connection = OpenReferenceDatabase(dir);
        UpdateDetectedSystem(connection.get(), Detection());
    }
    std::string error;
    ASSERT_TRUE(morvhost::ApplyReferenceSchema(dir.File("host.db"), error)) << error;
    Ref<_Connection> connection = OpenConnection(dir.File("host.db"));
    EXPECT_EQ(1, QueryLong(connection.get(), u"SELECT COUNT(*) FROM ZELKDetectedSystemProperties"));
    EXPECT_EQ(2, QueryLong(connection.get(), u"SELECT COUNT(*) FROM StoredProcedures"));
    EXPECT_FALSE(morvhost::ApplyReferenceSchema(dir.File("no/such/dir/host.db"), error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
