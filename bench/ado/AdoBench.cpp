// Statements per second through the ADO objects, as the data-channel plug-in
// runs them (a new Command per statement, parameters appended one by one),
// next to the same statements through the SQLite C API with a statement
// prepared once: the ratio is the cost of the ADO layer.
//
// Run a Release build (scripts/pgo-build makes the one whose figures we
// quote): ado_bench --benchmark_counters_tabular=true. On a machine whose
// speed drifts, the ratios to quote are those of the in-turn benchmarks:
// ado_bench --benchmark_filter=InTurn --benchmark_repetitions=3
// --benchmark_min_time=1
#include <windows.h>

#include <adoid.h>
#include <adoint.h>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "ReferenceSchema.h"
#include "support/TempFolder.h"

namespace {

const char16_t* const kInsert =
    u"SET NOCOUNT ON;\nINSERT INTO [ZELKSubnetProperties] ([SubnetName],[IPV6],[IPV6Mask])\nVALUES (?,?,?);\nSELECT "
    u"SCOPE_IDENTITY();\n";
const char* const kInsertNative = "INSERT INTO [ZELKSubnetProperties] ([SubnetName],[IPV6],[IPV6Mask]) VALUES (?,?,?)";
const char16_t* const kSelect = u"SELECT * FROM [ZELKSubnetProperties] WHERE (([SubnetID] = ?));";
const char* const kSelectNative = "SELECT * FROM [ZELKSubnetProperties] WHERE (([SubnetID] = ?))";
constexpr int kPreloadedRows = 10000;

// A fresh reference database in a temporary directory, removed at the end.
class BenchDatabase {
public:
    BenchDatabase() : path_(folder_.File("bench.db")) {
        std::string error;
        if (!morvhost::ApplyReferenceSchema(path_, error)) throw std::runtime_error(error);
    }
    const std::string& path() const { return path_; }

private:
    wincompat_test::TempFolder folder_{"zelk-ado-bench"};
    std::string path_;
};

std::vector<uint8_t> Address(int n) {
    return {0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0xFF,
            0xFF,
            static_cast<uint8_t>(n >> 24),
            static_cast<uint8_t>(n >> 16),
            static_cast<uint8_t>(n >> 8),
            static_cast<uint8_t>(n)};
}
const std::vector<uint8_t> kMask = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};

VARIANT BytesVariant(const std::vector<uint8_t>& bytes) {
    VARIANT v;
    v.vt = VT_ARRAY | VT_UI1;
    v.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    void* data = nullptr;
    SafeArrayAccessData(v.parray, &data);
    memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(v.parray);
    return v;
}

_Connection* OpenAdo(const std::string& path) {
    _Connection* connection = nullptr;
    CoCreateInstance(CLSID_Connection, nullptr, CLSCTX_INPROC_SERVER, IID__Connection,
                     reinterpret_cast<void**>(&connection));
    std::u16string text = u"Provider=SQLite;Data Source=" + std::u16string(path.begin(), path.end());
    BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    HRESULT hr = connection->Open(b, nullptr, nullptr, adConnectUnspecified);
    SysFreeString(b);
    if (FAILED(hr)) throw std::runtime_error("cannot open the database through ADO");
    return connection;
}

sqlite3* OpenNative(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot open the database");
    sqlite3_busy_timeout(db, 30000);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON", nullptr, nullptr,
                 nullptr);
    return db;
}

// One statement the way the plug-ins' table mapper runs it.
_Recordset* RunAdo(_Connection* connection, const char16_t* text, std::vector<std::pair<DataTypeEnum, VARIANT>>& args) {
    _Command* command = nullptr;
    CoCreateInstance(CLSID_Command, nullptr, CLSCTX_INPROC_SERVER, IID__Command, reinterpret_cast<void**>(&command));
    command->putref_ActiveConnection(connection);
    BSTR b = SysAllocString(text);
    command->put_CommandText(b);
    SysFreeString(b);
    command->put_CommandType(adCmdText);
    Parameters* parameters = nullptr;
    command->get_Parameters(&parameters);
    for (auto& arg : args) {
        _Parameter* parameter = nullptr;
        command->CreateParameter(nullptr, arg.first, adParamInput, 0, arg.second, &parameter);
        parameters->Append(parameter);
        parameter->Release();
    }
    parameters->Release();
    _Recordset* recordset = nullptr;
    if (FAILED(command->Execute(nullptr, nullptr, adOptionUnspecified, &recordset))) throw std::runtime_error("failed");
    command->Release();
    return recordset;
}

// One parameterised INSERT and the read of its identity, as the table mapper
// does it.
void AdoInsertOnce(_Connection* connection, int n) {
    VARIANT name;
    name.vt = VT_BSTR;
    name.bstrVal = SysAllocString(u"10.0.0.0");
    std::vector<std::pair<DataTypeEnum, VARIANT>> args = {
        {adBSTR, name}, {adBinary, BytesVariant(Address(n))}, {adBinary, BytesVariant(kMask)}};
    _Recordset* recordset = RunAdo(connection, kInsert, args);
    VARIANT index, identity;
    index.vt = VT_I4;
    index.lVal = 0;
    VariantInit(&identity);
    recordset->get_Collect(index, &identity);
    benchmark::DoNotOptimize(identity.decVal.Lo64);
    recordset->Close();
    recordset->Release();
    for (auto& arg : args) VariantClear(&arg.second);
}

void SqliteInsertOnce(sqlite3* native, sqlite3_stmt* insert, int n) {
    std::vector<uint8_t> address = Address(n);
    sqlite3_bind_text(insert, 1, "10.0.0.0", -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(insert, 2, address.data(), 16, SQLITE_TRANSIENT);
    sqlite3_bind_blob(insert, 3, kMask.data(), 16, SQLITE_TRANSIENT);
    if (sqlite3_step(insert) != SQLITE_DONE) throw std::runtime_error("insert failed");
    sqlite3_reset(insert);
    benchmark::DoNotOptimize(sqlite3_last_insert_rowid(native));
}

void BM_AdoInsert(benchmark::State& state) {
    BenchDatabase db;
    _Connection* connection = OpenAdo(db.path());
    int n = 0;
    for (auto _ : state) AdoInsertOnce(connection, ++n);
    state.SetItemsProcessed(state.iterations());
    connection->Release();
}

void BM_SqliteInsert(benchmark::State& state) {
    BenchDatabase db;
    sqlite3* native = OpenNative(db.path());
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(native, kInsertNative, -1, &insert, nullptr);
    int n = 0;
    for (auto _ : state) SqliteInsertOnce(native, insert, ++n);
    state.SetItemsProcessed(state.iterations());
    sqlite3_finalize(insert);
    sqlite3_close(native);
}

// Both ways in turn, a block of statements each: the machine's speed drifts
// over seconds (other guests, frequency), and blocks this short see the same
// drift on both sides. The "ratio" counter is the C API's time over ADO's,
// ADO's rate as a share of the C API's.
template <class AdoStatement, class NativeStatement>
void RunInTurn(benchmark::State& state, AdoStatement ado, NativeStatement native) {
    constexpr int kBlock = 64;
    using Clock = std::chrono::steady_clock;
    Clock::duration adoTime{}, nativeTime{};
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < kBlock; ++i) ado();
        const Clock::time_point middle = Clock::now();
        for (int i = 0; i < kBlock; ++i) native();
        nativeTime += Clock::now() - middle;
        adoTime += middle - start;
    }
    const double statements = static_cast<double>(state.iterations()) * kBlock;
    state.counters["ado_ns"] = std::chrono::duration<double, std::nano>(adoTime).count() / statements;
    state.counters["sqlite_ns"] = std::chrono::duration<double, std::nano>(nativeTime).count() / statements;
    state.counters["ratio"] =
        std::chrono::duration<double>(nativeTime).count() / std::chrono::duration<double>(adoTime).count();
}

// Each side inserts into a database of its own.
void BM_InsertInTurn(benchmark::State& state) {
    BenchDatabase adoDb, nativeDb;
    _Connection* connection = OpenAdo(adoDb.path());
    sqlite3* native = OpenNative(nativeDb.path());
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(native, kInsertNative, -1, &insert, nullptr);
    int adoRows = 0, nativeRows = 0;
    RunInTurn(
        state, [&] { AdoInsertOnce(connection, ++adoRows); }, [&] { SqliteInsertOnce(native, insert, ++nativeRows); });
    sqlite3_finalize(insert);
    sqlite3_close(native);
    connection->Release();
}

void Preload(const std::string& path) {
    sqlite3* native = OpenNative(path);
    sqlite3_exec(native, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(native, kInsertNative, -1, &insert, nullptr);
    for (int n = 1; n <= kPreloadedRows; ++n) {
        std::vector<uint8_t> address = Address(n);
        sqlite3_bind_text(insert, 1, "10.0.0.0", -1, SQLITE_TRANSIENT);
        sqlite3_bind_blob(insert, 2, address.data(), 16, SQLITE_TRANSIENT);
        sqlite3_bind_blob(insert, 3, kMask.data(), 16, SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(native, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(native);
}

// One SELECT by key and a read of one column, as the table mapper does it.
void AdoSelectOnce(_Connection* connection, int key) {
    VARIANT value;
    value.vt = VT_INT;
    value.intVal = key;
    std::vector<std::pair<DataTypeEnum, VARIANT>> args = {{adInteger, value}};
    _Recordset* recordset = RunAdo(connection, kSelect, args);
    VARIANT_BOOL eof = VARIANT_TRUE;
    recordset->get_EOF(&eof);
    if (eof) throw std::runtime_error("row not found");
    VARIANT column, read;
    column.vt = VT_BSTR;
    column.bstrVal = SysAllocString(u"SubnetName");
    VariantInit(&read);
    recordset->get_Collect(column, &read);
    benchmark::DoNotOptimize(read.bstrVal);
    VariantClear(&read);
    VariantClear(&column);
    recordset->Close();
    recordset->Release();
}

void SqliteSelectOnce(sqlite3_stmt* select, int key) {
    sqlite3_bind_int(select, 1, key);
    if (sqlite3_step(select) != SQLITE_ROW) throw std::runtime_error("row not found");
    benchmark::DoNotOptimize(sqlite3_column_text(select, 1));
    sqlite3_reset(select);
}

// The keys in a scattered order; `n` wraps within the table so that the
// product never overflows, however long the benchmark runs.
int NextKey(int& n) {
    n = (n + 1) % kPreloadedRows;
    return 1 + static_cast<int>((static_cast<int64_t>(n) * 7919) % kPreloadedRows);
}

void BM_AdoSelectByKey(benchmark::State& state) {
    BenchDatabase db;
    Preload(db.path());
    _Connection* connection = OpenAdo(db.path());
    int n = 0;
    for (auto _ : state) AdoSelectOnce(connection, NextKey(n));
    state.SetItemsProcessed(state.iterations());
    connection->Release();
}

void BM_SqliteSelectByKey(benchmark::State& state) {
    BenchDatabase db;
    Preload(db.path());
    sqlite3* native = OpenNative(db.path());
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(native, kSelectNative, -1, &select, nullptr);
    int n = 0;
    for (auto _ : state) SqliteSelectOnce(select, NextKey(n));
    state.SetItemsProcessed(state.iterations());
    sqlite3_finalize(select);
    sqlite3_close(native);
}

// Both sides read the same database.
void BM_SelectByKeyInTurn(benchmark::State& state) {
    BenchDatabase db;
    Preload(db.path());
    _Connection* connection = OpenAdo(db.path());
    sqlite3* native = OpenNative(db.path());
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(native, kSelectNative, -1, &select, nullptr);
    int adoKeys = 0, nativeKeys = 0;
    RunInTurn(
        state, [&] { AdoSelectOnce(connection, NextKey(adoKeys)); },
        [&] { SqliteSelectOnce(select, NextKey(nativeKeys)); });
    sqlite3_finalize(select);
    sqlite3_close(native);
    connection->Release();
}

BENCHMARK(BM_AdoInsert);
BENCHMARK(BM_SqliteInsert);
BENCHMARK(BM_InsertInTurn);
BENCHMARK(BM_AdoSelectByKey);
BENCHMARK(BM_SqliteSelectByKey);
BENCHMARK(BM_SelectByKeyInTurn);

}  // namespace

BENCHMARK_MAIN();
