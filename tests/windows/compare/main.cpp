// Compares what the Windows test host read back under Wine with what the
// Linux build wrote for the same input:
//
//   windows-compare statements LINUX_DIR WINDOWS_DIR SINCE KNOWN
//       every <document>.jsonl statement log of either folder, record by
//       record; dates from SINCE ("YYYY-MM-DD HH:MM:SS", UTC) on are times of
//       processing and compare equal.
//   windows-compare registry LINUX_REG WINDOWS_REG LINUX_MODULE KNOWN
//       the keys and values one DLL's registration wrote, the module's path
//       and folder aside; the Linux hive's bare container keys are left out.
//
// KNOWN lists the differences that docs/windows-differences.md explains as
// Wine's: "statements NAME" (a document's log), "registry KEY-SUFFIX" (the
// values of the keys whose path ends so). They are reported, not counted.
// Prints each difference; the exit status is the number of files that differ.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "wincompat/AdoStatementLog.h"

namespace {

namespace fs = std::filesystem;

std::set<std::string> ReadKnown(const std::string& file, const std::string& kind) {
    std::set<std::string> known;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(kind + " ", 0) == 0) known.insert(line.substr(kind.size() + 1));
    return known;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool IsDate(const std::string& text) {
    return text.size() == 23 && text[4] == '-' && text[7] == '-' && text[10] == ' ' && text[13] == ':' &&
           text[19] == '.';
}

// One record as a line of text, processing times masked.
std::string Describe(const wincompat::LoggedStatement& record, const std::string& since) {
    std::string out = record.commandType + " " + record.text;
    for (const auto& p : record.parameters) {
        std::string value = p.isNull ? "null" : p.value;
        if (!p.isNull && !p.isNumber && IsDate(value) && value >= since) value = "<time of processing>";
        out += "\n    " + p.name + " " + p.type + " " + p.direction + " " + p.vt + " size " + std::to_string(p.size) +
               " = " + value;
    }
    return out;
}

std::vector<std::string> Describe(const fs::path& log, const std::string& since) {
    std::vector<std::string> records;
    if (!fs::exists(log)) return records;
    for (const auto& record : wincompat::ReadStatementLog(log.string())) records.push_back(Describe(record, since));
    return records;
}

int CompareStatements(const fs::path& linuxDir, const fs::path& windowsDir, const std::string& since,
                      const std::set<std::string>& known) {
    std::set<std::string> names;
    for (const fs::path& dir : {linuxDir, windowsDir})
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().extension() == ".jsonl") names.insert(entry.path().filename().string());
    int differing = 0;
    for (const std::string& name : names) {
        const auto linux = Describe(linuxDir / name, since);
        const auto windows = Describe(windowsDir / name, since);
        if (linux == windows) {
            std::printf("same       %s (%zu statements)\n", name.c_str(), linux.size());
            continue;
        }
        const bool isKnown = known.count(fs::path(name).stem().string()) != 0;
        if (!isKnown) ++differing;
        std::printf("%s  %s (%zu statements on Linux, %zu on Windows)\n", isKnown ? "KNOWN    " : "DIFFERENT",
                    name.c_str(), linux.size(), windows.size());
        const size_t count = std::max(linux.size(), windows.size());
        int shown = 0;
        for (size_t i = 0; i < count && shown < 3; ++i) {
            const std::string l = i < linux.size() ? linux[i] : "(none)";
            const std::string w = i < windows.size() ? windows[i] : "(none)";
            if (l == w) continue;
            ++shown;
            std::printf("  statement %zu\n  Linux:   %s\n  Windows: %s\n", i + 1, l.c_str(), w.c_str());
        }
    }
    return differing;
}

// "[key]" lines and "name=value" lines, as a set of "key" and "key\tname=value".
std::set<std::string> ReadHive(const fs::path& file, const std::string& module, const std::set<std::string>& known) {
    std::set<std::string> lines;
    std::ifstream in(file);
    std::string key, line;
    const std::string folder = fs::path(module).parent_path().string();
    // Keys every registration shares, which the Linux hive writes out.
    const std::set<std::string> containers = {"HKEY_LOCAL_MACHINE",
                                              "HKEY_LOCAL_MACHINE\\Software",
                                              "HKEY_LOCAL_MACHINE\\Software\\Classes",
                                              "HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID",
                                              "HKEY_LOCAL_MACHINE\\Software\\Classes\\AppID",
                                              "HKEY_LOCAL_MACHINE\\Software\\Classes\\TypeLib",
                                              "HKEY_LOCAL_MACHINE\\Software\\Classes\\Interface"};
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';' || line.rfind("Windows Registry Editor", 0) == 0) continue;
        if (line[0] == '[') {
            key = line.substr(1, line.size() - 2);
            if (!containers.count(key)) lines.insert(key);
            continue;
        }
        if (line == "@=\"" + module + "\"" || line.find("=\"" + module + "\"") != std::string::npos)
            line = line.substr(0, line.find('=')) + "=\"<module>\"";
        else if (line.find("=\"" + folder + "\"") != std::string::npos)
            line = line.substr(0, line.find('=')) + "=\"<module folder>\"";
        bool isKnown = false;
        for (const std::string& suffix : known) isKnown |= EndsWith(key, suffix);
        if (isKnown) line = line.substr(0, line.find('=')) + "=(known to differ)";
        lines.insert(key + "\t" + line);
    }
    return lines;
}

int CompareRegistry(const fs::path& linuxHive, const fs::path& windowsHive, const std::string& module,
                    const std::set<std::string>& known) {
    const auto linux = ReadHive(linuxHive, module, known);
    const auto windows = ReadHive(windowsHive, module, known);
    if (linux.empty() || windows.empty()) {
        std::printf("DIFFERENT  %s: nothing read\n", windowsHive.filename().string().c_str());
        return 1;
    }
    int differences = 0;
    for (const std::string& line : linux)
        if (!windows.count(line)) ++differences, std::printf("  only on Linux:   %s\n", line.c_str());
    for (const std::string& line : windows)
        if (!linux.count(line)) ++differences, std::printf("  only on Windows: %s\n", line.c_str());
    std::printf("%s  %s (%zu keys and values)\n", differences ? "DIFFERENT" : "same     ",
                windowsHive.filename().string().c_str(), linux.size());
    return differences ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::string mode = argc > 1 ? argv[1] : "";
        if (mode == "statements" && argc == 6)
            return CompareStatements(argv[2], argv[3], argv[4], ReadKnown(argv[5], "statements"));
        if (mode == "registry" && argc == 6)
            return CompareRegistry(argv[2], argv[3], argv[4], ReadKnown(argv[5], "registry"));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "windows-compare: %s\n", error.what());
        return 100;
    }
    std::fprintf(stderr,
                 "usage: windows-compare statements LINUX_DIR WINDOWS_DIR SINCE KNOWN\n"
                 "       windows-compare registry LINUX_REG WINDOWS_REG LINUX_MODULE KNOWN\n");
    return 100;
}
