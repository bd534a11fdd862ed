// The command line as a user types it: usage errors, the options each
// command takes and where they may stand, the version and the help.
#include "HostTestSupport.h"

namespace {

using namespace morvhost_test;

// The options a command's help lists, in the order given.
std::vector<std::string> ListedOptions(const std::string& help) {
    std::vector<std::string> options;
    for (const char* option : {"--db", "--registry", "--sql-log", "--debug-output", "--strict"})
        if (Contains(help, std::string(option) + " ") || Contains(help, std::string(option) + "\n"))
            options.push_back(option);
    return options;
}

using CommandLineTest = HostFolderTest;

TEST_F(CommandLineTest, UsageErrorsExitWithTwoAndTheParsersMessage) {
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    for (const Case& c : std::vector<Case>{
             {{"init", "--bogus"}, "morvhost: The following argument was not expected: --bogus\n"},
             {{"policy"}, "morvhost: FILE is required\n"},
             {{"blacklist", "add"}, "morvhost: ENTRY is required\n"},
             {{"upload", "--jobs", "0", "x"}, "morvhost: --jobs: Value 0 not in range 1 to 256\n"},
         }) {
        Outcome outcome = RunMorvhost(c.arguments);
        EXPECT_EQ(outcome.status, 2) << c.arguments.front();
        EXPECT_EQ(outcome.err.substr(0, outcome.err.find('\n') + 1), c.message) << outcome.err;
        EXPECT_TRUE(Contains(outcome.err, "--help")) << outcome.err;
    }
}

TEST_F(CommandLineTest, AnUnknownCommandIsNamedAsSuch) {
    Outcome bogus = RunMorvhost({"bogus"});
    EXPECT_EQ(bogus.status, 2);
    EXPECT_TRUE(Contains(bogus.err,
                         "morvhost: unknown command 'bogus' (commands: init, register, policy, blacklist, "
                         "exception, upload, sensors, systems, system)\n"))
        << bogus.err;
    Outcome nested = RunMorvhost({"blacklist", "bogus"});
    EXPECT_EQ(nested.status, 2);
    EXPECT_TRUE(Contains(nested.err, "morvhost: unknown blacklist command 'bogus' (commands: add, remove, list)\n"))
        << nested.err;
    Outcome none = RunMorvhost({});
    EXPECT_EQ(none.status, 2);
    EXPECT_TRUE(Contains(none.err, "morvhost: a command is required (commands: init, ")) << none.err;
    Outcome group = RunMorvhost({"exception"});
    EXPECT_EQ(group.status, 2);
    EXPECT_TRUE(Contains(group.err, "morvhost: an exception command is required (commands: set, clear, list)\n"))
        << group.err;
}

TEST_F(CommandLineTest, VersionIsTheProjectVersion) {
    Outcome outcome = RunMorvhost({"--version"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, std::string("morvhost ") + ZELK_PROJECT_VERSION + "\n");
}

TEST_F(CommandLineTest, EachCommandListsAndTakesOnlyTheOptionsItUses) {
    struct Case {
        std::vector<std::string> command;
        std::vector<std::string> options;
    };
    for (const Case& c : std::vector<Case>{
             {{"init"}, {"--db"}},
             {{"register"}, {"--registry", "--debug-output"}},
             {{"policy"}, {"--db", "--registry", "--sql-log", "--debug-output", "--strict"}},
             {{"blacklist", "add"}, {"--db", "--sql-log"}},
             {{"blacklist", "list"}, {"--db", "--sql-log"}},
             {{"exception", "set"}, {"--db", "--sql-log"}},
             {{"upload"}, {"--db", "--registry", "--sql-log", "--debug-output"}},
             {{"sensors"}, {"--db", "--sql-log"}},
             {{"system"}, {"--db", "--sql-log"}},
         }) {
        std::vector<std::string> help = c.command;
        help.push_back("--help");
        Outcome outcome = RunMorvhost(help);
        ASSERT_EQ(outcome.status, 0);
        EXPECT_EQ(ListedOptions(outcome.out), c.options) << c.command.front() << "\n" << outcome.out;
    }
    Outcome registry = RunMorvhost({"init", "--registry", registry_, "--db", db_});
    EXPECT_EQ(registry.status, 2);
    EXPECT_TRUE(Contains(registry.err, "--registry")) << registry.err;
    Outcome db = RunMorvhost({"register", "--db", db_});
    EXPECT_EQ(db.status, 2);
    EXPECT_TRUE(Contains(db.err, "--db")) << db.err;
}

TEST_F(CommandLineTest, OptionsStandAnywhereOnTheirCommandsLine) {
    ASSERT_EQ(RunMorvhost({"init", "--db", db_}).status, 0);
    EXPECT_EQ(RunMorvhost({"blacklist", "--db", db_, "add", "00:A0:C9"}).status, 0);
    EXPECT_EQ(RunMorvhost({"blacklist", "add", "00:11:22", "--db", db_}).status, 0);
    EXPECT_EQ(RunMorvhost({"blacklist", "--db", db_, "list"}).out, "00:A0:C9\n00:11:22\n");
    EXPECT_EQ(RunMorvhost({"--db", db_, "blacklist", "list"}).out, "00:A0:C9\n00:11:22\n");
    EXPECT_EQ(RunMorvhost({"--db", db_, "sensors"}).status, 0);
    EXPECT_EQ(RunMorvhost({"exception", "--db", db_, "set", "--record", "AABBCCDDEEFF"}).status, 0);
    EXPECT_EQ(RunMorvhost({"exception", "list", "--db", db_}).out, "AABBCCDDEEFF\n");
    EXPECT_EQ(RunMorvhost({"--registry", registry_, "register"}).status, 0);
    Outcome policy = RunMorvhost({"policy", "-", "--registry", registry_, "--db", db_},
                                 ReadFile(SamplePath("policies/scan-with-exceptions.xml")));
    EXPECT_EQ(policy.status, 0) << policy.err;
}

TEST_F(CommandLineTest, HelpEndsWithExamples) {
    Outcome outcome = RunMorvhost({"--help"});
    ASSERT_EQ(outcome.status, 0);
    size_t examples = outcome.out.rfind("Examples:\n");
    ASSERT_NE(examples, std::string::npos) << outcome.out;
    EXPECT_EQ(outcome.out.back(), '\n') << "the help ends with a line end";
    std::istringstream lines(outcome.out.substr(examples + 10));
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        EXPECT_EQ(line.rfind("  morvhost ", 0), 0u) << line;
        ++count;
    }
    EXPECT_GE(count, 2);
    EXPECT_LE(count, 3);
}

}  // namespace
