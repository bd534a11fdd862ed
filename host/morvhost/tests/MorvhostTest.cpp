// The morvhost program as a user runs it: exit status, standard output and
// the one-line reasons on standard error, over a real database and registry
// in a temporary folder, with the Quillet library placed beside the program.
#include "HostTestSupport.h"

namespace {

using namespace morvhost_test;

std::string SamplePolicy(const char* name) {
    std::ifstream in(std::string(ZELK_SOURCE_DIR) + "/samples/policies/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class MorvhostTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(RunMorvhost({"init", "--db=" + db_}).status, 0); }

    Outcome Host(std::initializer_list<std::string> arguments, const std::string& input = "") {
        // Before the command, where every command accepts them.
        std::vector<std::string> all{"--db=" + db_, "--registry=" + registry_};
        all.insert(all.end(), arguments);
        return RunMorvhost(all, input);
    }
    void Register() { ASSERT_EQ(Host({"register"}).status, 0); }

    TempFolder folder_;
    std::string db_ = folder_.path() + "/host.db";
    std::string registry_ = folder_.path() + "/registry";
};

TEST_F(MorvhostTest, EveryCommandHasHelp) {
    for (std::vector<std::string> command : {std::vector<std::string>{},
                                             {"init"},
                                             {"register"},
                                             {"policy"},
                                             {"blacklist"},
                                             {"blacklist", "add"},
                                             {"blacklist", "remove"},
                                             {"blacklist", "list"},
                                             {"exception"},
                                             {"exception", "set"},
                                             {"exception", "clear"},
                                             {"exception", "list"},
                                             {"upload"},
                                             {"sensors"},
                                             {"systems"},
                                             {"system"}}) {
        command.push_back("--help");
        Outcome outcome = RunMorvhost(command);
        EXPECT_EQ(outcome.status, 0) << command.front();
        EXPECT_NE(outcome.out.find("Usage:"), std::string::npos) << outcome.out;
    }
}

TEST_F(MorvhostTest, BadCommandLinesFailWithAReason) {
    EXPECT_NE(RunMorvhost({}).status, 0);
    EXPECT_NE(RunMorvhost({"frobnicate"}).status, 0);
    EXPECT_NE(RunMorvhost({"policy"}).status, 0) << "the policy file is required";
    EXPECT_NE(RunMorvhost({"blacklist"}).status, 0);
    EXPECT_NE(RunMorvhost({"blacklist", "add"}).status, 0);
}

TEST_F(MorvhostTest, InitIsIdempotentAndKeepsTheData) {
    Outcome first = Host({"init"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.out.find(db_), std::string::npos);
    ASSERT_EQ(Host({"blacklist", "add", "00:A0:C9"}).status, 0);
    ASSERT_EQ(Host({"init"}).status, 0);
    EXPECT_EQ(Host({"blacklist", "list"}).out, "00:A0:C9\n");
}

TEST_F(MorvhostTest, InitFailsClearlyWhereNoDatabaseCanBeMade) {
    Outcome outcome = RunMorvhost({"init", "--db=/proc/no/such/place.db"});
    EXPECT_NE(outcome.status, 0);
    EXPECT_TRUE(IsOneLineReason(outcome.err)) << outcome.err;
    std::ofstream(folder_.path() + "/not-a-database.db") << "plain text, not SQLite";
    outcome = RunMorvhost({"init", "--db=" + folder_.path() + "/not-a-database.db"});
    EXPECT_NE(outcome.status, 0);
    EXPECT_TRUE(IsOneLineReason(outcome.err)) << outcome.err;
}

TEST_F(MorvhostTest, DefaultDatabaseLivesInTheUserDataFolderAndIsCreatedOnFirstUse) {
    Outcome outcome = RunMorvhost({"blacklist", "add", "00:11:22"}, "", {{"XDG_DATA_HOME", folder_.path() + "/data"}});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(access((folder_.path() + "/data/morvhost/morvhost.db").c_str(), F_OK), 0);
    EXPECT_EQ(RunMorvhost({"blacklist", "list"}, "", {{"XDG_DATA_HOME", folder_.path() + "/data"}}).out, "00:11:22\n");
}

TEST_F(MorvhostTest, BlacklistAddRemoveAndList) {
    Outcome added = Host({"blacklist", "add", "00:11:22:33:44:55", "00:A0:C9"});
    ASSERT_EQ(added.status, 0) << added.err;
    EXPECT_EQ(added.out, "added 00:11:22:33:44:55\nadded 00:A0:C9\n");
    EXPECT_EQ(Host({"blacklist", "add", "00:a0:c9"}).out, "already in the blacklist: 00:A0:C9\n");
    EXPECT_EQ(Host({"blacklist", "list"}).out, "00:11:22:33:44:55\n00:A0:C9\n");
    EXPECT_EQ(Host({"blacklist", "remove", "00:11:22:33:44:55"}).status, 0);
    Outcome missing = Host({"blacklist", "remove", "00:11:22:33:44:55"});
    EXPECT_NE(missing.status, 0);
    EXPECT_TRUE(IsOneLineReason(missing.err)) << missing.err;
    EXPECT_NE(Host({"blacklist", "add", ""}).status, 0);
    EXPECT_NE(Host({"blacklist", "add", std::string(51, 'A')}).status, 0);
    EXPECT_EQ(Host({"blacklist", "add", "O'Brien"}).status, 1) << "no address";
    EXPECT_EQ(Host({"blacklist", "list"}).out, "00:A0:C9\n");
}

TEST_F(MorvhostTest, ExceptionSetClearAndList) {
    Outcome unknown = Host({"exception", "set", "AABBCCDDEEFF"});
    EXPECT_NE(unknown.status, 0);
    EXPECT_TRUE(IsOneLineReason(unknown.err)) << unknown.err;
    ASSERT_EQ(Host({"exception", "set", "--record", "AABBCCDDEEFF", "112233445566"}).status, 0);
    EXPECT_EQ(Host({"exception", "list"}).out, "AABBCCDDEEFF\n112233445566\n");
    ASSERT_EQ(Host({"exception", "clear", "AABBCCDDEEFF"}).status, 0);
    EXPECT_EQ(Host({"exception", "list"}).out, "112233445566\n");
    EXPECT_NE(Host({"exception", "clear", "AABBCCDDEEFF"}).status, 0) << "no longer marked";
    EXPECT_EQ(Host({"exception", "set", "aabbccddeeff"}).status, 0) << "a known system is marked again";
    EXPECT_EQ(Host({"exception", "list"}).out, "AABBCCDDEEFF\n112233445566\n");
}

TEST_F(MorvhostTest, PolicyNeedsTheRegisteredPlugin) {
    Outcome outcome = Host({"policy", "-"}, SamplePolicy("scan-with-exceptions.xml"));
    EXPECT_NE(outcome.status, 0);
    EXPECT_TRUE(IsOneLineReason(outcome.err)) << outcome.err;
    EXPECT_NE(outcome.err.find("morvhost register"), std::string::npos);
}

TEST_F(MorvhostTest, EditedPolicyGoesOutWithBothListsAndTheExactStatements) {
    Register();
    ASSERT_EQ(Host({"blacklist", "add", "00:11:22:33:44:55", "00:A0:C9"}).status, 0);
    ASSERT_EQ(Host({"exception", "set", "--record", "AABBCCDDEEFF"}).status, 0);
    std::string log = folder_.path() + "/statements.jsonl";
    Outcome outcome = Host(
        {"policy", "--sql-log=" + log, std::string(ZELK_SOURCE_DIR) + "/samples/policies/scan-with-exceptions.xml"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_NE(outcome.out.find("<Section name=\"Exceptions\"><Setting name=\"ScanBlacklist\">00:11:22:33:44:55|00:A0:C9"
                               "</Setting><Setting name=\"ExceptionScanBlacklist\">AABBCCDDEEFF</Setting></Section>"),
              std::string::npos)
        << outcome.out;
    EXPECT_NE(outcome.err.find("S_OK"), std::string::npos);
    std::ifstream in(log);
    std::stringstream statements;
    statements << in.rdbuf();
    EXPECT_NE(statements.str().find("\"text\":\"select MACorOUI from ZELKScanBlacklist\""), std::string::npos);
    EXPECT_NE(statements.str().find("\"text\":\"select MAC from ZELKDetectedSystemProperties where [Exception] = 1 "
                                    "AND [DetectionType] = N'detectedSystem'\""),
              std::string::npos);
}

TEST_F(MorvhostTest, UnchangedPolicyGoesOutAsItCameIn) {
    Register();
    for (const char* sample : {"scanning-off.xml", "no-detection-section.xml"}) {
        std::string policy = SamplePolicy(sample);
        Outcome outcome = Host({"policy", "-"}, policy);
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(outcome.out, policy) << sample;
        EXPECT_NE(outcome.err.find("S_FALSE"), std::string::npos);
    }
    Outcome broken = Host({"policy", "-"}, "<SensorPolicy><Section");
    EXPECT_EQ(broken.status, 0) << "a policy that does not parse is sent as it is";
    EXPECT_EQ(broken.out, "<SensorPolicy><Section") << "byte for byte, with no line end added";
}

TEST_F(MorvhostTest, RegisterAndUnregisterThroughTheLibrarysOwnExports) {
    Outcome registered = Host({"register"});
    ASSERT_EQ(registered.status, 0) << registered.err;
    EXPECT_NE(registered.out.find("registered "), std::string::npos);
    EXPECT_NE(registered.out.find("Quillet"), std::string::npos);
    ASSERT_EQ(Host({"register"}).status, 0) << "registering twice is fine";
    EXPECT_EQ(Host({"policy", "-"}, SamplePolicy("scan-with-exceptions.xml")).status, 0);

    Outcome user = Host({"register", "--user"});
    EXPECT_NE(user.status, 0) << "Quillet registers machine-wide only";
    EXPECT_TRUE(IsOneLineReason(user.err)) << user.err;

    ASSERT_EQ(Host({"register", "--unregister"}).status, 0);
    EXPECT_NE(Host({"policy", "-"}, SamplePolicy("scan-with-exceptions.xml")).status, 0);

    Outcome missing = Host({"register", folder_.path() + "/no-such-library.so"});
    EXPECT_NE(missing.status, 0);
    EXPECT_TRUE(IsOneLineReason(missing.err)) << missing.err;
}

TEST_F(MorvhostTest, UnreadablePolicyFileFailsWithAReason) {
    Register();
    Outcome outcome = Host({"policy", folder_.path() + "/missing.xml"});
    EXPECT_NE(outcome.status, 0);
    EXPECT_TRUE(IsOneLineReason(outcome.err)) << outcome.err;
}

}  // namespace
