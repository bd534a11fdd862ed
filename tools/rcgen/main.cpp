// rcgen: reads a module's resource script (.rc) and writes a C++ source that
// carries its resources, for linking into the shared library that stands in
// for the DLL on Linux. It understands the part of the .rc language that COM
// servers use:
//   #include, #define (object-like), #undef, #if/#ifdef/#ifndef/#elif/#else/#endif, #pragma
//   LANGUAGE lang, sublang
//   <id> <TYPE> "file"                (REGISTRY, TYPELIB, RCDATA, HTML, named or numbered types)
//   STRINGTABLE BEGIN <id> "text" ... END
//   <id> VERSIONINFO <fixed fields> BEGIN BLOCK "StringFileInfo" ... BLOCK "VarFileInfo" ... END
// Dialogs, menus, TEXTINCLUDE and similar blocks are skipped; icons, cursors,
// bitmaps and fonts are skipped too (nothing reads them here). Anything else
// is an error with the file and line (exit status 1; 2 for a bad command line).
//
// rcgen [-I dir]... [-D name[=value]]... [--depfile file] -o out.cpp input.rc
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "Failure.h"
#include "Files.h"
#include "Preprocessor.h"
#include "ScriptParser.h"
#include "SourceWriter.h"
#include "Tokenizer.h"

using namespace rcgen;

int main(int argc, char** argv) {
    std::vector<std::string> includeDirs;
    MacroTable defines = {{"RC_INVOKED", "1"},
                          {"VS_VERSION_INFO", "1"},
                          {"VS_FFI_FILEFLAGSMASK", "0x3F"},
                          {"VS_FF_DEBUG", "0x1"},
                          {"VS_FF_PRERELEASE", "0x2"},
                          {"VS_FF_PATCHED", "0x4"},
                          {"VS_FF_PRIVATEBUILD", "0x8"},
                          {"VS_FF_INFOINFERRED", "0x10"},
                          {"VS_FF_SPECIALBUILD", "0x20"},
                          {"VOS_UNKNOWN", "0"},
                          {"VOS_NT", "0x40000"},
                          {"VOS__WINDOWS32", "0x4"},
                          {"VOS_NT_WINDOWS32", "0x40004"},
                          {"VFT_UNKNOWN", "0"},
                          {"VFT_APP", "1"},
                          {"VFT_DLL", "2"},
                          {"VFT2_UNKNOWN", "0"},
                          {"LANG_NEUTRAL", "0"},
                          {"LANG_ENGLISH", "9"},
                          {"LANG_GERMAN", "7"},
                          {"LANG_FRENCH", "12"},
                          {"SUBLANG_NEUTRAL", "0"},
                          {"SUBLANG_DEFAULT", "1"},
                          {"SUBLANG_SYS_DEFAULT", "2"},
                          {"SUBLANG_ENGLISH_US", "1"},
                          {"SUBLANG_GERMAN", "1"},
                          {"SUBLANG_FRENCH", "1"},
                          {"RT_MANIFEST", "24"},
                          {"CREATEPROCESS_MANIFEST_RESOURCE_ID", "1"},
                          {"ISOLATIONAWARE_MANIFEST_RESOURCE_ID", "2"}};
    std::string output, depfile, input;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const std::string& prefix) -> std::string {
            if (arg.size() > prefix.size()) return arg.substr(prefix.size());
            if (i + 1 >= argc) {
                std::cerr << "rcgen: " << prefix << " needs a value\n";
                exit(2);
            }
            return argv[++i];
        };
        if (arg.compare(0, 2, "-I") == 0) {
            includeDirs.push_back(value("-I"));
        } else if (arg.compare(0, 2, "-D") == 0) {
            std::string define = value("-D");
            size_t eq = define.find('=');
            defines[define.substr(0, eq)] = eq == std::string::npos ? "1" : define.substr(eq + 1);
        } else if (arg == "-o") {
            output = value("-o");
        } else if (arg == "--depfile") {
            depfile = value("--depfile");
        } else if (!arg.empty() && arg[0] == '-') {
            std::cerr << "rcgen: unknown option " << arg << "\n";
            return 2;
        } else {
            input = arg;
        }
    }
    if (input.empty() || output.empty()) {
        std::cerr << "usage: rcgen [-I dir]... [-D name[=value]]... [--depfile file] -o out.cpp input.rc\n";
        return 2;
    }
    try {
        Preprocessor pre(includeDirs, defines);
        std::vector<Line> lines;
        pre.Run(input, lines);
        ScriptParser parser(Tokenize(lines), pre, DirectoryOf(input));
        std::vector<Resource> resources = parser.Run();
        std::string text = Generate(resources, input);
        std::string existing;
        if (!ReadFileBytes(output, existing) || existing != text) {
            std::ofstream out(output, std::ios::binary | std::ios::trunc);
            out << text;
            if (!out) Fail(output, "cannot write the output");
        }
        if (!depfile.empty()) {
            std::ofstream dep(depfile, std::ios::trunc);
            dep << output << ":";
            for (const std::string& file : pre.FilesRead()) dep << " \\\n  " << file;
            dep << "\n";
        }
    } catch (const Failure& failure) {
        std::cerr << "rcgen: " << failure.message << "\n";
        return 1;
    }
    return 0;
}
