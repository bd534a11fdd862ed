// Many host threads on one handler object, each with its own connection to one
// database, as a host with many sensors calls it.
#include <thread>

#include "PluginTestSupport.h"

namespace marlind_plugin_test {
namespace {

constexpr int kThreads = 8;
constexpr int kMessagesPerThread = 4;
constexpr int kDetectionsPerMessage = 3;

// Each thread speaks for its own sensor and its own machines.
std::string Message(int thread, int message) {
    char agent[64];
    std::snprintf(agent, sizeof agent, "{6F9619FF-8B86-D011-B42D-%012X}", thread + 1);
    std::string events;
    for (int d = 0; d < kDetectionsPerMessage; ++d) {
        const int host = (thread * kMessagesPerThread + message) * kDetectionsPerMessage + d + 1;
        events += Detection(host, d % 2 ? "host.detected.dhcp" : "host.detected.broadcast");
    }
    events += Detection(100000 + thread, "host.os.changed");  // never recorded
    return EventDocument(events, LabAnalyzer(agent));
}

using ConcurrentMessages = RegisteredPluginTest;

TEST_F(ConcurrentMessages, ThreadsSharingOneHandlerStoreEveryRow) {
    DebugOutputCapture output;
    std::vector<HRESULT> results(kThreads * kMessagesPerThread, E_FAIL);
    std::vector<std::thread> threads;
    IMORVDCMsgHandler* handler = handler_.Get();
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return;
            try {
                // One connection per host thread, as the host's pool hands them out.
                ZELKDAO::ConnectionRef connection = ZELKDAO::ConnectionRef::Create(ZELKDAO::kCLSID_Connection);
                comsupport::Bstr text = comsupport::Bstr::FromUtf8("Provider=SQLite;Data Source=" + databasePath_);
                connection.Call(&_ADOConnection::Open, text.Get(), static_cast<BSTR>(nullptr),
                                static_cast<BSTR>(nullptr), static_cast<LONG>(adConnectUnspecified));
                comsupport::Bstr type(kSensorEventType);
                for (int m = 0; m < kMessagesPerThread; ++m) {
                    SafeArrayPtr payload = MakePayload(Message(t, m));
                    results[t * kMessagesPerThread + m] = handler->ProcessDCMessageFromAgent(
                        connection.Get(), nullptr, nullptr, nullptr, nullptr, type.Get(), nullptr, payload.get(),
                        nullptr);
                }
            } catch (const std::exception& error) {
                ADD_FAILURE() << "thread " << t << ": " << error.what();
            }
            CoUninitialize();
        });
    }
    for (std::thread& thread : threads) thread.join();

    for (HRESULT hr : results) EXPECT_EQ(S_OK, hr);
    EXPECT_TRUE(output.Lines().empty()) << output.Lines().size() << " failures, first: " << output.Lines().front();
    EXPECT_EQ(size_t(kThreads), Count("ZELKSensorProperties"));
    EXPECT_EQ(size_t(kThreads), Count("ZELKSensorToSubnet")) << "one shared subnet, one link per sensor";
    EXPECT_EQ(1u, Count("ZELKSubnetProperties"));
    EXPECT_EQ(size_t(kThreads * kMessagesPerThread * kDetectionsPerMessage), Count("ZELKDetectedSystemProperties"));
    // Every detection is credited to the sensor of the thread that sent it.
    EXPECT_EQ("0", Scalar("SELECT COUNT(*) FROM ZELKDetectedSystemProperties d JOIN ZELKSensorProperties s "
                          "ON s.SensorID = d.SourceSensorID WHERE CAST(substr(d.DnsName, 5) AS INTEGER) - 1 < "
                          "(CAST(substr(s.AgentGUID, 26, 12) AS INTEGER) - 1) * " +
                          std::to_string(kMessagesPerThread * kDetectionsPerMessage) +
                          " OR CAST(substr(d.DnsName, 5) AS INTEGER) - 1 >= "
                          "CAST(substr(s.AgentGUID, 26, 12) AS INTEGER) * " +
                          std::to_string(kMessagesPerThread * kDetectionsPerMessage)));
    EXPECT_EQ("0", Scalar("SELECT COUNT(*) FROM ZELKDetectedSystemProperties WHERE SourceSensorID NOT IN "
                          "(SELECT SensorID FROM ZELKSensorProperties)"));
}

}  // namespace
}  // namespace marlind_plugin_test
