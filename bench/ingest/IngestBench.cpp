// Ingest throughput of the data-channel plug-in, as a host drives it: marlind
// registered and activated by CLSID, ProcessDCMessageFromAgent called with
// realistic sensor messages over ADO connections to a reference database.
// Beside each figure, measured in the same run, the floor under any
// implementation: a hand-written program that sends the same statements (the
// same texts, the same count, one transaction per stored-procedure call and
// autocommit otherwise; for the procedures the statements their bodies run)
// through the SQLite C API, with every statement prepared once.
//
//   ingest_bench [--messages N] [--memory M1,M2] [--threads LIST] [--sizes LIST]
//
// Reports messages/s and detections/s, the cost as detections per message
// grow, the rate as writer threads grow, and the resident size after M1 and
// M2 messages in one process.
#include <CLI/CLI.hpp>

#include <windows.h>
#include <adoint.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "comsupport/Bstr.h"
#include "comsupport/ComRef.h"
#include "marlind.h"  // the plug-in as a host knows it: its CLSID and the host's interfaces
#include "ReferenceSchema.h"
#include "support/TempFolder.h"
#include <wincompat/DebugOutput.h>

COMSUPPORT_INTERFACE_ID(_ADOConnection, IID__Connection)
COMSUPPORT_INTERFACE_ID(IMORVDCMsgHandler, IID_IMORVDCMsgHandler)

namespace {

using comsupport::Bstr;
using comsupport::ComRef;
using Clock = std::chrono::steady_clock;

void Check(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error(what);
}

// ---------------------------------------------------------------------------
// The messages: one sensor, n detections, each with two interfaces and one
// plug-in block. Machines come from a pool, so a long run sees each again.

constexpr unsigned kMachinePool = 20000;
constexpr unsigned kSensors = 16;

struct Detection {
    unsigned machine;
    std::string mac, nicMac, address, nicAddress, time, classification;
};

struct Message {
    unsigned sensor;
    std::string agent, createTime;
    std::vector<Detection> detections;
};

std::string Time(unsigned sequence) {
    char text[32];
    snprintf(text, sizeof text, "2013-%02u-%02uT%02u:%02u:%02u", 1 + (sequence / 2678400) % 12,
             1 + (sequence / 86400) % 28, (sequence / 3600) % 24, (sequence / 60) % 60, sequence % 60);
    return text;
}

Message MakeMessage(unsigned index, unsigned detections, unsigned sensor) {
    Message m;
    m.sensor = sensor;
    char agent[48];
    snprintf(agent, sizeof agent, "{6F9619FF-8B86-D011-B42D-%012X}", sensor);
    m.agent = agent;
    m.createTime = Time(index);
    for (unsigned j = 0; j < detections; ++j) {
        Detection d;
        d.machine = (index * detections + j) % kMachinePool;
        char text[64];
        snprintf(text, sizeof text, "02:00:00:%02X:%02X:%02X", (d.machine >> 16) & 0xFF, (d.machine >> 8) & 0xFF,
                 d.machine & 0xFF);
        d.mac = text;
        snprintf(text, sizeof text, "02:00:01:%02X:%02X:%02X", (d.machine >> 16) & 0xFF, (d.machine >> 8) & 0xFF,
                 d.machine & 0xFF);
        d.nicMac = text;
        snprintf(text, sizeof text, "10.%u.%u.%u", 1 + (d.machine >> 16), (d.machine >> 8) & 0xFF, d.machine & 0xFF);
        d.address = text;
        snprintf(text, sizeof text, "172.16.%u.%u", (d.machine >> 8) & 0xFF, d.machine & 0xFF);
        d.nicAddress = text;
        d.time = Time(index);
        d.classification = (j % 2) ? "host.detected.dhcp" : "host.detected.broadcast";
        m.detections.push_back(d);
    }
    return m;
}

std::string MessageXml(const Message& m) {
    std::string x =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<zelk:EventList xmlns:zelk=\"urn:zelk:event\" "
        "xmlns:dt=\"urn:schemas-microsoft-com:datatypes\">";
    x += "<zelk:CreateTime>" + m.createTime + "Z</zelk:CreateTime><zelk:Analyzer><zelk:Sensor id=\"" +
         std::to_string(m.sensor) + "\"><zelk:Name>Sensor " + std::to_string(m.sensor) +
         "</zelk:Name><zelk:ProductVersion>4.8.0.1102</zelk:ProductVersion><zelk:Dhcp>1</zelk:Dhcp>"
         "<zelk:Type>detection</zelk:Type></zelk:Sensor><zelk:Node><zelk:AgentGUID>" +
         m.agent + "</zelk:AgentGUID><zelk:Name>sensor" + std::to_string(m.sensor) +
         ".lab</zelk:Name><zelk:Address>10.0.0.5</zelk:Address><zelk:SubnetMask>255.0.0.0</zelk:SubnetMask>"
         "<zelk:NetworkAddress>10.0.0.0</zelk:NetworkAddress></zelk:Node></zelk:Analyzer>";
    for (const Detection& d : m.detections) {
        x += "<zelk:Event><zelk:DetectTime>" + d.time + "Z</zelk:DetectTime><zelk:Source><zelk:Node><zelk:Name>host" +
             std::to_string(d.machine) +
             ".lab</zelk:Name><zelk:OSType><zelk:Platform>Windows</zelk:Platform><zelk:Family>Workstation"
             "</zelk:Family><zelk:Version>6.1.7601</zelk:Version></zelk:OSType><zelk:GroupName>LAB</zelk:GroupName>"
             "<zelk:NetBIOSName>HOST</zelk:NetBIOSName><zelk:MACAddress>" +
             d.mac + "</zelk:MACAddress><zelk:Address>" + d.address +
             "</zelk:Address><zelk:Interface><zelk:MACAddress>" + d.mac + "</zelk:MACAddress><zelk:Address>" +
             d.address +
             "</zelk:Address><zelk:SubnetMask>255.0.0.0</zelk:SubnetMask><zelk:NetworkAddress>10.0.0.0"
             "</zelk:NetworkAddress></zelk:Interface><zelk:Interface><zelk:MACAddress>" +
             d.nicMac + "</zelk:MACAddress><zelk:Address>" + d.nicAddress +
             "</zelk:Address><zelk:SubnetMask>255.255.0.0</zelk:SubnetMask><zelk:NetworkAddress>172.16.0.0"
             "</zelk:NetworkAddress></zelk:Interface></zelk:Node><zelk:User><zelk:Name>LAB\\user</zelk:Name>"
             "</zelk:User></zelk:Source><zelk:Classification><zelk:EventClassification>" +
             d.classification +
             "</zelk:EventClassification></zelk:Classification><zelk:Plugin><zelk:PluginName>OS Fingerprint"
             "</zelk:PluginName><zelk:PluginVersion>1.4</zelk:PluginVersion><zelk:PluginData dt:dt=\"bin.base64\">"
             "AAECAwQFBgcICQoLDA0ODw==</zelk:PluginData><zelk:OndrixEventTypeId>30001</zelk:OndrixEventTypeId>"
             "</zelk:Plugin></zelk:Event>";
    }
    return x + "</zelk:EventList>";
}

struct SafeArrayDestroyer {
    void operator()(SAFEARRAY* array) const { SafeArrayDestroy(array); }
};
using Payload = std::unique_ptr<SAFEARRAY, SafeArrayDestroyer>;

Payload MakePayload(const std::string& bytes) {
    Payload array(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size())));
    Check(array != nullptr, "SafeArrayCreateVector");
    void* data = nullptr;
    SafeArrayAccessData(array.get(), &data);
    std::copy(bytes.begin(), bytes.end(), static_cast<char*>(data));
    SafeArrayUnaccessData(array.get());
    return array;
}

// ---------------------------------------------------------------------------
// The host: a database, a registry, marlind activated by CLSID.

class Host {
public:
    Host() {
        setenv("WINCOMPAT_REGISTRY_DIR", folder_.File("registry").c_str(), 1);
        // A failure inside the plug-in shows only in its debugger output: count it.
        wincompat::SetDebugOutputSink([this](const std::string&) { ++debugLines_; });
        Check(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)), "CoInitializeEx");
        HMODULE library = LoadLibraryW(comsupport::OleFromUtf8(MARLIND_LIBRARY).c_str());
        Check(library != nullptr, "cannot load " MARLIND_LIBRARY);
        auto registerServer = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
            reinterpret_cast<void (*)()>(GetProcAddress(library, "DllRegisterServer")));
        Check(registerServer && registerServer() == S_OK, "DllRegisterServer");
        Check(CoCreateInstance(CLSID_MarlindPlugin, nullptr, CLSCTX_INPROC_SERVER, IID_IMORVDCMsgHandler,
                               handler_.ReceiveVoid()) == S_OK,
              "activation by CLSID");
    }
    ~Host() {
        wincompat::SetDebugOutputSink({});
        handler_.Reset();
        CoUninitialize();
    }

    // A fresh database for one measurement.
    std::string NewDatabase(const std::string& name) {
        const std::string path = folder_.File(name + ".db");
        std::string error;
        Check(morvhost::ApplyReferenceSchema(path, error), error);
        return path;
    }
    ComRef<_ADOConnection> Connect(const std::string& database) {
        ComRef<_ADOConnection> connection = ComRef<_ADOConnection>::Create(CLSID_Connection);
        connection.Call(&_ADOConnection::Open, Bstr::FromUtf8("Provider=SQLite;Data Source=" + database).Get(),
                        static_cast<BSTR>(nullptr), static_cast<BSTR>(nullptr), static_cast<LONG>(adOptionUnspecified));
        return connection;
    }
    IMORVDCMsgHandler* Handler() const { return handler_.Get(); }
    unsigned DebugLines() const { return debugLines_; }

private:
    std::atomic<unsigned> debugLines_{0};
    wincompat_test::TempFolder folder_{"marlind-ingest"};
    ComRef<IMORVDCMsgHandler> handler_;
};

void Send(IMORVDCMsgHandler* handler, IUnknown* connection, BSTR type, const std::string& xml) {
    Payload payload = MakePayload(xml);
    HRESULT hr = handler->ProcessDCMessageFromAgent(connection, nullptr, nullptr, nullptr, nullptr, type, nullptr,
                                                    payload.get(), nullptr);
    Check(hr == S_OK, "ProcessDCMessageFromAgent failed");
}

// ---------------------------------------------------------------------------
// The baseline: the same statements through the SQLite C API.

class Baseline {
public:
    explicit Baseline(const std::string& database) {
        Check(sqlite3_open_v2(database.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK, "sqlite3_open");
        sqlite3_busy_timeout(db_, 30000);
        Exec("PRAGMA journal_mode=WAL");
        Exec("PRAGMA synchronous=NORMAL");
        Exec("PRAGMA foreign_keys=ON");
        detectedSystems_ = ProcedureBody("ZELKSP_UpdateDetectedSystems");
        interfaces_ = ProcedureBody("ZELKSP_UpdateInterfaces");
    }
    ~Baseline() {
        for (auto& entry : cache_) sqlite3_finalize(entry.second);
        sqlite3_close(db_);
    }

    void Record(const Message& m) {
        const std::string now = NowText();
        // The sensor: read, update by agent identity, read back; its subnet and link.
        Query("SELECT * FROM [ZELKSensorProperties] WHERE (([AgentGUID] = ?));", {Text(m.agent)});
        Run("UPDATE [ZELKSensorProperties] SET [SensorName] = ?,\n[LastCommunicationTime] = ?,\n[AgentGUID] = ?,\n"
            "[SensorType] = ?,\n[ElectionType] = ?,\n[DHCP] = ?,\n[SensorVersion] = ?,\n[ComputerName] = ?,\n"
            "[LastRecordedTime] = ? WHERE (([AgentGUID] = ?));",
            {Text("Sensor " + std::to_string(m.sensor)), Text(Date(m.createTime)), Text(m.agent), Int(1), Int(0),
             Int(1), Text("4.8.0.1102"), Text("sensor" + std::to_string(m.sensor) + ".lab"), Text(now), Text(m.agent)});
        if (sqlite3_changes(db_) == 0) {
            Run("INSERT INTO [ZELKSensorProperties] ([SensorName],[LastCommunicationTime],[AgentGUID],[SensorType],"
                "[ElectionType],[DHCP],[SensorVersion],[Description],[ComputerName],[FirstRecordedTime],"
                "[LastRecordedTime])\nVALUES (?,?,?,?,?,?,?,?,?,?,?);",
                {Text("Sensor " + std::to_string(m.sensor)), Text(now), Text(m.agent), Int(1), Int(0), Int(1),
                 Text("4.8.0.1102"), Text("Sensor " + std::to_string(m.sensor)),
                 Text("sensor" + std::to_string(m.sensor) + ".lab"), Text(now), Text(now)});
        }
        const long long sensorId =
            Query("SELECT * FROM [ZELKSensorProperties] WHERE (([AgentGUID] = ?));", {Text(m.agent)});
        const Value subnet = Blob(Mapped(10, 0, 0, 0)), mask = Blob(Mapped(255, 0, 0, 0));
        long long subnetId =
            Query("SELECT * FROM [ZELKSubnetProperties] WHERE (([IPV6] = ?) AND ([IPV6Mask] = ?));", {subnet, mask});
        if (subnetId < 0) {
            Run("INSERT INTO [ZELKSubnetProperties] ([SubnetName],[IPV6],[IPV6Mask])\nVALUES (?,?,?);",
                {Text("10.0.0.0"), subnet, mask});
            subnetId = Query("SELECT * FROM [ZELKSubnetProperties] WHERE (([IPV6] = ?) AND ([IPV6Mask] = ?));",
                             {subnet, mask});
        }
        const std::vector<Value> link = {Int(sensorId), Int(subnetId)};
        if (Query("SELECT * FROM [ZELKSensorToSubnet] WHERE (([SensorID] = ?) AND ([SubnetID] = ?));", link) < 0) {
            Run("INSERT INTO [ZELKSensorToSubnet] ([SensorID],[SubnetID])\nVALUES (?,?);", link);
            Query("SELECT * FROM [ZELKSensorToSubnet] WHERE (([SensorID] = ?) AND ([SubnetID] = ?));", link);
        }

        for (const Detection& d : m.detections) {
            const Value address = Blob(Parse(d.address)), mac = Text(NoColons(d.mac));
            const std::string sourceType = d.classification == "host.detected.dhcp" ? "zelk.dhcp" : "zelk.broadcast";
            std::map<std::string, Value> parameters = {{"@DnsName", Text("host" + std::to_string(d.machine) + ".lab")},
                                                       {"@OSPlatform", Text("Windows")},
                                                       {"@OSFamily", Text("Workstation")},
                                                       {"@OSVersion", Text("6.1.7601")},
                                                       {"@Domain", Text("LAB")},
                                                       {"@NetbiosName", Text("HOST")},
                                                       {"@NetbiosComment", Null()},
                                                       {"@Users", Text("LAB\\user")},
                                                       {"@AgentGUID", Null()},
                                                       {"@IPV4", Null()},
                                                       {"@IPV6", address},
                                                       {"@MAC", mac},
                                                       {"@DetectedTime", Text(Date(d.time))},
                                                       {"@DeviceType", Text("computer")},
                                                       {"@SourceID", Int(sensorId)},
                                                       {"@SourceType", Text(sourceType)},
                                                       {"@ExternalID", Null()},
                                                       {"@DetectionType", Text("detectedSystem")},
                                                       {"@ExternalFriendlyName", Null()},
                                                       {"@MatchingOverride", Int(0)}};
            const long long host = Procedure(detectedSystems_, parameters);
            Query("SELECT * FROM [ZELKDetectedSystemProperties] WHERE (([HostID] = ?));", {Int(host)});
            static const std::vector<unsigned char> data = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
            Run("INSERT INTO [ZELKOndrixEvents] ([EventID],[DetectedSystemId],[Data],[EventAddedUtc])\n"
                "VALUES (?,?,?,?);",
                {Text("30001"), Int(host), Blob(data), Text(now)});
            const struct {
                const std::string& mac;
                const std::string& address;
                std::vector<unsigned char> mask, subnet;
            } calls[] = {{d.mac, d.address, Mapped(255, 0, 0, 0), Mapped(10, 0, 0, 0)},
                         {d.mac, d.address, Mapped(255, 0, 0, 0), Mapped(10, 0, 0, 0)},
                         {d.nicMac, d.nicAddress, Mapped(255, 255, 0, 0), Mapped(172, 16, 0, 0)}};
            for (const auto& call : calls) {
                Procedure(interfaces_, {{"@HostID", Int(host)},
                                        {"@MAC", Text(NoColons(call.mac))},
                                        {"@IPV4", Null()},
                                        {"@IPV4Mask", Null()},
                                        {"@IPV4Subnet", Null()},
                                        {"@IPV6", Blob(Parse(call.address))},
                                        {"@IPV6Mask", Blob(call.mask)},
                                        {"@IPV6Subnet", Blob(call.subnet)},
                                        {"@DetectedTime", Text(Date(d.time))},
                                        {"@SourceID", Int(sensorId)},
                                        {"@SourceType", Text(sourceType)},
                                        {"@ExternalID", Null()}});
            }
        }
    }

private:
    struct Value {
        int kind;  // 0 null, 1 integer, 2 text, 3 blob
        long long integer;
        std::string text;
        std::vector<unsigned char> blob;
    };
    static Value Null() { return {0, 0, {}, {}}; }
    static Value Int(long long v) { return {1, v, {}, {}}; }
    static Value Text(std::string v) { return {2, 0, std::move(v), {}}; }
    static Value Blob(std::vector<unsigned char> v) { return {3, 0, {}, std::move(v)}; }

    static std::vector<unsigned char> Mapped(int a, int b, int c, int d) {
        std::vector<unsigned char> bytes(16, 0);
        bytes[10] = bytes[11] = 0xFF;
        bytes[12] = static_cast<unsigned char>(a);
        bytes[13] = static_cast<unsigned char>(b);
        bytes[14] = static_cast<unsigned char>(c);
        bytes[15] = static_cast<unsigned char>(d);
        return bytes;
    }
    static std::vector<unsigned char> Parse(const std::string& dotted) {
        int a = 0, b = 0, c = 0, d = 0;
        sscanf(dotted.c_str(), "%d.%d.%d.%d", &a, &b, &c, &d);
        return Mapped(a, b, c, d);
    }
    static std::string NoColons(std::string mac) {
        mac.erase(std::remove(mac.begin(), mac.end(), ':'), mac.end());
        return mac;
    }
    // "2013-01-02T03:04:05" as the database stores dates.
    static std::string Date(const std::string& iso) {
        std::string date = iso.substr(0, 19);
        date[10] = ' ';
        return date + ".000";
    }
    static std::string NowText() {
        time_t now = time(nullptr);
        struct tm utc;
        gmtime_r(&now, &utc);
        char text[32];
        strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S.000", &utc);
        return text;
    }

    void Exec(const char* sql) { Check(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK, sql); }

    std::vector<std::string> ProcedureBody(const std::string& name) {
        sqlite3_stmt* lookup = Prepared("SELECT Body FROM StoredProcedures WHERE Name = ?");
        sqlite3_bind_text(lookup, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        Check(sqlite3_step(lookup) == SQLITE_ROW, "no procedure " + name);
        std::string body = reinterpret_cast<const char*>(sqlite3_column_text(lookup, 0));
        sqlite3_reset(lookup);
        std::vector<std::string> statements;
        const char* rest = body.c_str();
        while (*rest) {
            sqlite3_stmt* statement = nullptr;
            const char* tail = nullptr;
            Check(sqlite3_prepare_v2(db_, rest, -1, &statement, &tail) == SQLITE_OK, sqlite3_errmsg(db_));
            if (statement) {
                statements.emplace_back(rest, tail);
                sqlite3_finalize(statement);
            }
            rest = tail;
        }
        return statements;
    }

    sqlite3_stmt* Prepared(const std::string& sql) {
        auto found = cache_.find(sql);
        if (found != cache_.end()) return found->second;
        sqlite3_stmt* statement = nullptr;
        Check(sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK, sqlite3_errmsg(db_));
        cache_[sql] = statement;
        return statement;
    }
    static void Bind(sqlite3_stmt* statement, int index, const Value& v) {
        switch (v.kind) {
            case 0: sqlite3_bind_null(statement, index); break;
            case 1: sqlite3_bind_int64(statement, index, v.integer); break;
            case 2: sqlite3_bind_text(statement, index, v.text.c_str(), -1, SQLITE_TRANSIENT); break;
            default:
                sqlite3_bind_blob(statement, index, v.blob.data(), static_cast<int>(v.blob.size()), SQLITE_TRANSIENT);
        }
    }
    // Runs a statement to its end, reading every column of every row as a
    // recordset would; the first column of the last row, or -1 without rows.
    long long Step(sqlite3_stmt* statement) {
        long long first = -1;
        int rc;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                switch (sqlite3_column_type(statement, i)) {
                    case SQLITE_TEXT: sqlite3_column_text(statement, i); break;
                    case SQLITE_BLOB: sqlite3_column_blob(statement, i); break;
                    default: sqlite3_column_int64(statement, i);
                }
            }
            first = sqlite3_column_int64(statement, 0);
        }
        Check(rc == SQLITE_DONE, sqlite3_errmsg(db_));
        sqlite3_reset(statement);
        return first;
    }
    long long Query(const std::string& sql, const std::vector<Value>& values) {
        sqlite3_stmt* statement = Prepared(sql);
        for (size_t i = 0; i < values.size(); ++i) Bind(statement, static_cast<int>(i) + 1, values[i]);
        return Step(statement);
    }
    void Run(const std::string& sql, const std::vector<Value>& values) { Query(sql, values); }

    // One transaction; parameters bound by name; the output of the last row.
    long long Procedure(const std::vector<std::string>& body, const std::map<std::string, Value>& parameters) {
        Exec("BEGIN IMMEDIATE");
        long long output = -1;
        for (const std::string& sql : body) {
            sqlite3_stmt* statement = Prepared(sql);
            for (int i = 1; i <= sqlite3_bind_parameter_count(statement); ++i)
                Bind(statement, i, parameters.at(sqlite3_bind_parameter_name(statement, i)));
            const long long row = Step(statement);
            if (row >= 0) output = row;
        }
        Exec("COMMIT");
        return output;
    }

    sqlite3* db_ = nullptr;
    std::map<std::string, sqlite3_stmt*> cache_;
    std::vector<std::string> detectedSystems_, interfaces_;
};

// ---------------------------------------------------------------------------

struct Rate {
    double messagesPerSecond = 0;
    double detectionsPerSecond = 0;
};

// `threads` workers share `messages` messages; each has its own connection.
template <typename Worker>
Rate Measure(unsigned messages, unsigned detections, unsigned threads, Worker&& makeWorker) {
    std::vector<std::string> documents;
    std::vector<Message> models;
    for (unsigned i = 0; i < messages; ++i) models.push_back(MakeMessage(i, detections, i % kSensors));
    std::atomic<unsigned> next{0};
    std::vector<std::thread> pool;
    const Clock::time_point start = Clock::now();
    for (unsigned t = 0; t < threads; ++t)
        pool.emplace_back([&] {
            auto send = makeWorker();
            for (unsigned i; (i = next.fetch_add(1)) < messages;) send(models[i]);
        });
    for (std::thread& worker : pool) worker.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return {messages / seconds, messages * double(detections) / seconds};
}

Rate MeasurePlugin(Host& host, unsigned messages, unsigned detections, unsigned threads) {
    const std::string database =
        host.NewDatabase("plugin-" + std::to_string(detections) + "-" + std::to_string(threads));
    // One warm-up pass over the sensors, so both sides measure known sensors.
    {
        ComRef<_ADOConnection> connection = host.Connect(database);
        Bstr type(OLESTR("ZELKMETA_SensorEvent"));
        for (unsigned s = 0; s < kSensors; ++s)
            Send(host.Handler(), connection.Get(), type.Get(), MessageXml(MakeMessage(s, 0, s)));
    }
    return Measure(messages, detections, threads, [&] {
        auto connection = std::make_shared<ComRef<_ADOConnection>>(host.Connect(database));
        auto type = std::make_shared<Bstr>(OLESTR("ZELKMETA_SensorEvent"));
        return [&host, connection, type](const Message& m) {
            Send(host.Handler(), connection->Get(), type->Get(), MessageXml(m));
        };
    });
}

Rate MeasureBaseline(Host& host, unsigned messages, unsigned detections, unsigned threads) {
    const std::string database =
        host.NewDatabase("baseline-" + std::to_string(detections) + "-" + std::to_string(threads));
    {
        Baseline warmup(database);
        for (unsigned s = 0; s < kSensors; ++s) warmup.Record(MakeMessage(s, 0, s));
    }
    return Measure(messages, detections, threads, [&] {
        auto baseline = std::make_shared<Baseline>(database);
        return [baseline](const Message& m) { baseline->Record(m); };
    });
}

long ResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

std::vector<unsigned> ParseList(const std::string& text) {
    std::vector<unsigned> values;
    size_t start = 0;
    while (start < text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        values.push_back(static_cast<unsigned>(std::stoul(text.substr(start, comma - start))));
        start = comma + 1;
    }
    return values;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Ingest throughput of marlind against the same statements through the SQLite C API"};
    unsigned messages = 300;
    std::string sizes = "1,10,100", threadCounts = "1,2,4,8", memory = "10000,100000";
    app.add_option("--messages", messages, "Messages per measurement (10-detection messages)");
    app.add_option("--sizes", sizes, "Detections per message for the growth measurement");
    app.add_option("--threads", threadCounts, "Worker threads for the scaling measurement");
    app.add_option("--memory", memory, "Message counts after which the resident size is read (empty: skip)");
    std::string profile;
    app.add_option("--profile", profile,
                   "Only send the 10-detection messages, through one side (to run under a profiler)")
        ->check(CLI::IsMember({"marlind", "baseline"}));
    CLI11_PARSE(app, argc, argv);

    try {
        Host host;
        if (!profile.empty()) {
            const Rate rate =
                profile == "marlind" ? MeasurePlugin(host, messages, 10, 1) : MeasureBaseline(host, messages, 10, 1);
            std::printf("%s %.1f messages/s\n", profile.c_str(), rate.messagesPerSecond);
            return 0;
        }
        std::printf("ingest: one sensor, 10 detections (2 interfaces, 1 plug-in block each), %u messages\n", messages);
        const Rate plugin = MeasurePlugin(host, messages, 10, 1);
        const Rate baseline = MeasureBaseline(host, messages, 10, 1);
        std::printf("  marlind   %8.1f messages/s %9.1f detections/s\n", plugin.messagesPerSecond,
                    plugin.detectionsPerSecond);
        std::printf("  baseline  %8.1f messages/s %9.1f detections/s\n", baseline.messagesPerSecond,
                    baseline.detectionsPerSecond);
        std::printf("  ratio     %8.2f of the baseline's rate\n\n",
                    plugin.messagesPerSecond / baseline.messagesPerSecond);

        std::printf("growth: time per message by detections per message (1 thread)\n");
        for (unsigned size : ParseList(sizes)) {
            const unsigned count = std::max(20u, messages * 10 / std::max(size, 1u));
            const Rate p = MeasurePlugin(host, count, size, 1);
            const Rate b = MeasureBaseline(host, count, size, 1);
            std::printf(
                "  %3u detections  marlind %8.3f ms/message %7.3f ms/detection  baseline %8.3f ms/message  "
                "ratio %.2f\n",
                size, 1000 / p.messagesPerSecond, size ? 1000 / p.detectionsPerSecond : 0.0, 1000 / b.messagesPerSecond,
                p.messagesPerSecond / b.messagesPerSecond);
        }

        std::printf("\nscaling: 10-detection messages, one shared plug-in object, one connection per thread\n");
        for (unsigned threads : ParseList(threadCounts)) {
            const Rate p = MeasurePlugin(host, messages, 10, threads);
            const Rate b = MeasureBaseline(host, messages, 10, threads);
            std::printf("  %u threads  marlind %8.1f messages/s  baseline %8.1f messages/s  ratio %.2f\n", threads,
                        p.messagesPerSecond, b.messagesPerSecond, p.messagesPerSecond / b.messagesPerSecond);
        }

        if (!memory.empty()) {
            std::printf("\nmemory: resident size while sending 1-detection messages on one connection\n");
            const std::string database = host.NewDatabase("memory");
            ComRef<_ADOConnection> connection = host.Connect(database);
            Bstr type(OLESTR("ZELKMETA_SensorEvent"));
            unsigned sent = 0;
            const long before = ResidentKilobytes();
            std::printf("  %7u messages  %7ld kB\n", 0u, before);
            for (unsigned mark : ParseList(memory)) {
                for (; sent < mark; ++sent)
                    Send(host.Handler(), connection.Get(), type.Get(),
                         MessageXml(MakeMessage(sent, 1, sent % kSensors)));
                std::printf("  %7u messages  %7ld kB\n", sent, ResidentKilobytes());
            }
        }
        std::printf("\ndebugger output lines (failures inside the plug-in): %u\n", host.DebugLines());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ingest_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
