// The resource-script translator run as the build runs it, on good and bad scripts.
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <utime.h>

#include <gtest/gtest.h>

#include <string>

#include "support/TempFolder.h"

namespace {

using wincompat_test::ReadText;
using wincompat_test::WriteText;

class RcgenTest : public ::testing::Test {
protected:
    // Runs rcgen on `rc` (written to a file) and returns its exit status; `output` gets stderr.
    int Run(const std::string& rc, std::string& output, const std::string& extra = "") {
        WriteText(dir_ + "/test.rc", rc);
        return RunArguments(extra + " -o " + dir_ + "/out.cpp " + dir_ + "/test.rc", output);
    }
    // Runs rcgen with these arguments as they stand.
    int RunArguments(const std::string& arguments, std::string& output) {
        std::string command = std::string(RCGEN_PATH) + " " + arguments + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) return -1;
        output.clear();
        char buffer[512];
        while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
        int status = pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Generated() const { return ReadText(dir_ + "/out.cpp"); }
    wincompat_test::TempFolder folder_{"rcgen-test"};
    const std::string dir_ = folder_.path();
};

TEST_F(RcgenTest, TranslatesScriptsAndIncludedDefinitions) {
    WriteText(dir_ + "/ids.h",
              "#define IDR_ONE 101\n#define IDS_NAME 100\n#define BASE 200\n#define IDS_NEXT (BASE + 1)\n");
    WriteText(dir_ + "/one.rgs", "HKCR { }");
    std::string output;
    ASSERT_EQ(Run("#include \"ids.h\"\n#include <windows.h>\n"
                  "#if defined(IDR_ONE) && !defined(NOT_THERE)\n"
                  "IDR_ONE REGISTRY \"one.rgs\" /* comment */\n"
                  "#elif 1\n#error not taken\n#endif\n"
                  "#ifdef FLAVOUR\nIDS_X_UNDEFINED REGISTRY \"missing.rgs\"\n#endif\n"
                  "STRINGTABLE\nBEGIN\n  IDS_NAME \"Name\" \" joined\"\n  IDS_NEXT, \"Next\"\nEND\n"
                  "1 DIALOG 0, 0, 10, 10\nSTYLE 0\nBEGIN\n  CONTROL \"x\", 1\nEND\n",
                  output),
              0)
        << output;
    std::string generated = Generated();
    EXPECT_NE(generated.find("{0, u\"REGISTRY\", 101, nullptr, 1033, kData0, 8}"), std::string::npos) << generated;
    EXPECT_NE(generated.find("{6, nullptr, 7, nullptr, 1033,"), std::string::npos);   // ids 96..111
    EXPECT_NE(generated.find("{6, nullptr, 13, nullptr, 1033,"), std::string::npos);  // ids 192..207
    EXPECT_EQ(generated.find("missing"), std::string::npos);
}

TEST_F(RcgenTest, RefusesWhatItCannotTranslateWithFileAndLine) {
    struct Case {
        const char* rc;
        const char* mentions;
    };
    const Case cases[] = {
        {"101 REGISTRY \"absent.rgs\"\n", "test.rc:1: cannot find the resource file \"absent.rgs\""},
        {"#include \"absent.h\"\n", "cannot find #include"},
        {"#if 1\n101 REGISTRY \"x\"\n", "#if without #endif"},
        {"#endif\n", "#endif without #if"},
        {"STRINGTABLE\nBEGIN\n  100 \"a\"\n  100 \"b\"\nEND\n", "defined twice"},
        {"STRINGTABLE\nBEGIN\n  100 \"unclosed\nEND\n", "not closed"},
        {"STRINGTABLE\nBEGIN\n  100 \"a\"\n", "unexpected end"},
        {"1 RCDATA\nBEGIN\n 1, 2\nEND\n", "inline resource data"},
        {"1 VERSIONINFO\n FILEVERSION 1,0,0,1\n BOGUS 3\nBEGIN\nEND\n", "unknown VERSIONINFO field BOGUS"},
        {"#frobnicate\n", "unsupported directive"},
        {"#error stop here\n", "stop here"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rc);
        std::string output;
        EXPECT_EQ(Run(c.rc, output), 1);
        EXPECT_NE(output.find(c.mentions), std::string::npos) << output;
    }
    std::string output;
    EXPECT_EQ(Run("", output, "--no-such-option"), 2);
}

// A resource id named by a macro whose value is long enough to live on the heap.
TEST_F(RcgenTest, TranslatesIdsNamedByMacrosWithLongValues) {
    WriteText(dir_ + "/ids.h",
              "#define IDR_SCRIPT_BASE_VALUE 100\n"
              "#define IDR_QUILLET (IDR_SCRIPT_BASE_VALUE + 0x10 - (IDR_SCRIPT_BASE_VALUE - IDR_SCRIPT_BASE_VALUE))\n");
    WriteText(dir_ + "/one.rgs", "HKCR { }");
    std::string output;
    ASSERT_EQ(Run("#include \"ids.h\"\nIDR_QUILLET REGISTRY \"one.rgs\"\n", output), 0) << output;
    EXPECT_NE(Generated().find("{0, u\"REGISTRY\", 116, nullptr, 1033, kData0, 8}"), std::string::npos) << Generated();
}

TEST_F(RcgenTest, WritesADepfileNamingEveryFileItRead) {
    mkdir((dir_ + "/gen").c_str(), 0755);
    WriteText(dir_ + "/gen/ids.h", "#define IDR_ONE 101\n");
    WriteText(dir_ + "/one.rgs", "HKCR { }");
    std::string output;
    ASSERT_EQ(Run("#include \"ids.h\"\nIDR_ONE REGISTRY \"one.rgs\"\n", output,
                  "-I " + dir_ + "/gen --depfile " + dir_ + "/out.d"),
              0)
        << output;
    EXPECT_EQ(ReadText(dir_ + "/out.d"),
              dir_ + "/out.cpp: \\\n  " + dir_ + "/gen/ids.h \\\n  " + dir_ + "/one.rgs \\\n  " + dir_ + "/test.rc\n");
}

// The build recompiles what includes the output only when its text changed.
TEST_F(RcgenTest, LeavesAnUnchangedOutputAlone) {
    WriteText(dir_ + "/one.rgs", "HKCR { }");
    std::string output;
    ASSERT_EQ(Run("1 REGISTRY \"one.rgs\"\n", output), 0) << output;
    struct utimbuf old = {1000000000, 1000000000};
    ASSERT_EQ(utime((dir_ + "/out.cpp").c_str(), &old), 0);
    ASSERT_EQ(Run("1 REGISTRY \"one.rgs\"\n", output), 0) << output;
    struct stat info = {};
    ASSERT_EQ(stat((dir_ + "/out.cpp").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 1000000000);
    ASSERT_EQ(Run("2 REGISTRY \"one.rgs\"\n", output), 0) << output;
    ASSERT_EQ(stat((dir_ + "/out.cpp").c_str(), &info), 0);
    EXPECT_NE(info.st_mtime, 1000000000);
    EXPECT_NE(Generated().find("{0, u\"REGISTRY\", 2, nullptr,"), std::string::npos) << Generated();
}

TEST_F(RcgenTest, AFailedRunWritesNoOutput) {
    std::string output;
    EXPECT_EQ(Run("#if (1\n#endif\n", output), 1);
    EXPECT_NE(output.find("test.rc:1: missing ')' in \"(1\""), std::string::npos) << output;
    struct stat info = {};
    EXPECT_NE(stat((dir_ + "/out.cpp").c_str(), &info), 0);
}

TEST_F(RcgenTest, AnOutputItCannotWriteFails) {
    WriteText(dir_ + "/test.rc", "\n");
    std::string output;
    EXPECT_EQ(RunArguments("-o " + dir_ + "/absent/out.cpp " + dir_ + "/test.rc", output), 1);
    EXPECT_NE(output.find("absent/out.cpp: cannot write the output"), std::string::npos) << output;
}

TEST_F(RcgenTest, BadCommandLinesExitWithTwoAndSayWhy) {
    std::string output;
    EXPECT_EQ(RunArguments("", output), 2);
    EXPECT_NE(output.find("usage: rcgen"), std::string::npos) << output;
    EXPECT_EQ(RunArguments("-o " + dir_ + "/out.cpp", output), 2);
    EXPECT_NE(output.find("usage: rcgen"), std::string::npos) << output;
    EXPECT_EQ(RunArguments(dir_ + "/test.rc -o", output), 2);
    EXPECT_NE(output.find("rcgen: -o needs a value"), std::string::npos) << output;
    EXPECT_EQ(RunArguments(dir_ + "/absent.rc -o " + dir_ + "/out.cpp", output), 1);
    EXPECT_NE(output.find("absent.rc: cannot read the file"), std::string::npos) << output;
}

}  // namespace
