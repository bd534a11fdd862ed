// How fast a sensor upload becomes an event model: a 5 KB document with one
// sensor and ten detections of two interfaces each, loaded from its payload
// bytes as the message handler does. The baseline is libxml2 parsing the same
// bytes into its own tree, with nothing mapped.
#include <windows.h>

#include <benchmark/benchmark.h>
#include <libxml/parser.h>

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
    for (auto _ : state) {
        ZELKXML::ECEvent document;
        document.LoadFromPayload(payload.get());
        benchmark::DoNotOptimize(document.Events.size());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Document().size()));
    state.counters["document_bytes"] = static_cast<double>(Document().size());
}
BENCHMARK(EventDocumentFromPayload);

void LibXml2ReadMemory(benchmark::State& state) {
    const std::string& bytes = Document();
    for (auto _ : state) {
        xmlDocPtr document = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr, 0);
        if (!document) {
            state.SkipWithError("libxml2 refused the benchmark document");
            return;
        }
        benchmark::DoNotOptimize(document);
        xmlFreeDoc(document);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(LibXml2ReadMemory);

}  // namespace

BENCHMARK_MAIN();
