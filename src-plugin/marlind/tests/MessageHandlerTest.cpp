// Upstream messages through the registry-activated handler, as the host sends
// them: what is refused, what is ignored, what is recorded and in what order,
// and how a failure part-way ends a message without the host hearing of it.
#include <atomic>

#include "PluginTestSupport.h"

namespace marlind_test {
namespace {

size_t CountContaining(const std::vector<std::string>& lines, const std::string& part) {
    size_t count = 0;
    for (const std::string& line : lines) count += line.find(part) != std::string::npos;
    return count;
}

std::string SystemText(HRESULT hr) { return comsupport::Utf8FromOle(comsupport::SystemMessageFor(hr)); }

const std::string kThreeKinds =
    Detection(1, "host.detected.broadcast") + Detection(2, "host.os.changed") + Detection(3, "HOST.DETECTED.DHCP");

using MessageHandler = RegisteredPluginTest;

TEST_F(MessageHandler, NullPayloadIsRefusedBeforeTheMessageTypeIsLookedAt) {
    DebugOutputCapture output;
    EXPECT_EQ(E_POINTER, Send(Connection(), u"ZELKMETA_NoOp", nullptr));
    EXPECT_EQ(E_POINTER, Send(Connection(), kSensorEventType, nullptr));
    EXPECT_EQ(E_POINTER, Send(nullptr, nullptr, nullptr));
    EXPECT_TRUE(NewStatements().empty());
    EXPECT_TRUE(output.Lines().empty());
}

TEST_F(MessageHandler, NoOpInAnyLetterCaseIsAnsweredWithoutParsingOrDatabaseAccess) {
    DebugOutputCapture output;
    const std::string recordable = EventDocument(Detection(1, "host.detected.dhcp"));
    for (const char16_t* type : {u"ZELKMETA_NoOp", u"zelkmeta_noop", u"ZELKMETA_NOOP", u"zElKmEtA_nOoP"}) {
        EXPECT_EQ(S_OK, Send(type, recordable));
        EXPECT_EQ(S_OK, Send(type, "not XML at all"));
    }
    EXPECT_TRUE(NewStatements().empty()) << "a no-op message reached the database";
    EXPECT_TRUE(output.Lines().empty()) << "a no-op message was parsed: " << output.Lines().front();
    EXPECT_EQ(0u, Count("ZELKSensorProperties"));
}

TEST_F(MessageHandler, MessageTypesThatOnlyResembleTheNoOpAreProcessed) {
    const std::string document = EventDocument(Detection(1, "host.detected.dhcp"));
    // Neither a longer nor a shorter word, nor one with a letter that only looks alike (KELVIN SIGN), nor none.
    for (const char16_t* type : {u"ZELKMETA_NoOpX", u"ZELKMETA_NoO", u"ZEL\u212AMETA_NoOp", u""}) {
        EXPECT_EQ(S_OK, Send(type, document));
        EXPECT_FALSE(NewStatements().empty()) << "not processed: " << comsupport::Utf8FromOle(type);
    }
    SafeArrayPtr payload = MakePayload(document);
    EXPECT_EQ(S_OK, Send(Connection(), nullptr, payload.get()));
    EXPECT_FALSE(NewStatements().empty()) << "a null message type is the empty text";
    EXPECT_EQ(1u, Count("ZELKSensorProperties"));
    EXPECT_EQ(1u, Count("ZELKDetectedSystemProperties"));
}

TEST_F(MessageHandler, UnreadablePayloadsStillRunTheSensorSaveOnceAndRecordNoDetection) {
    const std::vector<std::string> payloads = {
        EventDocument(Detection(1, "host.detected.dhcp")).substr(0, 400),  // cut short
        "<zelk:EventList xmlns:zelk=\"urn:zelk:event\"><zelk:Event></zelk:EventList>",
        std::string("\xFF\xFE<\x00?\x00", 6),
    };
    for (const std::string& bytes : payloads) {
        DebugOutputCapture output;
        EXPECT_EQ(S_OK, Send(kSensorEventType, bytes));
        const std::vector<std::string> lines = output.Lines();
        EXPECT_EQ(1u, CountContaining(lines, "event document not loaded")) << bytes;
        // The empty document's sensor has no agent identity: its save runs and writes nothing.
        EXPECT_EQ(1u, CountContaining(lines, "sensor not recorded")) << bytes;
    }
    EXPECT_TRUE(NewStatements().empty());
    EXPECT_EQ(0u, Count("ZELKDetectedSystemProperties"));

    // An empty array holds no document at all: only the sensor's save speaks.
    DebugOutputCapture output;
    EXPECT_EQ(S_OK, Send(kSensorEventType, ""));
    EXPECT_EQ(1u, CountContaining(output.Lines(), "sensor not recorded"));
}

TEST_F(MessageHandler, RecordsBroadcastAndDhcpDetectionsOnlyInDocumentOrder) {
    const std::string events = Detection(1, "host.detected.broadcast") + Detection(2, "host.os.changed") +
                               Detection(4, "") +  // no classification at all
                               "<zelk:Event><zelk:Classification/></zelk:Event>" + Detection(5, " host.detected.dhcp") +
                               Detection(3, "HOST.DETECTED.DHCP");
    DebugOutputCapture output;
    ASSERT_EQ(S_OK, SendEvent(EventDocument(events)));
    EXPECT_TRUE(output.Lines().empty()) << output.Lines().front();

    const std::string sensorId = Scalar("SELECT SensorID FROM ZELKSensorProperties");
    const std::vector<Row> expected = {{"host1.lab", "zelk.broadcast", sensorId}, {"host3.lab", "zelk.dhcp", sensorId}};
    EXPECT_EQ(expected, DetectedSystems());

    // The sensor first, then one detected-system call per recorded detection.
    std::vector<std::string> procedures;
    const std::vector<marlind_test::LoggedStatement> statements = NewStatements();
    ASSERT_FALSE(statements.empty());
    EXPECT_EQ("SELECT * FROM [ZELKSensorProperties] WHERE (([AgentGUID] = ?));", statements.front().text);
    for (const marlind_test::LoggedStatement& statement : statements)
        if (statement.commandType == "storedproc" && statement.text == "ZELKSP_UpdateDetectedSystems")
            procedures.push_back(statement.parameters.at(0).value);
    EXPECT_EQ((std::vector<std::string>{"host1.lab", "host3.lab"}), procedures);
}

TEST_F(MessageHandler, EachMessageSavesItsSensorOnceAlsoWithoutEvents) {
    ASSERT_EQ(S_OK, SendEvent(EventDocument("")));
    size_t sensorWrites = 0;
    for (const marlind_test::LoggedStatement& statement : NewStatements())
        sensorWrites += statement.text.rfind("UPDATE [ZELKSensorProperties]", 0) == 0;
    EXPECT_EQ(1u, sensorWrites);
    EXPECT_EQ(1u, Count("ZELKSensorProperties"));
    EXPECT_EQ(1u, Count("ZELKSensorToSubnet"));
    EXPECT_EQ(0u, Count("ZELKDetectedSystemProperties"));
}

// A host database whose sensor ids are texts: the id of the saved sensor does
// not convert to an integer, which ends the message at the first detection.
TEST_F(MessageHandler, ACOMErrorEndsTheMessageWithTheSystemTextAndStillSucceeds) {
    Exec(
        "DROP TABLE ZELKSensorToSubnet; DROP TABLE ZELKSensorProperties;"
        "CREATE TABLE ZELKSensorProperties (SensorID nvarchar(20) DEFAULT 'unassigned', SensorName nvarchar(255),"
        " LastCommunicationTime datetime, AgentGUID uniqueidentifier COLLATE NOCASE UNIQUE, SensorType int,"
        " ElectionType int, DHCP bit, SensorVersion nvarchar(50), Started bit, Description nvarchar(1024),"
        " Installed bit, ComputerName nvarchar(255), FirstCommunicationTime datetime, FirstRecordedTime datetime,"
        " LastRecordedTime datetime, LastStartedTime datetime, LastStoppedTime datetime);"
        "CREATE TABLE ZELKSensorToSubnet (SensorID nvarchar(20), SubnetID int, PRIMARY KEY (SensorID, SubnetID));");
    DebugOutputCapture output;
    ASSERT_EQ(S_OK, SendEvent(EventDocument(kThreeKinds)));
    EXPECT_EQ("unassigned", Scalar("SELECT SensorID FROM ZELKSensorProperties")) << "the sensor was saved first";
    EXPECT_EQ(0u, Count("ZELKDetectedSystemProperties")) << "no detection after the failure";
    const std::vector<std::string> lines = output.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_FALSE(SystemText(DISP_E_TYPEMISMATCH).empty());
    EXPECT_EQ(SystemText(DISP_E_TYPEMISMATCH), lines.back());
    EXPECT_NE('\n', lines.back().back());

    // The next message on the same object is processed afresh.
    Exec("UPDATE ZELKSensorProperties SET SensorID = '41'");
    ASSERT_EQ(S_OK, SendEvent(EventDocument(kThreeKinds)));
    const std::vector<Row> expected = {{"host1.lab", "zelk.broadcast", "41"}, {"host3.lab", "zelk.dhcp", "41"}};
    EXPECT_EQ(expected, DetectedSystems());
}

// Stands in for a host connection object that is not ADO.
class NotAConnection final : public IUnknown {
public:
    explicit NotAConnection(HRESULT answer) : answer_(answer) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (IsEqualGUID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        ++queries;
        return answer_;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--refs); }
    std::atomic<int> refs{1};
    int queries = 0;

private:
    HRESULT answer_;
};

TEST_F(MessageHandler, WithoutAnAdoConnectionTheMessageIsParsedAndTheSavesReportTheirFailure) {
    const std::string document = EventDocument(kThreeKinds);
    NotAConnection other(E_NOINTERFACE);
    for (IUnknown* connection : {static_cast<IUnknown*>(&other), static_cast<IUnknown*>(nullptr)}) {
        DebugOutputCapture output;
        SafeArrayPtr payload = MakePayload(document);
        EXPECT_EQ(S_OK, Send(connection, kSensorEventType, payload.get()));
        // The sensor and both detections try to save, and each reports.
        EXPECT_EQ(3u, output.Lines().size());
    }
    EXPECT_EQ(0u, Count("ZELKSensorProperties"));
    EXPECT_EQ(1, other.queries);
    EXPECT_EQ(1, other.refs.load()) << "every reference taken was released";
}

TEST_F(MessageHandler, AConnectionQueryFailingOtherwiseEndsTheMessageBeforeParsing) {
    NotAConnection broken(E_UNEXPECTED);
    DebugOutputCapture output;
    SafeArrayPtr payload = MakePayload("not even XML");
    EXPECT_EQ(S_OK, Send(&broken, kSensorEventType, payload.get()));
    EXPECT_EQ((std::vector<std::string>{SystemText(E_UNEXPECTED)}), output.Lines());
    EXPECT_EQ(1, broken.refs.load());
}

// The reply channel the host hands in; the plug-in never answers an agent.
class UntouchableResponse final : public IMORVDCAgentUploadResponse {
public:
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        ADD_FAILURE() << "QueryInterface on the reply channel";
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        ADD_FAILURE() << "AddRef on the reply channel";
        return 2;
    }
    STDMETHODIMP_(ULONG) Release() override {
        ADD_FAILURE() << "Release on the reply channel";
        return 1;
    }
    STDMETHODIMP AddMessage(BSTR, BSTR, SAFEARRAY*) override {
        ADD_FAILURE() << "a reply was sent";
        return S_OK;
    }
};

TEST_F(MessageHandler, NeverRepliesToTheAgent) {
    UntouchableResponse response;
    SafeArrayPtr payload = MakePayload(EventDocument(kThreeKinds));
    EXPECT_EQ(S_OK, Send(Connection(), kSensorEventType, payload.get(), &response));
    EXPECT_EQ(2u, Count("ZELKDetectedSystemProperties"));
}

TEST_F(MessageHandler, DownstreamMessagesAreNotImplementedWhateverTheArguments) {
    EXPECT_EQ(E_NOTIMPL, handler_->ProcessDCMessageFromDatabase(nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr,
                                                                nullptr, nullptr, nullptr, nullptr));
    comsupport::Bstr text(u"ZELKMETA_SensorEvent");
    SafeArrayPtr payload = MakePayload(EventDocument(kThreeKinds));
    EXPECT_EQ(E_NOTIMPL,
              handler_->ProcessDCMessageFromDatabase(Connection(), text.Get(), 17, -1, text.Get(), text.Get(),
                                                     text.Get(), text.Get(), text.Get(), text.Get(), payload.get()));
    EXPECT_TRUE(NewStatements().empty());
}

}  // namespace
}  // namespace marlind_test
