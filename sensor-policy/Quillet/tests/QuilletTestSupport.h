// What the plug-in's tests share: a temporary registry with Quillet registered
// from its own library, a reference database seeded through SQL, the
// statement log and the trace records of a call.
#pragma once
#include <windows.h>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "AdoIds.h"
#include "QuilletIds.h"
#include "TraceLog.h"
#include "TraceTestSupport.h"
#include "comsupport/Bstr.h"
#include "comsupport/ComRef.h"
#include "ReferenceSchema.h"

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer();
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer();
extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow();

namespace quillet_test {

// The registry folder of the whole test program, set before any COM call.
const std::string& RegistryFolder();

// A reference database in a temporary file.
class TestDatabase {
public:
    TestDatabase() : path_(folder_.File("host.db")), log_(folder_.File("statements.jsonl")) {
        std::string error;
        if (!morvhost::ApplyReferenceSchema(path_, error)) ADD_FAILURE() << error;
    }
    const std::string& Path() const { return path_; }

    // Runs SQL straight through SQLite, as the administrator's tools would.
    void Exec(const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
        char* message = nullptr;
        int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
        EXPECT_EQ(rc, SQLITE_OK) << (message ? message : "") << "\n" << sql;
        sqlite3_free(message);
        sqlite3_close(db);
    }

    // An open ADO connection that records its statements in the log.
    comsupport::ComRef<_ADOConnection> Connect() {
        auto connection = comsupport::ComRef<_ADOConnection>::Create(CLSID_Connection);
        std::string text = "Provider=SQLite;Data Source=" + path_ + ";Statement Log=" + log_;
        connection.Call(&_ADOConnection::Open, comsupport::Bstr::FromUtf8(text).Get(), static_cast<BSTR>(nullptr),
                        static_cast<BSTR>(nullptr), static_cast<LONG>(adOptionUnspecified));
        return connection;
    }

    // The command texts of the statement log, in the order they ran.
    std::vector<std::string> StatementTexts() const {
        std::vector<std::string> texts;
        std::ifstream in(log_);
        std::string line;
        std::regex text(R"re("text":"((?:[^"\\]|\\.)*)")re");
        while (std::getline(in, line)) {
            std::smatch match;
            if (std::regex_search(line, match, text)) texts.push_back(match[1]);
        }
        return texts;
    }
    std::string StatementLog() const { return quillet_test::ReadFile(log_); }

private:
    quillet_test::TempFolder folder_;
    std::string path_;
    std::string log_;
};

// Switches tracing on into a log file for the life of the object.
class TraceCapture {
public:
    TraceCapture() {
        quillet::TraceConfiguration configuration;
        configuration.baseName = folder_.File("quillet");
        configuration.rotateSize = 1u << 30;
        if (!quillet::ConfigureTrace(configuration)) ADD_FAILURE() << "trace configuration failed";
    }
    ~TraceCapture() { quillet::ResetTrace(); }

    struct Record {
        char tag;
        std::string text;
    };
    std::vector<Record> Records() const {
        std::vector<Record> records;
        std::istringstream in(quillet_test::ReadFile(folder_.File("quillet.log")));
        std::string line;
        while (std::getline(in, line)) {
            // timestamp \t tag \t #thread \t module \t text \r
            std::vector<std::string> fields;
            std::string field;
            std::istringstream parts(line);
            while (std::getline(parts, field, '\t')) fields.push_back(field);
            if (fields.size() < 5) continue;
            std::string text = fields[4];
            if (!text.empty() && text.back() == '\r') text.pop_back();
            records.push_back({fields[1].empty() ? '?' : fields[1][0], text});
        }
        return records;
    }

private:
    quillet_test::TempFolder folder_;
};

// Quillet activated by its CLSID through COM, as the host does.
comsupport::ComRef<IMORVAgentPolicyHandler> ActivateQuillet();

}  // namespace quillet_test
