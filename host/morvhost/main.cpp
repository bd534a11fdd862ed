// morvhost: the stand-in for the host management server. It keeps the
// administrator's data in the host database, registers the plug-ins, passes
// sensors' event documents through the data-channel plug-in as the host does
// with their uploads, shows what the database then holds, and passes policies
// through the policy plug-in as the host does before it sends them to a sensor.
#include <CLI/CLI.hpp>

#include <iostream>

#include "Commands.h"
#include "HostError.h"
#include "Inventory.h"
#include "Upload.h"
#include "comsupport/ComError.h"

namespace {

constexpr int kUsageStatus = 2;
constexpr int kListsMissingStatus = 3;

// A path option may not be given empty: an empty --db would fall back to the
// per-user database without a word.
const CLI::Validator kNotEmpty(
    [](std::string& value) { return value.empty() ? std::string("the path is empty") : std::string(); }, "");

void AddDatabaseOption(CLI::App& command, morvhost::CommonOptions& options) {
    command.add_option("--db", options.database, "Database file (default: morvhost.db in the per-user data folder)")
        ->check(kNotEmpty)
        ->type_name("FILE");
}

void AddStatementLogOption(CLI::App& command, morvhost::CommonOptions& options) {
    command.add_option("--sql-log", options.statementLog, "Append every SQL statement run to this file (JSON lines)")
        ->check(kNotEmpty)
        ->type_name("FILE");
}

// The options of the commands that read or write the database.
void AddDatabaseOptions(CLI::App& command, morvhost::CommonOptions& options) {
    AddDatabaseOption(command, options);
    AddStatementLogOption(command, options);
}

// The options of the commands that call a plug-in.
void AddPluginOptions(CLI::App& command, morvhost::CommonOptions& options) {
    command.add_option("--registry", options.registry, "Registry folder (sets WINCOMPAT_REGISTRY_DIR)")
        ->check(kNotEmpty)
        ->type_name("FOLDER");
    command.add_flag("--debug-output", options.debugOutput, "Show the plug-ins' debugger output on standard error");
}

int Fail(const std::string& reason) {
    std::cerr << "morvhost: " << reason << "\n";
    return 1;
}

// "morvhost blacklist add": the commands the parser entered, for the usage hint.
std::string CommandLine(CLI::App& app) {
    std::string line = "morvhost";
    for (CLI::App* command = &app;;) {
        std::vector<CLI::App*> chosen = command->get_subcommands();
        if (chosen.empty()) return line;
        command = chosen.front();
        line += " " + command->get_name();
    }
}

int UsageError(CLI::App& app, const std::string& message) {
    std::cerr << "morvhost: " << message << "\nRun '" << CommandLine(app) << " --help' for the usage.\n";
    return kUsageStatus;
}

std::string CommandNames(CLI::App& group) {
    std::string names;
    for (const CLI::App* command : group.get_subcommands([](CLI::App*) { return true; }))
        names += (names.empty() ? "" : ", ") + command->get_name();
    return names;
}

// What is wrong with the choice of command in a group (morvhost itself,
// blacklist, exception): an unknown word where the command goes, or none
// given. Empty when a known command was chosen.
std::string CommandChoiceError(CLI::App& group, const std::string& label, const std::string& article) {
    std::vector<std::string> extra = group.remaining();
    std::string known = " (commands: " + CommandNames(group) + ")";
    if (!extra.empty()) {
        if (extra.front().rfind("-", 0) == 0) return "The following argument was not expected: " + extra.front();
        return "unknown " + label + "command '" + extra.front() + "'" + known;
    }
    std::vector<CLI::App*> chosen = group.get_subcommands();
    if (chosen.empty()) return article + " " + label + "command is required" + known;
    CLI::App* command = chosen.front();
    if (command->get_subcommands([](CLI::App*) { return true; }).empty()) return std::string();
    std::string name = command->get_name();
    bool vowel = std::string("aeiou").find(name.front()) != std::string::npos;
    return CommandChoiceError(*command, name + " ", vowel ? "an" : "a");
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"morvhost: the host stand-in that runs the policy plug-in over the host database"};
    app.name("morvhost");
    app.set_version_flag("--version", std::string("morvhost ") + MORVHOST_VERSION, "Print the version and exit");
    morvhost::CommonOptions common;
    // Accepted before the command too, for every command.
    AddDatabaseOptions(app, common);
    AddPluginOptions(app, common);
    std::function<void()> run;
    int status = 0;

    CLI::App* init = app.add_subcommand("init", "Create the host database (an existing one keeps its data)");
    AddDatabaseOption(*init, common);
    init->callback([&] { run = [&] { morvhost::InitCommand(common, std::cout); }; });

    CLI::App* reg = app.add_subcommand("register", "Register the COM servers beside the program (or the given ones)");
    AddPluginOptions(*reg, common);
    morvhost::RegistrationRequest request;
    std::vector<std::string> libraries;
    reg->add_flag("--user", request.perUser, "Register for the current user only (through DllInstall)");
    reg->add_flag("--unregister", request.unregister, "Remove the registration instead");
    reg->add_option("LIBRARY", libraries, "COM server libraries (default: those beside the program)");
    reg->callback([&] { run = [&] { morvhost::RegisterCommand(libraries, request, std::cout); }; });

    CLI::App* policy =
        app.add_subcommand("policy", "Pass a policy through the policy plug-in and print what the host would send");
    AddDatabaseOptions(*policy, common);
    AddPluginOptions(*policy, common);
    std::string policySource;
    bool strict = false;
    policy->add_option("FILE", policySource, "Policy XML file, or - for standard input")->required();
    policy->add_flag("--strict", strict,
                     "Exit with status 3 when the policy asks for the scan lists and Quillet added none");
    policy->callback([&] {
        run = [&] {
            morvhost::PolicyOutcome outcome = morvhost::PolicyCommand(common, morvhost::ReadPolicy(policySource));
            std::cout << outcome.policy;
            if (outcome.edited && !outcome.policy.empty() && outcome.policy.back() != '\n') std::cout << "\n";
            std::cerr << (outcome.edited
                              ? "morvhost: policy edited by Quillet (S_OK): sending the edited policy\n"
                              : "morvhost: policy left unchanged by Quillet (S_FALSE): sending the original\n");
            if (outcome.listsMissing) {
                std::cerr << "morvhost: warning: the policy asks for the scan lists, but they were not added: "
                          << (outcome.whyMissing.empty()
                                  ? "Quillet gave the host no reason (its trace log may have one)"
                                  : outcome.whyMissing)
                          << "\n";
                if (strict) status = kListsMissingStatus;
            }
        };
    });

    CLI::App* blacklist = app.add_subcommand("blacklist", "The scan blacklist (MAC addresses or vendor prefixes)");
    AddDatabaseOptions(*blacklist, common);
    std::vector<std::string> entries;
    CLI::App* blacklistAdd = blacklist->add_subcommand("add", "Add entries to the scan blacklist");
    AddDatabaseOptions(*blacklistAdd, common);
    blacklistAdd->add_option("ENTRY", entries, "MAC address or vendor prefix")->required();
    blacklistAdd->callback([&] { run = [&] { morvhost::BlacklistAdd(common, entries, std::cout); }; });
    CLI::App* blacklistRemove = blacklist->add_subcommand("remove", "Remove entries from the scan blacklist");
    AddDatabaseOptions(*blacklistRemove, common);
    blacklistRemove->add_option("ENTRY", entries, "MAC address or vendor prefix")->required();
    blacklistRemove->callback([&] { run = [&] { morvhost::BlacklistRemove(common, entries, std::cout); }; });
    CLI::App* blacklistList = blacklist->add_subcommand("list", "Print the scan blacklist, one entry a line");
    AddDatabaseOptions(*blacklistList, common);
    blacklistList->callback([&] { run = [&] { morvhost::BlacklistList(common, std::cout); }; });

    CLI::App* exception = app.add_subcommand("exception", "The exception flag of detected systems");
    AddDatabaseOptions(*exception, common);
    std::vector<std::string> macs;
    bool record = false;
    CLI::App* exceptionSet = exception->add_subcommand("set", "Mark detected systems as exceptions");
    AddDatabaseOptions(*exceptionSet, common);
    exceptionSet->add_option("MAC", macs, "MAC address of a detected system")->required();
    exceptionSet->add_flag("--record", record, "Record a detected system for a MAC that none has yet");
    exceptionSet->callback([&] { run = [&] { morvhost::ExceptionSet(common, macs, record, std::cout); }; });
    CLI::App* exceptionClear = exception->add_subcommand("clear", "Remove the exception mark");
    AddDatabaseOptions(*exceptionClear, common);
    exceptionClear->add_option("MAC", macs, "MAC address of a detected system")->required();
    exceptionClear->callback([&] { run = [&] { morvhost::ExceptionClear(common, macs, std::cout); }; });
    CLI::App* exceptionList = exception->add_subcommand("list", "Print the MACs of the systems marked as exceptions");
    AddDatabaseOptions(*exceptionList, common);
    exceptionList->callback([&] { run = [&] { morvhost::ExceptionList(common, std::cout); }; });

    CLI::App* upload = app.add_subcommand(
        "upload", "Pass event documents through the data-channel plug-in, as the host does with a sensor's upload");
    AddDatabaseOptions(*upload, common);
    AddPluginOptions(*upload, common);
    morvhost::UploadRequest uploadRequest;
    upload->add_option("--type", uploadRequest.messageType, "Message type (ZELKMETA_NoOp is ignored by the plug-in)")
        ->capture_default_str();
    upload
        ->add_option("--jobs", uploadRequest.jobs,
                     "Worker threads calling the one plug-in object, each with its own connection")
        ->capture_default_str()
        ->check(CLI::Range(1u, 256u));
    upload
        ->add_option("PATH", uploadRequest.paths,
                     "Event document, folder (every .xml in it, in name order), or - for standard input")
        ->required();
    upload->callback([&] { run = [&] { status = morvhost::UploadCommand(common, uploadRequest, std::cout); }; });

    bool json = false;
    CLI::App* sensors = app.add_subcommand("sensors", "List the sensors with the subnets they cover");
    AddDatabaseOptions(*sensors, common);
    sensors->add_flag("--json", json, "JSON for scripts instead of a table");
    sensors->callback([&] {
        run = [&] {
            morvhost::SensorsCommand(common, json ? morvhost::OutputFormat::Json : morvhost::OutputFormat::Table,
                                     std::cout);
        };
    });

    CLI::App* systems = app.add_subcommand("systems", "List the detected systems");
    AddDatabaseOptions(*systems, common);
    systems->add_flag("--json", json, "JSON for scripts (with each system's interfaces and plug-in events)");
    morvhost::SystemFilter filter;
    long sensorId = 0;
    CLI::Option* sensorOption =
        systems->add_option("--sensor", sensorId, "Only the systems whose last detection came from this sensor ID");
    systems->add_option("--since", filter.since,
                        "Only the systems last detected at or after this UTC time (YYYY-MM-DD[ HH:MM[:SS[.mmm]]])");
    systems->callback([&] {
        if (sensorOption->count() > 0) filter.sensorId = sensorId;
        run = [&] {
            morvhost::SystemsCommand(common, filter,
                                     json ? morvhost::OutputFormat::Json : morvhost::OutputFormat::Table, std::cout);
        };
    });

    CLI::App* system = app.add_subcommand("system", "Show one detected system with its interfaces and plug-in events");
    AddDatabaseOptions(*system, common);
    system->add_flag("--json", json, "JSON for scripts instead of text");
    std::string hostId;
    system->add_option("HOSTID", hostId, "Host ID of the detected system (see 'morvhost systems')")->required();
    system->callback([&] {
        run = [&] {
            morvhost::SystemCommand(common, hostId, json ? morvhost::OutputFormat::Json : morvhost::OutputFormat::Table,
                                    std::cout);
        };
    });

    // Set last: commands added afterwards would repeat it in their help.
    app.footer(
        "Examples:\n"
        "  morvhost init --db host.db && morvhost register\n"
        "  morvhost blacklist add --db host.db 00:11:22:33:44:55 00:A0:C9\n"
        "  morvhost policy --db host.db --strict samples/policies/scan-with-exceptions.xml\n");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // Help and version are "errors" that end the parse with status 0.
        if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return app.exit(error);
        // A word the parser did not expect where a command goes is an unknown command.
        std::string choice = dynamic_cast<const CLI::ExtrasError*>(&error) ? CommandChoiceError(app, "", "a") : "";
        return UsageError(app, choice.empty() ? error.what() : choice);
    }
    std::string choice = CommandChoiceError(app, "", "a");
    if (!choice.empty()) return UsageError(app, choice);
    if (!run) return UsageError(app, "no command given");
    try {
        morvhost::ApplyCommonOptions(common);
        run();
        std::cout.flush();
        return std::cout.good() ? status : Fail("cannot write to standard output");
    } catch (const morvhost::HostError& error) {
        return Fail(error.what());
    } catch (const comsupport::ComError& error) {
        return Fail(error.what());
    } catch (const std::exception& error) {
        return Fail(error.what());
    }
}
