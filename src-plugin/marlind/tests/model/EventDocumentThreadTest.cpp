// The host may process several messages at once: each load builds its own DOM
// document and objects, so concurrent loads must neither interfere nor race.
#include <atomic>
#include <thread>

#include "DebugOutputCapture.h"
#include "TestSupport.h"

namespace {
using namespace marlind_test;

TEST(EventDocumentThreadTest, ConcurrentLoadsOfDifferentDocuments) {
    const std::string detections = ReadFileBytes(SamplePath("detections-every-device-type.xml"));
    const std::string tenDetections = ReadFileBytes(SamplePath("ten-detections.xml"));
    const std::string malformed = ReadFileBytes(SamplePath("truncated.xml"));
    const std::string withoutDhcp = ReadFileBytes(SamplePath("sensor-without-dhcp.xml"));
    DebugOutputCapture output;  // absorbed failures report from several threads at once

    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 25; ++round) {
                switch ((t + round) % 4) {
                    case 0: {
                        ZELKXML::ECEvent document = LoadPayload(detections);
                        if (document.Events.size() != 8 ||
                            !IsText(document.Events[3].Source.Node.OSType.DeviceType, "router"))
                            ++mismatches;
                        break;
                    }
                    case 1: {
                        ZELKXML::ECEvent document = LoadPayload(tenDetections);
                        if (document.Events.size() != 10) ++mismatches;
                        break;
                    }
                    case 2: {
                        ZELKXML::ECEvent document = LoadPayload(malformed);
                        if (!document.Events.empty()) ++mismatches;
                        break;
                    }
                    default: {
                        ZELKXML::ECEvent document;
                        document.LoadFromFile(Ole(SamplePath("sensor-without-dhcp.xml")).c_str());
                        if (document.Analyzer.Sensor.SensorId != 12 || !document.Events.empty()) ++mismatches;
                        break;
                    }
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(0, mismatches.load());
    // Every malformed load and every sensor without "zelk:Dhcp" said so once.
    EXPECT_EQ(50u, output.Lines().size());
}

TEST(EventDocumentThreadTest, DocumentsMovedToAnotherThreadStayWhole) {
    ZELKXML::ECEvent document = LoadPayload(ReadFileBytes(SamplePath("detections-every-device-type.xml")));
    ZELKXML::ECEvent copy = document;
    std::thread reader([&copy] {
        ZELKXML::ECEvent local = copy;
        EXPECT_EQ(8u, local.Events.size());
        EXPECT_TRUE(IsText(local.Events[1].Source.UserNames(), "LAB\\jdoe,LAB\\msmith,LAB\\Administrator"));
    });
    reader.join();
    EXPECT_EQ(8u, document.Events.size());
}
}  // namespace
