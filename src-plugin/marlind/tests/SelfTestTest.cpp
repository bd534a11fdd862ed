// DllUnitTest, the developer's self-test: an event file recorded into the
// developer database of the current folder through the message handler's steps.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "PluginTestSupport.h"
#include "ReferenceSchema.h"

namespace marlind_test {
namespace {

// Runs the test inside a fresh folder, as a developer runs the self-test in theirs.
class SelfTest : public PluginFrameTest {
protected:
    void SetUp() override {
        PluginFrameTest::SetUp();
        char saved[PATH_MAX];
        ASSERT_NE(nullptr, getcwd(saved, sizeof saved));
        saved_ = saved;
        ASSERT_EQ(0, chdir(folder_.path().c_str()));
    }
    void TearDown() override {
        if (!saved_.empty()) {
            EXPECT_EQ(0, chdir(saved_.c_str()));
        }
        PluginFrameTest::TearDown();
    }
    std::string DeveloperDatabase() const { return folder_.File("marlind-unittest.db"); }
    INT Run(const std::string& path) {
        LoadedPlugin plugin;
        return plugin.UnitTest(marlind_test::Ole(path).c_str());
    }

    wincompat_test::TempFolder folder_{"marlind-selftest"};
    std::string saved_;
};

TEST_F(SelfTest, RecordsAnEventFileIntoTheDeveloperDatabase) {
    std::string error;
    ASSERT_TRUE(morvhost::ApplyReferenceSchema(DeveloperDatabase(), error)) << error;
    const std::string file = folder_.File("upload.xml");
    wincompat_test::WriteText(file, EventDocument(Detection(1, "host.detected.broadcast") + Detection(2, "other") +
                                                  Detection(3, "host.detected.dhcp")));
    DebugOutputCapture output;
    EXPECT_EQ(1, Run(file));
    EXPECT_TRUE(output.Lines().empty()) << output.Lines().front();
    EXPECT_EQ(1, Run(file)) << "a second run finds the same rows";

    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(DeveloperDatabase().c_str(), &db));
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db,
                                            "SELECT (SELECT COUNT(*) FROM ZELKSensorProperties), "
                                            "(SELECT group_concat(DnsName) FROM ZELKDetectedSystemProperties)",
                                            -1, &statement, nullptr));
    ASSERT_EQ(SQLITE_ROW, sqlite3_step(statement));
    EXPECT_EQ(1, sqlite3_column_int(statement, 0));
    EXPECT_EQ("host1.lab,host3.lab", std::string(reinterpret_cast<const char*>(sqlite3_column_text(statement, 1))));
    sqlite3_finalize(statement);
    sqlite3_close(db);
}

TEST_F(SelfTest, AFileThatCannotBeLoadedStillCompletesOnceTheDatabaseOpened) {
    const std::string damaged = folder_.File("damaged.xml");
    wincompat_test::WriteText(damaged, "<zelk:EventList xmlns:zelk=\"urn:zelk:event\"><zelk:Event>");
    for (const std::string& path : {folder_.File("missing.xml"), damaged}) {
        DebugOutputCapture output;
        EXPECT_EQ(1, Run(path)) << path;
        EXPECT_FALSE(output.Lines().empty()) << "the load failure is reported";
        EXPECT_NE(std::string::npos, output.Lines().front().find("event document not loaded"));
    }
}

TEST_F(SelfTest, ADatabaseThatCannotBeOpenedEndsTheRunWithZero) {
    ASSERT_EQ(0, mkdir(DeveloperDatabase().c_str(), 0700)) << "a folder where the database file belongs";
    const std::string file = folder_.File("upload.xml");
    wincompat_test::WriteText(file, EventDocument(Detection(1, "host.detected.dhcp")));
    DebugOutputCapture output;
    EXPECT_EQ(0, Run(file));
    ASSERT_EQ(1u, output.Lines().size());
    EXPECT_NE(std::string::npos, output.Lines()[0].find("marlind-unittest.db")) << output.Lines()[0];
}

}  // namespace
}  // namespace marlind_test
