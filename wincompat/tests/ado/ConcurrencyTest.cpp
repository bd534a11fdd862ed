// Two writers at once: each thread on its own connection to the same
// database file (the busy timeout makes them queue, WAL lets readers on),
// and two threads sharing one connection (commands run one at a time).
#include <algorithm>
#include <atomic>
#include <thread>

#include "AdoTestSupport.h"

using namespace wincompat_test;

namespace {

constexpr int kRowsPerWriter = 150;

// Inserts rows as the plug-ins do and records a detection per row; returns
// the number of failures.
int WriteRows(_Connection* connection, int writer, std::vector<LONG>& identities) {
    int failures = 0;
    for (int i = 0; i < kRowsPerWriter; ++i) {
        Ref<_Command> insert =
            NewCommand(connection,
                       u"SET NOCOUNT ON;\nINSERT INTO [ZELKSubnetProperties] ([SubnetName],[IPV6],[IPV6Mask])\nVALUES "
                       u"(?,?,?);\nSELECT SCOPE_IDENTITY();\n");
        Var name = Var::Text(u"subnet");
        Var address = Var::Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 10, static_cast<uint8_t>(writer),
                                  static_cast<uint8_t>(i / 256), static_cast<uint8_t>(i % 256)});
        Var mask = Var::Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
        AddParameter(insert.get(), adBSTR, name);
        AddParameter(insert.get(), adBinary, address);
        AddParameter(insert.get(), adBinary, mask);
        Ref<_Recordset> rs;
        if (FAILED(Execute(insert.get(), rs))) {
            ++failures;
            continue;
        }
        Var identity;
        rs->get_Collect(Index(0), identity.out());
        Var asInt;
        if (FAILED(VariantChangeType(asInt.out(), &identity.get(), 0, VT_I4))) {
            ++failures;
            continue;
        }
        identities.push_back(asInt.get().lVal);

        Ref<_Command> procedure = NewCommand(connection, u"ZELKSP_UpdateInterfaces", adCmdStoredProc);
        Var host = Var::Int(1), mac = Var::Text(u"001122AABBCC"), null = Var::Null(), time = Var::Date(41341.5);
        AddParameter(procedure.get(), adInteger, host);
        AddParameter(procedure.get(), adBSTR, mac);
        for (int k = 0; k < 3; ++k) AddParameter(procedure.get(), adInteger, null);
        AddParameter(procedure.get(), adBinary, address);
        AddParameter(procedure.get(), adBinary, mask);
        AddParameter(procedure.get(), adBinary, mask);
        AddParameter(procedure.get(), adDate, time);
        AddParameter(procedure.get(), adInteger, host);
        AddParameter(procedure.get(), adBSTR, mac);
        AddParameter(procedure.get(), adBSTR, null);
        Ref<_Recordset> none;
        if (FAILED(Execute(procedure.get(), none, adExecuteNoRecords))) ++failures;
    }
    return failures;
}

void ExpectDistinctAndComplete(const std::vector<LONG>& a, const std::vector<LONG>& b) {
    std::vector<LONG> all = a;
    all.insert(all.end(), b.begin(), b.end());
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all.end(), std::adjacent_find(all.begin(), all.end())) << "an identity was handed out twice";
    EXPECT_EQ(static_cast<size_t>(2 * kRowsPerWriter), all.size());
}

TEST(AdoConcurrentWriters, TwoConnectionsWriteTheSameDatabaseAtOnce) {
    TempDir dir;
    Ref<_Connection> setup = OpenReferenceDatabase(dir, ";Busy Timeout=20000");
    Bstr host(u"INSERT INTO ZELKDetectedSystemProperties (DnsName) VALUES ('h')");
    ASSERT_EQ(S_OK, setup->Execute(host.get(), nullptr, adExecuteNoRecords, nullptr));

    std::vector<LONG> first, second;
    std::atomic<int> failures{0};
    std::thread a([&] {
        Ref<_Connection> connection = OpenConnection(dir.File("host.db"), ";Busy Timeout=20000");
        failures += WriteRows(connection.get(), 1, first);
    });
    std::thread b([&] {
        Ref<_Connection> connection = OpenConnection(dir.File("host.db"), ";Busy Timeout=20000");
        failures += WriteRows(connection.get(), 2, second);
    });
    // A reader meanwhile is never blocked (WAL).
    for (int i = 0; i < 20; ++i) QueryLong(setup.get(), u"SELECT COUNT(*) FROM ZELKSubnetProperties");
    a.join();
    b.join();
    EXPECT_EQ(0, failures.load());
    ExpectDistinctAndComplete(first, second);
    EXPECT_EQ(2 * kRowsPerWriter, QueryLong(setup.get(), u"SELECT COUNT(*) FROM ZELKSubnetProperties"));
    EXPECT_EQ(2 * kRowsPerWriter, QueryLong(setup.get(), u"SELECT COUNT(*) FROM ZELKDetectedInterfaces"));
}

TEST(AdoConcurrentWriters, TwoThreadsShareOneConnection) {
    TempDir dir;
    Ref<_Connection> shared = OpenReferenceDatabase(dir);
    Bstr host(u"INSERT INTO ZELKDetectedSystemProperties (DnsName) VALUES ('h')");
    ASSERT_EQ(S_OK, shared->Execute(host.get(), nullptr, adExecuteNoRecords, nullptr));
    std::vector<LONG> first, second;
    std::atomic<int> failures{0};
    // Each batch's SCOPE_IDENTITY() must be its own insert's, even with the
    // other thread inserting on the same connection.
    std::thread a([&] { failures += WriteRows(shared.get(), 1, first); });
    std::thread b([&] { failures += WriteRows(shared.get(), 2, second); });
    a.join();
    b.join();
    EXPECT_EQ(0, failures.load());
    ExpectDistinctAndComplete(first, second);
    for (LONG id : first) {
        std::u16string query =
            u"SELECT hex(substr(IPV6, 14, 1)) FROM ZELKSubnetProperties WHERE SubnetID = " + U16(std::to_string(id));
        Var writer;
        QueryValue(shared.get(), query.c_str(), writer);
        ASSERT_EQ(u"01", writer.text()) << "subnet " << id << " was not written by the first thread";
    }
}

// A query's rows may still be in the database when another thread runs its
// next command on the same connection: each side gets whole results.
TEST(AdoConcurrentWriters, ARecordsetIsReadWhileAnotherThreadUsesItsConnection) {
    TempDir dir;
    Ref<_Connection> shared = OpenConnection(dir.File("n.db"));
    Bstr create(u"CREATE TABLE N (V int)");
    ASSERT_EQ(S_OK, shared->Execute(create.get(), nullptr, adExecuteNoRecords, nullptr));
    constexpr LONG kRows = 20;
    for (LONG v = 1; v <= kRows; ++v) {
        std::u16string insert = u"INSERT INTO N (V) VALUES (" + U16(std::to_string(v)) + u")";
        Bstr text(insert.c_str());
        ASSERT_EQ(S_OK, shared->Execute(text.get(), nullptr, adExecuteNoRecords, nullptr));
    }
    std::atomic<bool> stop{false};
    std::atomic<int> writerFailures{0};
    std::thread writer([&] {
        Bstr insert(u"INSERT INTO N (V) VALUES (0)");
        while (!stop)
            if (FAILED(shared->Execute(insert.get(), nullptr, adExecuteNoRecords, nullptr))) ++writerFailures;
    });
    for (int round = 0; round < 100; ++round) {
        Ref<_Recordset> rs;
        Bstr query(u"SELECT V FROM N WHERE V > 0 ORDER BY V");
        ASSERT_EQ(S_OK, shared->Execute(query.get(), nullptr, adCmdText, rs.out()));
        std::vector<LONG> seen;
        VARIANT_BOOL eof = VARIANT_TRUE;
        while (SUCCEEDED(rs->get_EOF(&eof)) && !eof) {
            Var value;
            ASSERT_EQ(S_OK, rs->get_Collect(Index(0), value.out()));
            seen.push_back(value.get().lVal);
            ASSERT_EQ(S_OK, rs->MoveNext());
        }
        ASSERT_EQ(static_cast<size_t>(kRows), seen.size()) << "round " << round;
        for (LONG v = 1; v <= kRows; ++v) EXPECT_EQ(v, seen[static_cast<size_t>(v - 1)]);
    }
    stop = true;
    writer.join();
    EXPECT_EQ(0, writerFailures.load());
}

}  // namespace
