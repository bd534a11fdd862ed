// Which database file morvhost opens, creates or refuses, and what it says
// when it cannot use one: the real program over real files.
#include <sqlite3.h>
#include <sys/stat.h>

#include "HostTestSupport.h"

namespace {

using namespace morvhost_test;

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

void RunSql(const std::string& db, const char* sql) {
    sqlite3* connection = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &connection), SQLITE_OK);
    char* error = nullptr;
    int rc = sqlite3_exec(connection, sql, nullptr, nullptr, &error);
    std::string reason = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(connection);
    ASSERT_EQ(rc, SQLITE_OK) << reason;
}

using DatabaseFileTest = HostFolderTest;

TEST_F(DatabaseFileTest, OnlyInitCreatesAnExplicitDatabase) {
    std::string mistyped = folder_.path() + "/typo/hots.db";
    for (std::vector<std::string> command : {std::vector<std::string>{"blacklist", "add", "00:11:22"},
                                             {"blacklist", "list"},
                                             {"exception", "list"},
                                             {"sensors"},
                                             {"systems"},
                                             {"system", "1"},
                                             {"policy", SamplePath("policies/scan-with-exceptions.xml")},
                                             {"upload", SamplePath("events/demo")}}) {
        command.push_back("--db=" + mistyped);
        Outcome outcome = RunMorvhost(command);
        EXPECT_EQ(outcome.status, 1) << command.front();
        EXPECT_EQ(outcome.err,
                  "morvhost: no database at " + mistyped + ": run 'morvhost init --db " + mistyped + "' to create it\n")
            << command.front();
        EXPECT_EQ(outcome.out, "") << command.front();
        EXPECT_FALSE(Exists(folder_.path() + "/typo")) << command.front() << " made the folder";
    }
    Outcome init = Init(mistyped);
    ASSERT_EQ(init.status, 0) << init.err;
    EXPECT_EQ(init.out, "database ready: " + mistyped + "\n");
    EXPECT_EQ(RunMorvhost({"blacklist", "list", "--db=" + mistyped}).status, 0);
}

TEST_F(DatabaseFileTest, AnEmptyDatabasePathIsAUsageError) {
    std::string data = folder_.path() + "/data";
    for (std::vector<std::string> command : {std::vector<std::string>{"init", "--db", ""},
                                             {"blacklist", "add", "--db", "", "00:11:22"},
                                             {"--db", "", "sensors"}}) {
        Outcome outcome = RunMorvhost(command, "", {{"XDG_DATA_HOME", data}});
        EXPECT_EQ(outcome.status, 2) << command.front();
        EXPECT_TRUE(Contains(outcome.err, "morvhost: --db: the path is empty")) << outcome.err;
    }
    EXPECT_FALSE(Exists(data)) << "the per-user default database was used instead";
}

TEST_F(DatabaseFileTest, APathWithASemicolonWorksEverywhere) {
    std::string db = folder_.path() + "/a;b 'c\".db";
    std::string log = folder_.path() + "/log;1.jsonl";
    ASSERT_EQ(Init(db).status, 0);
    Outcome added = RunMorvhost({"blacklist", "add", "--db", db, "--sql-log", log, "00:A0:C9"});
    ASSERT_EQ(added.status, 0) << added.err;
    EXPECT_EQ(RunMorvhost({"blacklist", "list", "--db", db}).out, "00:A0:C9\n");
    EXPECT_TRUE(Exists(db));
    EXPECT_FALSE(Exists(folder_.path() + "/a")) << "the path was cut at the ';'";
    EXPECT_TRUE(Contains(ReadFile(log), "ZELKScanBlacklist"));
}

TEST_F(DatabaseFileTest, ManyInitsAtOnceOnANewPathAllSucceed) {
    std::vector<Outcome> outcomes = RunMorvhostAtOnce(8, [&](size_t) {
        return std::vector<std::string>{"init", "--db=" + db_};
    });
    for (const Outcome& outcome : outcomes) {
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(outcome.out, "database ready: " + db_ + "\n");
    }
    EXPECT_EQ(OnDb({"blacklist", "list"}).status, 0);
}

TEST_F(DatabaseFileTest, ManyFirstUsesOfTheDefaultDatabaseAtOnceAllSucceed) {
    std::vector<std::pair<std::string, std::string>> environment{{"XDG_DATA_HOME", folder_.path() + "/data"}};
    std::vector<Outcome> outcomes = RunMorvhostAtOnce(
        10,
        [](size_t i) {
            char entry[16];
            snprintf(entry, sizeof entry, "00:11:%02zu", i);
            return std::vector<std::string>{"blacklist", "add", entry};
        },
        environment);
    for (const Outcome& outcome : outcomes) EXPECT_EQ(outcome.status, 0) << outcome.err;
    Outcome list = RunMorvhost({"blacklist", "list"}, "", environment);
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 10) << list.out;
}

TEST_F(DatabaseFileTest, ManyPoliciesAtOnceOnANewDefaultDatabaseAreAllEdited) {
    Register();
    std::vector<std::pair<std::string, std::string>> environment{{"XDG_DATA_HOME", folder_.path() + "/data"}};
    std::vector<Outcome> outcomes = RunMorvhostAtOnce(
        8,
        [&](size_t) {
            return std::vector<std::string>{"policy", "--registry=" + registry_,
                                            SamplePath("policies/scan-with-exceptions.xml")};
        },
        environment);
    for (const Outcome& outcome : outcomes) {
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_TRUE(Contains(outcome.err, "(S_OK)")) << outcome.err;
        EXPECT_TRUE(Contains(outcome.out, "<Setting name=\"ScanBlacklist\"")) << outcome.out;
    }
}

TEST_F(DatabaseFileTest, AFolderOrATextFileIsNamedWithTheCause) {
    std::string folder = folder_.path() + "/folder.db";
    mkdir(folder.c_str(), 0700);
    std::string text = folder_.path() + "/notes.db";
    WriteFile(text, "plain text, not a database\n");
    for (const std::string command : {"init", "list"}) {
        std::vector<std::string> arguments =
            command == "init" ? std::vector<std::string>{"init"} : std::vector<std::string>{"blacklist", "list"};
        arguments.push_back("--db=" + folder);
        Outcome outcome = RunMorvhost(arguments);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.err, "morvhost: cannot open the database " + folder + ": it is a folder, not a file\n");
        arguments.back() = "--db=" + text;
        outcome = RunMorvhost(arguments);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.err, "morvhost: cannot open the database " + text + ": it is not an SQLite database\n");
    }
    EXPECT_EQ(ReadFile(text), "plain text, not a database\n") << "the file was changed";
}

TEST_F(DatabaseFileTest, AReadOnlyFolderIsNamedAsSuch) {
    std::string folder = folder_.path() + "/readonly";
    mkdir(folder.c_str(), 0755);
    std::string db = folder + "/host.db";
    ASSERT_EQ(Init(db).status, 0);
    chmod(db.c_str(), 0666);
    chmod(folder.c_str(), 0555);
    chmod(folder_.path().c_str(), 0755);
    Outcome outcome = RunMorvhost({"blacklist", "list", "--db=" + db}, "", {}, RunAs::Unprivileged);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "morvhost: cannot open the database " + db + ": the folder " + folder +
                               " is not writable (SQLite keeps the database's journal files beside it)\n");
    chmod(folder.c_str(), 0777);
    chmod(db.c_str(), 0444);
    outcome = RunMorvhost({"blacklist", "list", "--db=" + db}, "", {}, RunAs::Unprivileged);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "morvhost: cannot open the database " + db + ": the file is read-only\n");
}

TEST_F(DatabaseFileTest, ADatabaseWithoutTheHostsTablesIsRefusedBeforeAnyPluginCall) {
    Register();
    WriteFile(db_, "");
    Outcome empty = Policy({SamplePath("policies/scan-with-exceptions.xml")});
    EXPECT_EQ(empty.status, 1);
    EXPECT_TRUE(Contains(empty.err, "morvhost: the database " + db_ + " lacks the host's tables ")) << empty.err;
    EXPECT_TRUE(Contains(empty.err, "ZELKSensorProperties")) << empty.err;
    EXPECT_TRUE(Contains(empty.err, "ZELKScanBlacklist")) << empty.err;
    EXPECT_EQ(empty.out, "");

    InitHost();
    RunSql(db_, "DROP TABLE ZELKScanBlacklist");
    for (std::vector<std::string> command :
         {std::vector<std::string>{"policy", "-"}, {"upload", "-"}, {"blacklist", "list"}}) {
        command.push_back("--db=" + db_);
        if (command.front() != "blacklist") command.push_back("--registry=" + registry_);
        Outcome outcome = RunMorvhost(command, ReadFile(SamplePath("policies/scan-with-exceptions.xml")));
        EXPECT_EQ(outcome.status, 1) << command.front();
        EXPECT_EQ(outcome.err, "morvhost: the database " + db_ +
                                   " lacks the host's table ZELKScanBlacklist: run 'morvhost init --db " + db_ +
                                   "' to add them\n")
            << command.front();
    }
    InitHost();
    EXPECT_EQ(Policy({SamplePath("policies/scan-with-exceptions.xml")}).status, 0) << "init adds what is missing";

    RunSql(db_, "DROP TABLE ZELKScanBlacklist; CREATE TABLE ZELKScanBlacklist (ID integer PRIMARY KEY, Entry text)");
    Outcome changed = Policy({SamplePath("policies/scan-with-exceptions.xml")});
    EXPECT_EQ(changed.status, 1);
    EXPECT_EQ(changed.err, "morvhost: the database " + db_ +
                               " does not have the host's schema: the table ZELKScanBlacklist lacks the column "
                               "MACorOUI\n");
    Outcome init = Init(db_);
    EXPECT_EQ(init.status, 1) << "init cannot repair a changed table";
    EXPECT_TRUE(Contains(init.err, "the table ZELKScanBlacklist lacks the column MACorOUI")) << init.err;
}

}  // namespace
