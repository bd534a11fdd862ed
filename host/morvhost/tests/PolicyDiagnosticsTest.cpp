// What morvhost says when a plug-in cannot be reached or leaves a policy
// alone for a reason the user should know, and how it reads policy files in
// their own encodings: the real program, registry, plug-in and database.
#include <sqlite3.h>

#include "HostTestSupport.h"

namespace {

using namespace morvhost_test;

const char kSensitivePolicy[] =
    "<SensorPolicy>\n"
    "  <Section name=\"General\"><Setting name=\"Site\">R\xC3\xA9seau \xC3\xA0 Gen\xC3\xA8ve</Setting></Section>\n"
    "  <Section name=\"Detection\">\n"
    "    <Setting name=\"SubnetScanEnabled\">1</Setting>\n"
    "    <Setting name=\"OSFingerprintingEnabled\">1</Setting>\n"
    "    <Setting name=\"ScanSystemsMarkedAsException\">0</Setting>\n"
    "  </Section>\n"
    "</SensorPolicy>\n";

// The policy above as ISO-8859-1 bytes.
std::string Latin1(const std::string& utf8) {
    std::string bytes;
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c == 0xC3)
            bytes += static_cast<char>(0x40 + static_cast<unsigned char>(utf8[++i]));
        else
            bytes += static_cast<char>(c);
    }
    return bytes;
}

std::string Utf16LittleEndian(const std::string& ascii) {
    std::string bytes = "\xFF\xFE";
    for (char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

// Overwrites the first pages of a table and of its indexes, leaving the
// schema readable: reading the table then fails as on a damaged disk.
void DamageTablePages(const std::string& db, const std::string& table) {
    sqlite3* connection = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &connection), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(connection, "PRAGMA wal_checkpoint(TRUNCATE); PRAGMA journal_mode=DELETE", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(connection, "PRAGMA page_size", -1, &statement, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    const size_t pageSize = static_cast<size_t>(sqlite3_column_int64(statement, 0));
    sqlite3_finalize(statement);
    ASSERT_EQ(sqlite3_prepare_v2(connection, "SELECT rootpage FROM sqlite_master WHERE tbl_name = ?", -1, &statement,
                                 nullptr),
              SQLITE_OK);
    sqlite3_bind_text(statement, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    std::vector<long> pages;
    while (sqlite3_step(statement) == SQLITE_ROW) pages.push_back(sqlite3_column_int64(statement, 0));
    sqlite3_finalize(statement);
    sqlite3_close(connection);
    ASSERT_FALSE(pages.empty());
    std::string bytes = ReadFile(db);
    for (long page : pages) {
        size_t start = static_cast<size_t>(page - 1) * pageSize;
        ASSERT_LE(start + pageSize, bytes.size());
        bytes.replace(start, pageSize, std::string(pageSize, '\x7F'));
    }
    WriteFile(db, bytes);
}

using PolicyDiagnosticsTest = HostFolderTest;

TEST_F(PolicyDiagnosticsTest, ADamagedRegistryIsReportedWithFileLineAndReason) {
    InitHost();
    Register();
    std::string hive = registry_ + "/HKEY_LOCAL_MACHINE.reg";
    std::string text = ReadFile(hive);
    ASSERT_NE(text.find('\n'), std::string::npos);
    WriteFile(hive, text.substr(0, text.find('\n') + 1) + "\nthis line is no registry line\n" +
                        text.substr(text.find('\n') + 1));
    for (std::vector<std::string> command :
         {std::vector<std::string>{"policy", SamplePath("policies/scan-with-exceptions.xml"), "--db=" + db_},
          {"register"},
          {"upload", SamplePath("events/demo"), "--db=" + db_}}) {
        command.push_back("--registry=" + registry_);
        Outcome outcome = RunMorvhost(command);
        EXPECT_EQ(outcome.status, 1) << command.front();
        EXPECT_TRUE(IsOneLineReason(outcome.err)) << outcome.err;
        EXPECT_TRUE(Contains(outcome.err, "morvhost: the registry is damaged: " + hive + " is damaged")) << outcome.err;
        EXPECT_TRUE(Contains(outcome.err, "(line 3: ")) << outcome.err;
        EXPECT_FALSE(Contains(outcome.err, "morvhost register")) << outcome.err;
    }
}

TEST_F(PolicyDiagnosticsTest, ALibraryThatCannotBeLoadedIsReportedWithTheLoadersText) {
    std::string missing = folder_.path() + "/missing.so";
    Outcome outcome = RunMorvhost({"register", "--registry=" + registry_, missing});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "morvhost: cannot load " + missing + ": " + missing +
                               ": cannot open shared object file: No such file or directory\n");
    std::string notLibrary = folder_.path() + "/text.so";
    WriteFile(notLibrary, "not a library");
    outcome = RunMorvhost({"register", "--registry=" + registry_, notLibrary});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(Contains(outcome.err, "morvhost: cannot load " + notLibrary + ": ")) << outcome.err;
    EXPECT_TRUE(Contains(outcome.err, "file too short") || Contains(outcome.err, "invalid ELF header")) << outcome.err;
}

TEST_F(PolicyDiagnosticsTest, PolicyFilesAreDecodedByTheirByteOrderMarkOrDeclaration) {
    InitHost();
    Register();
    const std::string expected = "R\xC3\xA9seau \xC3\xA0 Gen\xC3\xA8ve";
    struct Case {
        const char* name;
        std::string bytes;
    };
    std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n" + Latin1(kSensitivePolicy);
    std::string windows1252 = "<?xml version='1.0' encoding='windows-1252'?>\n" + Latin1(kSensitivePolicy);
    std::string utf8Bom = "\xEF\xBB\xBF" + std::string(kSensitivePolicy);
    for (const Case& c : std::vector<Case>{
             {"latin1", latin1}, {"windows1252", windows1252}, {"utf8", kSensitivePolicy}, {"utf8bom", utf8Bom}}) {
        std::string file = folder_.path() + "/" + c.name + ".xml";
        WriteFile(file, c.bytes);
        Outcome outcome = Policy({file});
        EXPECT_EQ(outcome.status, 0) << c.name << ": " << outcome.err;
        EXPECT_TRUE(Contains(outcome.out, expected)) << c.name << ": " << outcome.out;
        EXPECT_FALSE(Contains(outcome.out, "\xEF\xBF\xBD")) << c.name << ": U+FFFD in " << outcome.out;
        EXPECT_TRUE(Contains(outcome.out, "<Setting name=\"ScanBlacklist\"")) << c.name;
    }
    // UTF-16 with its mark; its declaration says so too.
    std::string unchanged =
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?><SensorPolicy><Section name=\"General\"/>"
        "</SensorPolicy>";
    WriteFile(folder_.path() + "/utf16.xml", Utf16LittleEndian(unchanged));
    Outcome utf16 = Policy({folder_.path() + "/utf16.xml"});
    EXPECT_EQ(utf16.status, 0) << utf16.err;
    EXPECT_EQ(utf16.out, Utf16LittleEndian(unchanged)) << "a declined policy goes out as it came";
}

TEST_F(PolicyDiagnosticsTest, ADeclinedPolicyGoesOutInItsOwnEncoding) {
    InitHost();
    Register();
    std::string declined = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n" +
                           Latin1(
                               "<SensorPolicy><Section name=\"General\"><Setting name=\"Site\">"
                               "Gen\xC3\xA8ve</Setting></Section></SensorPolicy>");
    std::string file = folder_.path() + "/declined.xml";
    WriteFile(file, declined);
    Outcome outcome = Policy({file});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, declined) << "the text must match the encoding its declaration names";
    EXPECT_TRUE(Contains(outcome.err, "(S_FALSE)")) << outcome.err;
}

TEST_F(PolicyDiagnosticsTest, BytesThatDoNotDecodeAreRefusedWithTheirOffset) {
    InitHost();
    Register();
    std::string file = folder_.path() + "/latin1-undeclared.xml";
    std::string bytes = Latin1(kSensitivePolicy);
    WriteFile(file, bytes);
    size_t offset = bytes.find('\xE9');
    Outcome outcome = Policy({file});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "morvhost: the policy file " + file + " is not valid UTF-8: the byte 0xE9 at offset " +
                               std::to_string(offset) + " does not decode (declare the file's encoding)\n");
    EXPECT_EQ(outcome.out, "");
    Outcome input = Policy({"-"}, "<SensorPolicy>\xFF</SensorPolicy>");
    EXPECT_EQ(input.status, 1);
    EXPECT_EQ(input.err,
              "morvhost: the policy on standard input is not valid UTF-8: the byte 0xFF at offset 14 does "
              "not decode (declare the file's encoding)\n");
    Outcome unknown = Policy({"-"}, "<?xml version=\"1.0\" encoding=\"klingon\"?><SensorPolicy/>");
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err,
              "morvhost: the policy on standard input declares the encoding 'klingon', which is not "
              "known\n");
}

TEST_F(PolicyDiagnosticsTest, ListsThatCouldNotBeAddedAreFlaggedAndStrictFails) {
    InitHost();
    Register();
    ASSERT_EQ(OnDb({"blacklist", "add", "00:11:22:33:44:55"}).status, 0);
    DamageTablePages(db_, "ZELKScanBlacklist");
    std::string policy = ReadFile(SamplePath("policies/scan-with-exceptions.xml"));
    Outcome outcome = Policy({"-"}, policy);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, policy) << "what the host would send: the original";
    EXPECT_EQ(outcome.err,
              "morvhost: policy left unchanged by Quillet (S_FALSE): sending the original\n"
              "morvhost: warning: the policy asks for the scan lists, but they were not added: reading the scan "
              "blacklist fails: database disk image is malformed\n");
    Outcome strict = Policy({"--strict", "-"}, policy);
    EXPECT_EQ(strict.status, 3);
    EXPECT_EQ(strict.out, policy);
    EXPECT_EQ(strict.err, outcome.err);

    for (const char* sample : {"scanning-off.xml", "no-detection-section.xml"}) {
        Outcome unasked = Policy({"--strict", SamplePath(std::string("policies/") + sample)});
        EXPECT_EQ(unasked.status, 0) << sample << ": the policy does not ask for the lists";
        EXPECT_EQ(unasked.err, "morvhost: policy left unchanged by Quillet (S_FALSE): sending the original\n");
    }
}

}  // namespace
