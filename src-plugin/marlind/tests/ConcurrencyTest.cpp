// Many host threads on one handler object, each with its own connection to one
// database, as a host with many sensors calls it.
#include <thread>

#include "PluginTestSupport.h"

namespace marlind_test {
namespace {

constexpr int kThreads = 8;
constexpr int kMessagesPerThread = 4;
constexpr int kDetectionsPerMessage = 3;

// Each thread speaks for its own sensor and its own machines; with `sharedSubnet`
// every sensor watches 10.1.2.0/24, otherwise each watches one of its own.
std::string Message(int thread, int message, bool sharedSubnet) {
    char agent[64];
    std::snprintf(agent, sizeof agent, "{6F9619FF-8B86-D011-B42D-%012X}", thread + 1);
    std::string events;
    for (int d = 0; d < kDetectionsPerMessage; ++d) {
        const int host = (thread * kMessagesPerThread + message) * kDetectionsPerMessage + d + 1;
        events += Detection(host, d % 2 ? "host.detected.dhcp" : "host.detected.broadcast");
    }
    events += Detection(100000 + thread, "host.os.changed");  // never recorded
    const std::string subnet = sharedSubnet ? "10.1.2.0" : "10.1." + std::to_string(100 + thread) + ".0";
    const std::string analyzer =
        AnalyzerXml(AgentXml(agent) + "<zelk:Name>sensor" + std::to_string(thread) +
                    "</zelk:Name><zelk:SubnetMask>255.255.255.0</zelk:SubnetMask><zelk:NetworkAddress>" + subnet +
                    "</zelk:NetworkAddress>");
    return EventDocument(events, analyzer);
}

class ConcurrentMessages : public RegisteredPluginTest {
protected:
    // Every thread sends its messages through the one handler, each over a connection of its own.
    void SendFromEveryThread(bool sharedSubnet) {
        std::vector<HRESULT> results(kThreads * kMessagesPerThread, E_FAIL);
        std::vector<std::thread> threads;
        IMORVDCMsgHandler* handler = handler_.Get();
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return;
                try {
                    ZELKDAO::ConnectionRef connection = ZELKDAO::ConnectionRef::Create(ZELKDAO::kCLSID_Connection);
                    comsupport::Bstr text = comsupport::Bstr::FromUtf8("Provider=SQLite;Data Source=" + databasePath_);
                    connection.Call(&_ADOConnection::Open, text.Get(), static_cast<BSTR>(nullptr),
                                    static_cast<BSTR>(nullptr), static_cast<LONG>(adConnectUnspecified));
                    comsupport::Bstr type(kSensorEventType);
                    for (int m = 0; m < kMessagesPerThread; ++m) {
                        SafeArrayPtr payload = MakePayload(Message(t, m, sharedSubnet));
                        results[t * kMessagesPerThread + m] =
                            handler->ProcessDCMessageFromAgent(connection.Get(), nullptr, nullptr, nullptr, nullptr,
                                                               type.Get(), nullptr, payload.get(), nullptr);
                    }
                } catch (const std::exception& error) {
                    ADD_FAILURE() << "thread " << t << ": " << error.what();
                }
                CoUninitialize();
            });
        }
        for (std::thread& thread : threads) thread.join();
        for (HRESULT hr : results) EXPECT_EQ(S_OK, hr);
    }

    void ExpectEveryDetectionCreditedToItsSensor() {
        const std::string perThread = std::to_string(kMessagesPerThread * kDetectionsPerMessage);
        // Host n came from thread (n - 1) / perThread, whose agent ends in that number plus one.
        EXPECT_EQ("0", Scalar("SELECT COUNT(*) FROM ZELKDetectedSystemProperties d JOIN ZELKSensorProperties s "
                              "ON s.SensorID = d.SourceSensorID WHERE (CAST(substr(d.DnsName, 5) AS INTEGER) - 1) / " +
                              perThread + " <> CAST(substr(s.AgentGUID, 26, 12) AS INTEGER) - 1"));
        EXPECT_EQ("0", Scalar("SELECT COUNT(*) FROM ZELKDetectedSystemProperties WHERE SourceSensorID NOT IN "
                              "(SELECT SensorID FROM ZELKSensorProperties)"));
    }
};

TEST_F(ConcurrentMessages, ThreadsSharingOneHandlerStoreEveryRow) {
    DebugOutputCapture output;
    SendFromEveryThread(false);
    EXPECT_TRUE(output.Lines().empty()) << output.Lines().size() << " failures, first: " << output.Lines().front();
    EXPECT_EQ(size_t(kThreads), Count("ZELKSensorProperties"));
    EXPECT_EQ(size_t(kThreads), Count("ZELKSubnetProperties"));
    EXPECT_EQ(size_t(kThreads), Count("ZELKSensorToSubnet"));
    EXPECT_EQ(size_t(kThreads * kMessagesPerThread * kDetectionsPerMessage), Count("ZELKDetectedSystemProperties"));
    ExpectEveryDetectionCreditedToItsSensor();
}

// Sensors whose first messages arrive at once and name the same subnet: two
// of them can both miss the subnet and race to insert it; the loser takes the
// row the winner stored, and every sensor gets its link without a failure.
TEST_F(ConcurrentMessages, ThreadsWhoseSensorsShareASubnetEachGetTheirLink) {
    DebugOutputCapture output;
    SendFromEveryThread(true);
    EXPECT_TRUE(output.Lines().empty()) << output.Lines().size() << " failures, first: " << output.Lines().front();
    EXPECT_EQ(1u, Count("ZELKSubnetProperties"));
    EXPECT_EQ(size_t(kThreads), Count("ZELKSensorToSubnet"));
    EXPECT_EQ(size_t(kThreads * kMessagesPerThread * kDetectionsPerMessage), Count("ZELKDetectedSystemProperties"));
}

}  // namespace
}  // namespace marlind_test
