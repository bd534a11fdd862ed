// How fast a sensor upload becomes an event model: a 5 KB document with one
// sensor and ten detections of two interfaces each, loaded from its payload
// bytes as the message handler does. The baseline is libxml2 parsing the same
// bytes into its own tree, with nothing mapped.
#include <windows.h>

#include <benchmark/benchmark.h>
#include <libxml/parser.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "model/EventDocument.h"

namespace {

std::string ReadSample(const char* name) {
    std::ifstream in(std::string(MARLIND_SAMPLES_DIR) + "/" + name, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

const std::string& Document() {
    static const std::string bytes = ReadSample("ten-detections.xml");
    return bytes;
}

struct SafeArrayDestroyer {
    void operator()(SAFEARRAY* array) const { SafeArrayDestroy(array); }
};

std::unique_ptr<SAFEARRAY, SafeArrayDestroyer> MakePayload(const std::string& bytes) {
    std::unique_ptr<SAFEARRAY, SafeArrayDestroyer> array(
        SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size())));
    void* data = nullptr;
    if (array && SUCCEEDED(SafeArrayAccessData(array.get(), &data))) {
        bytes.copy(static_cast<char*>(data), bytes.size());
        SafeArrayUnaccessData(array.get());
    }
    return array;
}

void MapOnce(SAFEARRAY* payload) {
    ZELKXML::ECEvent document;
    document.LoadFromPayload(payload);
    benchmark::DoNotOptimize(document.Events.size());
}

// False when libxml2 refuses the bytes.
bool ParseOnce(const std::string& bytes) {
    xmlDocPtr document = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr, 0);
    if (!document) return false;
    benchmark::DoNotOptimize(document);
    xmlFreeDoc(document);
    return true;
}

void EventDocumentFromPayload(benchmark::State& state) {
    auto payload = MakePayload(Document());
    {
        ZELKXML::ECEvent check;
        check.LoadFromPayload(payload.get());
        if (check.Events.size() != 10 || check.Events[9].Source.Node.Interfaces.size() != 2) {
            state.SkipWithError("the benchmark document did not map as expected");
            return;
        }
    }
    for (auto _ : state) MapOnce(payload.get());
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Document().size()));
    state.counters["document_bytes"] = static_cast<double>(Document().size());
}
BENCHMARK(EventDocumentFromPayload);

void LibXml2ReadMemory(benchmark::State& state) {
    const std::string& bytes = Document();
    for (auto _ : state) {
        if (!ParseOnce(bytes)) {
            state.SkipWithError("libxml2 refused the benchmark document");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(LibXml2ReadMemory);

// Both in turn, a few documents each: the machine's speed drifts over
// seconds, and blocks this short see the same drift on both sides. The
// "times_raw_parse" counter is the mapping's time over the raw parse's.
void MappingAndRawParseInTurn(benchmark::State& state) {
    constexpr int kBlock = 8;
    const std::string& bytes = Document();
    auto payload = MakePayload(bytes);
    using Clock = std::chrono::steady_clock;
    Clock::duration mapping{}, parsing{};
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < kBlock; ++i) MapOnce(payload.get());
        const Clock::time_point middle = Clock::now();
        for (int i = 0; i < kBlock; ++i) {
            if (!ParseOnce(bytes)) {
                state.SkipWithError("libxml2 refused the benchmark document");
                return;
            }
        }
        parsing += Clock::now() - middle;
        mapping += middle - start;
    }
    const double documents = static_cast<double>(state.iterations()) * kBlock;
    state.counters["mapping_ns"] = std::chrono::duration<double, std::nano>(mapping).count() / documents;
    state.counters["raw_parse_ns"] = std::chrono::duration<double, std::nano>(parsing).count() / documents;
    state.counters["times_raw_parse"] =
        std::chrono::duration<double>(mapping).count() / std::chrono::duration<double>(parsing).count();
}
BENCHMARK(MappingAndRawParseInTurn);

}  // namespace

BENCHMARK_MAIN();
