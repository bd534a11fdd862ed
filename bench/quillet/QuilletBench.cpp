// ProcessPolicy calls per second on a host database holding 10,000 scan
// blacklist rows and 10,000 systems marked as exceptions, with Quillet
// registered and activated by CLSID as the host does; beside it, the time of
// the two queries alone through the SQLite C API in the same run (the floor
// under any implementation), and a declined policy (parsing only).
#include <benchmark/benchmark.h>

#include <windows.h>
#include <adoint.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "Quillet.h"  // the plug-in as a host knows it: its CLSID and the host's interface
#include "comsupport/Bstr.h"
#include "comsupport/ComRef.h"
#include "ReferenceSchema.h"
#include "support/TempFolder.h"

COMSUPPORT_INTERFACE_ID(_ADOConnection, IID__Connection)

namespace {

using comsupport::Bstr;
using comsupport::ComRef;

constexpr int kRows = 10000;

const char kBothLists[] =
    "<SensorPolicy><Section name=\"Detection\"><Setting name=\"SubnetScanEnabled\">1</Setting>"
    "<Setting name=\"OSFingerprintingEnabled\">1</Setting><Setting name=\"ScanSystemsMarkedAsException\">0</Setting>"
    "</Section></SensorPolicy>";
const char kDeclined[] =
    "<SensorPolicy><Section name=\"General\"><Setting name=\"X\">1</Setting></Section></SensorPolicy>";

void Check(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error(what);
}

// One host database, one registration, one activated object for the whole run.
class Host {
public:
    Host() {
        setenv("WINCOMPAT_REGISTRY_DIR", folder_.File("registry").c_str(), 1);
        Check(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)), "CoInitializeEx");
        database_ = folder_.File("host.db");
        std::string error;
        Check(morvhost::ApplyReferenceSchema(database_, error), error);
        Seed();

        HMODULE library = LoadLibraryW(comsupport::OleFromUtf8(QUILLET_LIBRARY).c_str());
        Check(library != nullptr, "cannot load " QUILLET_LIBRARY);
        auto registerServer = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
            reinterpret_cast<void (*)()>(GetProcAddress(library, "DllRegisterServer")));
        Check(registerServer && registerServer() == S_OK, "DllRegisterServer");
        Check(CoCreateInstance(CLSID_QuilletObj, nullptr, CLSCTX_INPROC_SERVER, IID_IMORVAgentPolicyHandler,
                               handler_.ReceiveVoid()) == S_OK,
              "activation by CLSID");
        connection_ = ComRef<_ADOConnection>::Create(CLSID_Connection);
        connection_.Call(&_ADOConnection::Open, Bstr::FromUtf8("Provider=SQLite;Data Source=" + database_).Get(),
                         static_cast<BSTR>(nullptr), static_cast<BSTR>(nullptr),
                         static_cast<LONG>(adOptionUnspecified));
    }
    ~Host() {
        handler_.Reset();
        connection_.Reset();
        CoUninitialize();
    }

    IMORVAgentPolicyHandler* Handler() const { return handler_.Get(); }
    IUnknown* Connection() const { return connection_.Get(); }
    const std::string& Database() const { return database_; }

private:
    void Seed() {
        sqlite3* db = nullptr;
        Check(sqlite3_open(database_.c_str(), &db) == SQLITE_OK, "sqlite3_open");
        std::string sql = "BEGIN;";
        char row[200];
        for (int i = 0; i < kRows; ++i) {
            snprintf(row, sizeof row, "INSERT INTO ZELKScanBlacklist (MACorOUI) VALUES ('02:00:00:%02X:%02X:%02X');",
                     (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
            sql += row;
            snprintf(row, sizeof row,
                     "INSERT INTO ZELKDetectedSystemProperties (MAC, Exception, DetectionType) "
                     "VALUES ('0A00%08X', 1, 'detectedSystem');",
                     static_cast<unsigned>(i));
            sql += row;
        }
        sql += "COMMIT;";
        char* message = nullptr;
        int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
        std::string text = message ? message : "";
        sqlite3_free(message);
        sqlite3_close(db);
        Check(rc == SQLITE_OK, "seeding: " + text);
    }

    wincompat_test::TempFolder folder_{"quillet-bench"};
    std::string database_;
    ComRef<IMORVAgentPolicyHandler> handler_;
    ComRef<_ADOConnection> connection_;
};

Host& TheHost() {
    static Host* host = new Host;  // lives for the whole run
    return *host;
}

void RunPolicy(benchmark::State& state, const char* policyText, HRESULT expected) {
    Host& host = TheHost();
    Bstr policy = Bstr::FromUtf8(policyText);
    size_t outputBytes = 0;
    for (auto _ : state) {
        BSTR out = nullptr;
        HRESULT hr = host.Handler()->ProcessPolicy(host.Connection(), 0, nullptr, nullptr, nullptr, policy.Get(), &out);
        if (hr != expected) state.SkipWithError("unexpected ProcessPolicy result");
        outputBytes = SysStringLen(out);
        SysFreeString(out);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["output_chars"] = static_cast<double>(outputBytes);
}

void BM_ProcessPolicy_BothLists(benchmark::State& state) { RunPolicy(state, kBothLists, S_OK); }
void BM_ProcessPolicy_Declined(benchmark::State& state) { RunPolicy(state, kDeclined, S_FALSE); }

const char* const kQueries[] = {
    "select MACorOUI from ZELKScanBlacklist",
    "select MAC from ZELKDetectedSystemProperties where [Exception] = 1 AND [DetectionType] = 'detectedSystem'"};

// The two queries with the SQLite C API, each prepared, stepped and its column
// joined with "|" as the handler does (SQLite spells the Unicode literal
// without N). Returns the rows joined.
size_t TwoQueriesOnce(sqlite3* db) {
    size_t rows = 0;
    for (const char* query : kQueries) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, query, -1, &statement, nullptr);
        std::string list;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            if (sqlite3_column_type(statement, 0) != SQLITE_TEXT) continue;
            if (!list.empty() || rows) list += '|';
            list.append(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)),
                        static_cast<size_t>(sqlite3_column_bytes(statement, 0)));
            ++rows;
        }
        sqlite3_finalize(statement);
        benchmark::DoNotOptimize(list);
    }
    return rows;
}

sqlite3* OpenReadOnly(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) return db;
    sqlite3_close(db);
    return nullptr;
}

void BM_TwoQueries_SqliteCApi(benchmark::State& state) {
    Host& host = TheHost();
    sqlite3* db = OpenReadOnly(host.Database());
    if (!db) {
        state.SkipWithError("sqlite3_open");
        return;
    }
    size_t rows = 0;
    for (auto _ : state) rows = TwoQueriesOnce(db);
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations());
    state.counters["rows"] = static_cast<double>(rows);
}

// ProcessPolicy and the two queries in turn, one each per iteration: the
// machine's speed drifts over seconds, and both sides see the same drift.
// The "times_queries" counter is ProcessPolicy's time over the queries'.
void BM_PolicyAndQueriesInTurn(benchmark::State& state) {
    Host& host = TheHost();
    sqlite3* db = OpenReadOnly(host.Database());
    if (!db) {
        state.SkipWithError("sqlite3_open");
        return;
    }
    Bstr policy = Bstr::FromUtf8(kBothLists);
    using Clock = std::chrono::steady_clock;
    Clock::duration handler{}, queries{};
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        BSTR out = nullptr;
        HRESULT hr = host.Handler()->ProcessPolicy(host.Connection(), 0, nullptr, nullptr, nullptr, policy.Get(), &out);
        SysFreeString(out);
        const Clock::time_point middle = Clock::now();
        benchmark::DoNotOptimize(TwoQueriesOnce(db));
        queries += Clock::now() - middle;
        handler += middle - start;
        if (hr != S_OK) state.SkipWithError("unexpected ProcessPolicy result");
    }
    sqlite3_close(db);
    const double runs = static_cast<double>(state.iterations());
    state.counters["policy_ms"] = std::chrono::duration<double, std::milli>(handler).count() / runs;
    state.counters["queries_ms"] = std::chrono::duration<double, std::milli>(queries).count() / runs;
    state.counters["times_queries"] =
        std::chrono::duration<double>(handler).count() / std::chrono::duration<double>(queries).count();
}

BENCHMARK(BM_TwoQueries_SqliteCApi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessPolicy_BothLists)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessPolicy_Declined)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PolicyAndQueriesInTurn)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
