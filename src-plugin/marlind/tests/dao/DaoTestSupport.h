// Shared helpers of the database-layer tests: a reference host database in a
// fresh folder, reached through an ADO connection that logs every statement,
// and read back directly with SQLite to see what was stored.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <wincompat/AdoStatementLog.h>

#include <string>
#include <vector>

#include "DocumentRecorder.h"
#include "DebugOutputCapture.h"
#include "TestSupport.h"
#include "comsupport/Bstr.h"
#include "dao/AdoAccess.h"
#include "dao/Records.h"
#include "model/ValueConversions.h"
#include "model/VariantValues.h"
#include "ReferenceSchema.h"
#include "support/TempFolder.h"

namespace marlind_test {

using wincompat::LoggedStatement;

// One row of a direct query: every column as text, NULL as "NULL", blobs as X'..'.
using Row = std::vector<std::string>;

class HostDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        databasePath_ = folder_.File("host.db");
        logPath_ = folder_.File("statements.log");
        ASSERT_TRUE(morvhost::ApplyReferenceSchema(databasePath_, error)) << error;
        connection_ = ZELKDAO::ConnectionRef::Create(ZELKDAO::kCLSID_Connection);
        comsupport::Bstr text =
            comsupport::Bstr::FromUtf8("Provider=SQLite;Data Source=" + databasePath_ + ";Statement Log=" + logPath_);
        connection_.Call(&_ADOConnection::Open, text.Get(), static_cast<BSTR>(nullptr), static_cast<BSTR>(nullptr),
                         static_cast<LONG>(adConnectUnspecified));
    }

    _ADOConnection* Connection() const { return connection_.Get(); }

    // The statements sent since the last call.
    std::vector<LoggedStatement> NewStatements() {
        std::vector<LoggedStatement> all = wincompat::ReadStatementLog(logPath_);
        std::vector<LoggedStatement> fresh(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
        seen_ = all.size();
        return fresh;
    }
    std::vector<std::string> NewStatementTexts() {
        std::vector<std::string> texts;
        for (const LoggedStatement& statement : NewStatements()) texts.push_back(statement.text);
        return texts;
    }

    // Runs SQL on the database file directly (to arrange a failure, say).
    void Exec(const std::string& sql) {
        sqlite3* db = Open();
        char* message = nullptr;
        const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
        EXPECT_EQ(SQLITE_OK, rc) << (message ? message : "") << " in " << sql;
        sqlite3_free(message);
        sqlite3_close(db);
    }

    std::vector<Row> Rows(const std::string& sql) {
        std::vector<Row> rows;
        sqlite3* db = Open();
        sqlite3_stmt* statement = nullptr;
        EXPECT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr)) << sqlite3_errmsg(db);
        while (statement && sqlite3_step(statement) == SQLITE_ROW) {
            Row row;
            for (int i = 0; i < sqlite3_column_count(statement); ++i) row.push_back(ColumnText(statement, i));
            rows.push_back(row);
        }
        sqlite3_finalize(statement);
        sqlite3_close(db);
        return rows;
    }
    std::string Scalar(const std::string& sql) {
        std::vector<Row> rows = Rows(sql);
        return rows.empty() || rows[0].empty() ? "<no row>" : rows[0][0];
    }
    size_t Count(const std::string& table) { return std::stoul(Scalar("SELECT COUNT(*) FROM " + table)); }

    wincompat_test::TempFolder folder_{"marlind-dao-test"};
    std::string databasePath_;
    std::string logPath_;
    ZELKDAO::ConnectionRef connection_;

private:
    sqlite3* Open() {
        sqlite3* db = nullptr;
        EXPECT_EQ(SQLITE_OK, sqlite3_open(databasePath_.c_str(), &db));
        sqlite3_busy_timeout(db, 5000);
        return db;
    }
    static std::string ColumnText(sqlite3_stmt* statement, int i) {
        switch (sqlite3_column_type(statement, i)) {
            case SQLITE_NULL: return "NULL";
            case SQLITE_BLOB: {
                static const char kHex[] = "0123456789ABCDEF";
                const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(statement, i));
                std::string hex = "X'";
                for (int k = 0; k < sqlite3_column_bytes(statement, i); ++k) {
                    hex += kHex[bytes[k] >> 4];
                    hex += kHex[bytes[k] & 15];
                }
                return hex + "'";
            }
            default: return reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
        }
    }

    size_t seen_ = 0;
};

// The 16-byte form of an IPv4 address, as the database stores it.
inline std::string MappedIPv4(const std::string& hexAddress) { return "X'00000000000000000000FFFF" + hexAddress + "'"; }

// A whole event document from its analyzer and event elements.
inline ZELKXML::ECEvent Document(const std::string& body) { return LoadPayload(EventXml(body)); }

inline std::string AnalyzerXml(
    const std::string& nodeBody,
    const std::string& sensorBody = "<zelk:Name>Lab sensor</zelk:Name><zelk:Dhcp>1</zelk:Dhcp>") {
    return "<zelk:Analyzer><zelk:Sensor id=\"7\">" + sensorBody + "</zelk:Sensor><zelk:Node>" + nodeBody +
           "</zelk:Node></zelk:Analyzer>";
}

inline const char kAgent[] = "{6F9619FF-8B86-D011-B42D-00C04FC964FF}";
inline std::string AgentXml(const std::string& agent = kAgent) {
    return "<zelk:AgentGUID>" + agent + "</zelk:AgentGUID>";
}

// Records a document as the message handler does.
inline void RecordDocument(const ZELKXML::ECEvent& document, _ADOConnection* connection) {
    marlind::RecordDocument(document, connection);
}

}  // namespace marlind_test
