// The preprocessor on real script files: which lines survive the
// conditionals, where included files are found, what it records for the
// depfile, and the file and line of each failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "FailureCapture.h"
#include "Preprocessor.h"
#include "support/TempFolder.h"

namespace {

using rcgen::Line;
using rcgen::Preprocessor;
using wincompat_test::TempFolder;
using wincompat_test::WriteText;

class PreprocessorTest : public ::testing::Test {
protected:
    // The texts of the lines left after preprocessing `script` (written as test.rc).
    std::vector<std::string> LinesLeft(const std::string& script, rcgen::MacroTable defines = {}) {
        WriteText(folder_.File("test.rc"), script);
        Preprocessor pre({folder_.File("include")}, std::move(defines));
        std::vector<Line> lines;
        pre.Run(folder_.File("test.rc"), lines);
        std::vector<std::string> texts;
        for (const Line& line : lines) texts.push_back(line.text);
        return texts;
    }
    std::string FailureFor(const std::string& script) {
        return FailureOf([&] { LinesLeft(script); });
    }
    TempFolder folder_{"rcgen-test"};
};

using Texts = std::vector<std::string>;

TEST_F(PreprocessorTest, KeepsTheLinesOfTheBranchesTaken) {
    EXPECT_EQ(LinesLeft("#if 0\nA\n#elif 1\nB\n#elif 1\nC\n#else\nD\n#endif\n"), Texts{"B"});
    EXPECT_EQ(LinesLeft("#ifdef FLAVOUR\nA\n#else\nB\n#endif\n#ifndef FLAVOUR\nC\n#endif\n"), (Texts{"B", "C"}));
    EXPECT_EQ(LinesLeft("#ifdef FLAVOUR\nA\n#endif\n", {{"FLAVOUR", "1"}}), Texts{"A"});
    EXPECT_EQ(LinesLeft("#if 1\n#if 0\nA\n#else\nB\n#endif\n#endif\n"), Texts{"B"});
}

TEST_F(PreprocessorTest, DoesNotEvaluateWhatAnInactiveBranchHolds) {
    // Neither expression can be read; neither is looked at.
    EXPECT_EQ(LinesLeft("#if 0\n#if (\nA\n#endif\n#else\nB\n#endif\n"), Texts{"B"});
    EXPECT_EQ(LinesLeft("#if 1\nA\n#elif (\nB\n#endif\n"), Texts{"A"});
    // Nor does an inactive branch act on its directives.
    EXPECT_EQ(LinesLeft("#if 0\n#error never\n#include \"absent.h\"\n#define X 1\n#endif\n#ifdef X\nA\n#endif\n"),
              Texts{});
}

TEST_F(PreprocessorTest, DefinesAndUndefinesObjectLikeMacrosOnly) {
    EXPECT_EQ(LinesLeft("#define ID (100 + 1)\n#if ID == 101\nA\n#endif\n#undef ID\n#ifndef ID\nB\n#endif\n"),
              (Texts{"A", "B"}));
    EXPECT_EQ(LinesLeft("#define MAX(a, b) a\n#ifdef MAX\nA\n#endif\n"), Texts{});
}

TEST_F(PreprocessorTest, RemovesCommentsButNotWhatStringsHold) {
    EXPECT_EQ(LinesLeft("A /* one\ntwo */ B\nC \"//x /*y*/\" // gone\n"), (Texts{"A ", " B", "C \"//x /*y*/\" "}));
}

TEST_F(PreprocessorTest, FindsIncludesInTheIncludeFoldersFirstAndRecordsWhatItRead) {
    std::filesystem::create_directory(folder_.File("include"));
    WriteText(folder_.File("include/ids.h"), "#define WHERE 1\n");
    WriteText(folder_.File("ids.h"), "#define WHERE 2\n");
    WriteText(folder_.File("test.rc"), "#include \"ids.h\"\n#include <windows.h>\n#include \"WinRes.h\"\n");
    Preprocessor pre({folder_.File("include")}, {});
    std::vector<Line> lines;
    pre.Run(folder_.File("test.rc"), lines);
    EXPECT_EQ(pre.Macros().at("WHERE"), "1");
    EXPECT_EQ(pre.FilesRead(), (std::set<std::string>{folder_.File("include/ids.h"), folder_.File("test.rc")}));
}

TEST_F(PreprocessorTest, LinesKeepTheFileAndLineTheyCameFrom) {
    WriteText(folder_.File("inner.rc"), "\nINNER\n");
    WriteText(folder_.File("test.rc"), "#include \"inner.rc\"\r\nOUTER\r\n");
    Preprocessor pre({}, {});
    std::vector<Line> lines;
    pre.Run(folder_.File("test.rc"), lines);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].where, folder_.File("inner.rc") + ":2");
    EXPECT_EQ(lines[1].text, "OUTER");
    EXPECT_EQ(lines[1].where, folder_.File("test.rc") + ":2");
}

TEST_F(PreprocessorTest, FailsWithTheFileAndLine) {
    const std::string rc = folder_.File("test.rc");
    EXPECT_EQ(FailureFor("A\n#if 1 +\n#endif\n"), rc + ":2: cannot read the expression \"1 +\"");
    EXPECT_EQ(FailureFor("#else\n"), rc + ":1: #else without #if");
    EXPECT_EQ(FailureFor("\n#elif 1\n"), rc + ":2: #elif without #if");
    EXPECT_EQ(FailureFor("#include \"absent.h\"\n"), rc + ":1: cannot find #include \"absent.h\"");
    EXPECT_EQ(FailureFor("#include ids.h\n"), rc + ":1: bad #include line");
    EXPECT_EQ(FailureFor("#ifdef X\n"), rc + ": #if without #endif");
    EXPECT_EQ(FailureFor("#line 5\n"), rc + ":1: unsupported directive #line");
    EXPECT_EQ(FailureFor("\xFF\xFE#\0"), rc + ": UTF-16 resource scripts are not supported: save it as UTF-8");
    EXPECT_EQ(FailureFor("#include \"test.rc\"\n"), rc + ": #include nests too deeply");
}

TEST_F(PreprocessorTest, AByteOrderMarkIsNotPartOfTheFirstLine) {
    EXPECT_EQ(LinesLeft("\xEF\xBB\xBF#define X 1\n#ifdef X\nA\n#endif\n"), Texts{"A"});
}

TEST_F(PreprocessorTest, AMissingFileFails) {
    Preprocessor pre({}, {});
    std::vector<Line> lines;
    EXPECT_EQ(FailureOf([&] { pre.Run(folder_.File("absent.rc"), lines); }),
              folder_.File("absent.rc") + ": cannot read the file");
}

}  // namespace
