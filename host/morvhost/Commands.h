// The morvhost commands. Each raises HostError (or comsupport::ComError) with
// its reason when it fails.
#pragma once
#include <iosfwd>
#include <string>
#include <vector>

#include "HostDatabase.h"
#include "Registration.h"

namespace morvhost {

// Options that every command shares.
struct CommonOptions {
    std::string database;      // empty: DefaultDatabasePath()
    std::string registry;      // empty: wincompat's default registry folder
    std::string statementLog;  // empty: no statement log
    bool debugOutput = false;
};

// Sets the registry folder and the debugger output as asked. Must run before
// any COM call.
void ApplyCommonOptions(const CommonOptions& options);
std::string DatabasePath(const CommonOptions& options);
// The database the options name. Only the per-user default database is
// created on first use; a database given with --db must exist (see 'init').
HostDatabase OpenDatabase(const CommonOptions& options);

void InitCommand(const CommonOptions& options, std::ostream& out);
void RegisterCommand(const std::vector<std::string>& libraries, const RegistrationRequest& request, std::ostream& out);

// The result of passing a policy through the policy plug-in.
struct PolicyOutcome {
    bool edited = false;        // S_OK: the plug-in's text; S_FALSE: the original
    std::string policy;         // what the host would send: the edited text in UTF-8, or the original bytes
    bool listsMissing = false;  // the policy asks for the scan lists, yet the plug-in added none
    std::string whyMissing;     // what the host can see of the reason, or empty
};
// A policy file as read, and its text decoded to UTF-8 (see DecodePolicy).
struct PolicySource {
    std::string bytes;
    std::string text;
};
PolicyOutcome PolicyCommand(const CommonOptions& options, const PolicySource& source);
// Reads a policy file, or standard input for "-".
PolicySource ReadPolicy(const std::string& source);

void BlacklistAdd(const CommonOptions& options, const std::vector<std::string>& entries, std::ostream& out);
void BlacklistRemove(const CommonOptions& options, const std::vector<std::string>& entries, std::ostream& out);
void BlacklistList(const CommonOptions& options, std::ostream& out);

// record: a MAC that no detected system has yet gets a detected-system row.
void ExceptionSet(const CommonOptions& options, const std::vector<std::string>& macs, bool record, std::ostream& out);
void ExceptionClear(const CommonOptions& options, const std::vector<std::string>& macs, std::ostream& out);
void ExceptionList(const CommonOptions& options, std::ostream& out);

}  // namespace morvhost
