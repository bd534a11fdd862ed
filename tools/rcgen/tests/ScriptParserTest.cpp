// Resource statements on real script files, through the preprocessor and
// the tokenizer as rcgen runs them: ids named by macros, types, languages,
// string tables and the version resource, and the failures of bad scripts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FailureCapture.h"
#include "Preprocessor.h"
#include "ScriptParser.h"
#include "Tokenizer.h"
#include "support/TempFolder.h"

namespace {

using rcgen::Resource;
using wincompat_test::TempFolder;
using wincompat_test::WriteText;

class ScriptParserTest : public ::testing::Test {
protected:
    std::vector<Resource> Parse(const std::string& script) {
        WriteText(folder_.File("test.rc"), script);
        rcgen::Preprocessor pre({}, {{"RT_MANIFEST", "24"}});
        std::vector<rcgen::Line> lines;
        pre.Run(folder_.File("test.rc"), lines);
        return rcgen::ScriptParser(rcgen::Tokenize(lines), pre, folder_.path()).Run();
    }
    std::string FailureFor(const std::string& script) {
        return FailureOf([&] { Parse(script); });
    }
    std::string Where(int line) const { return folder_.File("test.rc") + ":" + std::to_string(line); }

    TempFolder folder_{"rcgen-test"};
};

// The 16-bit little-endian word at `offset`.
unsigned WordAt(const std::string& data, size_t offset) {
    return static_cast<unsigned char>(data.at(offset)) | static_cast<unsigned char>(data.at(offset + 1)) << 8;
}

TEST_F(ScriptParserTest, IdsNamedByMacrosAreNumbers) {
    WriteText(folder_.File("a.rgs"), "HKCR { }");
    WriteText(folder_.File("ids.h"),
              "#define IDR_QUILLET 101\n"
              "#define IDR_SCRIPT_BASE_VALUE 200\n"
              "#define IDR_QUILLET_WITH_A_LONG_VALUE (IDR_SCRIPT_BASE_VALUE + 0x10 - (IDR_QUILLET - IDR_QUILLET))\n");
    std::vector<Resource> resources = Parse(
        "#include \"ids.h\"\n"
        "IDR_QUILLET REGISTRY \"a.rgs\"\n"
        "IDR_QUILLET_WITH_A_LONG_VALUE REGISTRY \"a.rgs\"\n"
        "IDR_NOT_DEFINED REGISTRY \"a.rgs\"\n");
    ASSERT_EQ(resources.size(), 3u);
    EXPECT_TRUE(resources[0].nameIsId);
    EXPECT_EQ(resources[0].nameId, 101);
    EXPECT_TRUE(resources[1].nameIsId);
    EXPECT_EQ(resources[1].nameId, 216);
    // A name that is no macro names the resource, upper-cased as the resource compiler does.
    EXPECT_FALSE(resources[2].nameIsId);
    EXPECT_EQ(resources[2].nameName, "IDR_NOT_DEFINED");
    EXPECT_EQ(resources[0].typeName, "REGISTRY");
    EXPECT_EQ(resources[0].data, "HKCR { }");
}

TEST_F(ScriptParserTest, TypesByNameAndNumberAndTheLanguageInForce) {
    WriteText(folder_.File("a.bin"), "x");
    std::vector<Resource> resources = Parse(
        "1 RCDATA PRELOAD DISCARDABLE \"a.bin\"\n"
        "LANGUAGE 7, 1\n"
        "2 HTML a.bin\n"
        "3 RT_MANIFEST \"a.bin\"\n"
        "\"Named\" custom \"a.bin\"\n"
        "4 ICON \"absent.ico\"\n");
    ASSERT_EQ(resources.size(), 4u);  // the icon is skipped, its file never looked for
    EXPECT_EQ(resources[0].typeId, 10);
    EXPECT_EQ(resources[0].language, 0x0409);
    EXPECT_EQ(resources[1].typeId, 23);
    EXPECT_EQ(resources[1].language, 0x0407);
    EXPECT_EQ(resources[2].typeId, 24);
    EXPECT_FALSE(resources[3].typeIsId);
    EXPECT_EQ(resources[3].typeName, "CUSTOM");
    EXPECT_EQ(resources[3].nameName, "NAMED");
}

TEST_F(ScriptParserTest, StringTablesComeInBlocksOfSixteen) {
    std::vector<Resource> resources = Parse("STRINGTABLE\nBEGIN\n  100 \"Ab\"\n  111, \"C\"\n  112 \"D\"\nEND\n");
    ASSERT_EQ(resources.size(), 2u);
    const Resource& block = resources[0];  // ids 96..111
    EXPECT_EQ(block.typeId, 6);
    EXPECT_EQ(block.nameId, 7);
    // Sixteen counted texts: four empty, "Ab", ten empty, "C".
    ASSERT_EQ(block.data.size(), 2u * 16 + 2 * 2 + 2 * 1);
    EXPECT_EQ(WordAt(block.data, 0), 0u);
    EXPECT_EQ(WordAt(block.data, 8), 2u);
    EXPECT_EQ(WordAt(block.data, 10), unsigned('A'));
    EXPECT_EQ(WordAt(block.data, 12), unsigned('b'));
    EXPECT_EQ(WordAt(block.data, block.data.size() - 4), 1u);
    EXPECT_EQ(WordAt(block.data, block.data.size() - 2), unsigned('C'));
    EXPECT_EQ(resources[1].nameId, 8);  // ids 112..127
}

TEST_F(ScriptParserTest, VersionResourceCarriesTheFixedFieldsAndTheTexts) {
    std::vector<Resource> resources = Parse(
        "1 VERSIONINFO\n FILEVERSION 1,2,3,4\n FILEFLAGS 0x1L\nBEGIN\n"
        "  BLOCK \"StringFileInfo\"\n  BEGIN\n    BLOCK \"040904b0\"\n    BEGIN\n"
        "      VALUE \"FileVersion\", \"1.2.3.4\\0\"\n    END\n  END\n"
        "  BLOCK \"VarFileInfo\"\n  BEGIN\n    VALUE \"Translation\", 0x409, 1200\n"
        "  END\nEND\n");
    ASSERT_EQ(resources.size(), 1u);
    const std::string& data = resources[0].data;
    EXPECT_EQ(resources[0].typeId, 16);
    EXPECT_EQ(WordAt(data, 0), data.size());  // the root's length covers everything
    EXPECT_EQ(WordAt(data, 2), 52u);          // VS_FIXEDFILEINFO
    // Header (6 bytes) and L"VS_VERSION_INFO" (32) padded to 40: the fixed fields follow.
    const size_t fixed = 40;
    EXPECT_EQ(WordAt(data, fixed) | WordAt(data, fixed + 2) << 16, 0xFEEF04BDu);
    EXPECT_EQ(WordAt(data, fixed + 8), 2u);  // FILEVERSION 1,2: low word 2, high word 1
    EXPECT_EQ(WordAt(data, fixed + 10), 1u);
    EXPECT_EQ(WordAt(data, fixed + 12), 4u);
    EXPECT_EQ(WordAt(data, fixed + 14), 3u);
    EXPECT_EQ(WordAt(data, fixed + 28), 1u);  // FILEFLAGS
    // The text value lost its written-out terminator: one NUL after "1.2.3.4".
    const std::u16string text = u"1.2.3.4";
    std::string encoded;
    for (char16_t c : text) encoded += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    size_t at = data.find(encoded);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(WordAt(data, at + encoded.size()), 0u);
    EXPECT_NE(WordAt(data, at + encoded.size() + 2), 0u) << "a second terminator was kept";
}

TEST_F(ScriptParserTest, SkipsDialogsAndOtherBlocksWholly) {
    std::vector<Resource> resources = Parse(
        "1 DIALOGEX 0, 0, 10, 10\nSTYLE 0\nBEGIN\n  CONTROL \"x\", 1\n"
        "  BEGIN\n  END\nEND\n1 TEXTINCLUDE\nBEGIN\n \"resource.h\\0\"\nEND\n");
    EXPECT_TRUE(resources.empty());
}

TEST_F(ScriptParserTest, BadStatementsFailWithTheFileAndLine) {
    WriteText(folder_.File("a.rgs"), "HKCR { }");
    EXPECT_EQ(FailureFor("\n70000 REGISTRY \"a.rgs\"\n"), Where(2) + ": resource id out of range");
    EXPECT_EQ(FailureFor("#define IDR_BIG 0x10000\nIDR_BIG REGISTRY \"a.rgs\"\n"),
              Where(2) + ": resource id out of range");
    EXPECT_EQ(FailureFor("LANGUAGE 9 1\n"), Where(1) + ": cannot read the expression \"9 1 \"");
    EXPECT_EQ(FailureFor("STRINGTABLE\nBEGIN\n  100, Name\nEND\n"),
              Where(3) + ": a string table entry needs a quoted text");
    EXPECT_EQ(FailureFor("STRINGTABLE\nBEGIN\n  70000 \"x\"\nEND\n"), Where(3) + ": string id out of range");
    EXPECT_EQ(FailureFor("STRINGTABLE\nBEGIN\n  IDS_UNDEFINED + \"x\"\nEND\n"),
              Where(3) + ": cannot read the expression \"IDS_UNDEFINED + \"");
    EXPECT_EQ(FailureFor("{ }\n"), Where(1) + ": unexpected '{'");
    EXPECT_EQ(FailureFor("1 VERSIONINFO\nBEGIN\n  STRING \"x\"\nEND\n"), Where(3) + ": expected BLOCK or VALUE");
    EXPECT_EQ(FailureFor("1 DIALOG 0, 0, 1, 1\nBEGIN\n"), Where(2) + ": unexpected end of the script");
}

TEST(TokenizerTest, DecodesStringLiteralsAndJoinsAdjacentOnes) {
    std::vector<rcgen::Token> tokens =
        rcgen::Tokenize({{"1 \"a\\x41\\n\"\"q\" L\"w\" \"x\"", "t.rc:1"}, {"\"y\" IDR_X,{", "t.rc:2"}});
    ASSERT_EQ(tokens.size(), 6u);
    EXPECT_EQ(tokens[0].kind, rcgen::Token::Word);
    EXPECT_EQ(tokens[1].kind, rcgen::Token::String);
    EXPECT_EQ(tokens[1].text, "aA\n\"qwx");  // joined on its line only
    EXPECT_EQ(tokens[2].text, "y");
    EXPECT_EQ(tokens[2].where, "t.rc:2");
    EXPECT_EQ(tokens[3].text, "IDR_X");
    EXPECT_EQ(tokens[4].kind, rcgen::Token::Punct);
    EXPECT_EQ(tokens[5].text, "{");
    EXPECT_EQ(FailureOf([] { rcgen::Tokenize({{"1 \"open", "t.rc:9"}}); }), "t.rc:9: a string is not closed");
}

}  // namespace
