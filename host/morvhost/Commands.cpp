// The commands init, register, policy, blacklist and exception: what each reads and writes in the
// host database, and a policy passed through Quillet by its CLSID, with the reason when it comes
// back unchanged.
#include "Commands.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>

#include "ComApartment.h"
#include "DatabaseFile.h"
#include "Entries.h"
#include "HostError.h"
#include "PolicyRequest.h"
#include "PolicyText.h"
#include "Quillet.h"  // the policy plug-in's class and interface, from Quillet.idl
#include "comsupport/Bstr.h"
#include "comsupport/ComRef.h"

namespace morvhost {
namespace {

using comsupport::Bstr;
using comsupport::ComRef;

// The administrator's entries are stored in nvarchar(50) columns.
constexpr size_t kMaxEntryLength = 50;

void CheckEntries(const std::vector<std::string>& entries, const char* what) {
    if (entries.empty()) throw HostError(std::string("no ") + what + " given");
    for (const std::string& entry : entries) {
        if (entry.empty()) throw HostError(std::string("an empty ") + what + " is not allowed");
        size_t length = CharacterCount(entry);
        if (length > kMaxEntryLength)
            throw HostError(std::string("the ") + what + " '" + Shortened(entry) + "' (" + std::to_string(length) +
                            " characters) is longer than 50 characters");
    }
}

std::string NotAnAddress(const std::string& entry) {
    return "the blacklist entry '" + entry +
           "' is neither a MAC address nor a vendor prefix (write 00:11:22:33:44:55 or 00:11:22; "
           "'-' or nothing may stand for ':')";
}

// The entries in the spelling the blacklist stores; all are checked before any is used.
std::vector<std::string> BlacklistAddresses(const std::vector<std::string>& entries) {
    CheckEntries(entries, "blacklist entry");
    std::vector<std::string> addresses;
    for (const std::string& entry : entries) {
        std::optional<std::string> address = NormalizedAddress(entry);
        if (!address) throw HostError(NotAnAddress(entry));
        addresses.push_back(*address);
    }
    return addresses;
}

// The stored entries that stand for what the administrator typed: the same
// address in any spelling (a database may hold entries stored before they
// were written in one), or the very text of an entry that is no address.
std::vector<std::string> MatchingEntries(const std::vector<std::string>& stored, const std::string& typed) {
    std::optional<std::string> address = NormalizedAddress(typed);
    std::vector<std::string> matches;
    for (const std::string& entry : stored) {
        if (entry == typed || (address && NormalizedAddress(entry) == address)) matches.push_back(entry);
    }
    return matches;
}

std::vector<std::string> StoredBlacklist(HostDatabase& database) {
    return database.QueryColumn("SELECT MACorOUI FROM ZELKScanBlacklist ORDER BY ID", {});
}

const char kBlacklistQuery[] = "select MACorOUI from ZELKScanBlacklist";
const char kExceptionQuery[] =
    "select MAC from ZELKDetectedSystemProperties where [Exception] = 1 AND [DetectionType] = N'detectedSystem'";

// Why the lists the policy asks for could not be read, as far as the host can
// tell on the connection it handed over: empty when it cannot.
std::string WhyListsAreMissing(HostDatabase& database, const ListRequest& request) {
    LONG state = adStateClosed;
    if (FAILED(database.Connection()->get_State(&state)) || !(state & adStateOpen))
        return "the database connection is closed";
    struct Query {
        bool asked;
        const char* sql;
        const char* what;
    };
    for (const Query& query : {Query{request.scanBlacklist, kBlacklistQuery, "the scan blacklist"},
                               Query{request.exceptions, kExceptionQuery, "the systems marked as exceptions"}}) {
        if (!query.asked) continue;
        try {
            database.QueryColumn(query.sql, {});
        } catch (const comsupport::ComError& error) {
            return std::string("reading ") + query.what + " fails: " +
                   comsupport::Utf8FromOle(error.Description().empty() ? error.SystemMessage() : error.Description());
        }
    }
    return std::string();
}

}  // namespace
}  // namespace morvhost

COMSUPPORT_INTERFACE_ID(IMORVAgentPolicyHandler, IID_IMORVAgentPolicyHandler)

namespace morvhost {

void ApplyCommonOptions(const CommonOptions& options) {
    if (!options.registry.empty()) setenv("WINCOMPAT_REGISTRY_DIR", options.registry.c_str(), 1);
    if (options.debugOutput) setenv("WINCOMPAT_DEBUG_OUTPUT", "stderr", 1);
}

std::string DatabasePath(const CommonOptions& options) {
    return options.database.empty() ? DefaultDatabasePath() : options.database;
}

HostDatabase OpenDatabase(const CommonOptions& options) {
    std::string path = DatabasePath(options);
    if (options.database.empty()) CreateDatabaseIfMissing(path);
    return HostDatabase(path, options.statementLog);
}

void InitCommand(const CommonOptions& options, std::ostream& out) {
    std::string path = DatabasePath(options);
    InitializeDatabase(path);
    out << "database ready: " << path << "\n";
}

void RegisterCommand(const std::vector<std::string>& libraries, const RegistrationRequest& request, std::ostream& out) {
    std::vector<std::string> targets = libraries;
    if (targets.empty()) {
        targets = FindDeliverables(ProgramFolder());
        if (targets.empty()) throw HostError("no COM server found beside the program in " + ProgramFolder());
    }
    ComApartment apartment;
    for (const std::string& library : targets) {
        RunRegistration(library, request);
        out << (request.unregister ? "unregistered " : "registered ") << library
            << (request.perUser ? " (current user)" : "") << "\n";
    }
}

PolicySource ReadPolicy(const std::string& source) {
    PolicySource policy;
    if (source == "-") {
        policy.bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        policy.text = DecodePolicy(policy.bytes, "the policy on standard input");
        return policy;
    }
    std::ifstream in(source, std::ios::binary);
    if (!in) throw HostError("cannot read the policy file " + source);
    policy.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) throw HostError("cannot read the policy file " + source);
    policy.text = DecodePolicy(policy.bytes, "the policy file " + source);
    return policy;
}

PolicyOutcome PolicyCommand(const CommonOptions& options, const PolicySource& source) {
    ComApartment apartment;
    HostDatabase database = OpenDatabase(options);

    ComRef<IMORVAgentPolicyHandler> handler;
    HRESULT hr = CoCreateInstance(CLSID_QuilletObj, nullptr, CLSCTX_INPROC_SERVER, IID_IMORVAgentPolicyHandler,
                                  handler.ReceiveVoid());
    if (hr == REGDB_E_CLASSNOTREG) ThrowNotRegistered("policy plug-in Quillet");
    if (FAILED(hr)) comsupport::ThrowComError(hr);

    Bstr policy = Bstr::FromUtf8(source.text);
    Bstr edited;
    Bstr empty(OLESTR(""));
    hr = handler->ProcessPolicy(database.Connection().Get(), 0, empty.Get(), empty.Get(), empty.Get(), policy.Get(),
                                edited.Receive());
    PolicyOutcome outcome;
    if (hr == S_OK) {
        outcome.edited = true;
        outcome.policy = edited.Utf8();
        return outcome;
    }
    if (hr != S_FALSE) comsupport::ThrowComError(hr);
    // The host sends the original as it was given: in its own encoding, which
    // its declaration may name.
    outcome.policy = source.bytes;
    ListRequest request = RequestedLists(source.text);
    if (request.scanBlacklist) {
        outcome.listsMissing = true;
        outcome.whyMissing = WhyListsAreMissing(database, request);
    }
    return outcome;
}

void BlacklistAdd(const CommonOptions& options, const std::vector<std::string>& entries, std::ostream& out) {
    std::vector<std::string> addresses = BlacklistAddresses(entries);
    ComApartment apartment;
    HostDatabase database = OpenDatabase(options);
    for (const std::string& entry : addresses) {
        std::vector<std::string> known = MatchingEntries(StoredBlacklist(database), entry);
        if (!known.empty()) {
            out << "already in the blacklist: " << known.front() << "\n";
            continue;
        }
        // One statement, so that hosts adding the same entry at once store it once.
        long added = database.Execute(
            "INSERT INTO ZELKScanBlacklist (MACorOUI) SELECT ? WHERE NOT EXISTS "
            "(SELECT 1 FROM ZELKScanBlacklist WHERE MACorOUI = ?)",
            {entry, entry});
        out << (added > 0 ? "added " : "already in the blacklist: ") << entry << "\n";
    }
}

void BlacklistRemove(const CommonOptions& options, const std::vector<std::string>& entries, std::ostream& out) {
    CheckEntries(entries, "blacklist entry");
    ComApartment apartment;
    HostDatabase database = OpenDatabase(options);
    const std::vector<std::string> stored = StoredBlacklist(database);
    std::vector<std::vector<std::string>> matches;
    for (const std::string& entry : entries) {
        matches.push_back(MatchingEntries(stored, entry));
        if (matches.back().empty() && !NormalizedAddress(entry)) throw HostError(NotAnAddress(entry));
    }
    std::vector<std::string> missing;
    for (size_t i = 0; i < entries.size(); ++i) {
        long removed = 0;
        for (const std::string& entry : matches[i]) {
            if (database.Execute("DELETE FROM ZELKScanBlacklist WHERE MACorOUI = ?", {entry}) > 0) {
                out << "removed " << entry << "\n";
                ++removed;
            }
        }
        if (removed == 0) missing.push_back(NormalizedAddress(entries[i]).value_or(entries[i]));
    }
    if (!missing.empty()) throw HostError("not in the blacklist: " + missing.front());
}

void BlacklistList(const CommonOptions& options, std::ostream& out) {
    ComApartment apartment;
    HostDatabase database = OpenDatabase(options);
    for (const std::string& entry : database.QueryColumn("SELECT MACorOUI FROM ZELKScanBlacklist ORDER BY ID", {}))
        out << entry << "\n";
}

void ExceptionSet(const CommonOptions& options, const std::vector<std::string>& macs, bool record, std::ostream& out) {
    CheckEntries(macs, "MAC address");
    ComApartment apartment;
    HostDatabase database = OpenDatabase(options);
    for (const std::string& mac : macs) {
        long marked = database.Execute(
            "UPDATE ZELKDetectedSystemProperties SET [Exception] = 1 "
            "WHERE MAC = ? AND [DetectionType] = N'detectedSystem'",
            {mac});
        if (marked == 0 && record) {
            marked = database.Execute(
                "INSERT INTO ZELKDetectedSystemProperties (MAC, [Exception], [DetectionType], NewDetection) "
                "VALUES (?, 1, N'detectedSystem', 0)",
                {mac});
            out << "recorded " << mac << " as a detected system, marked as exception\n";
            continue;
        }
        if (marked == 0) throw HostError("no detected system has the MAC " + mac + " (use --record to record one)");
        out << "marked " << mac << " as exception (" << marked << " system" << (marked == 1 ? "" : "s") << ")\n";
    }
}

void ExceptionClear(const CommonOptions& options, const std::vector<std::string>& macs, std::ostream& out) {
    CheckEntries(macs, "MAC address");
    ComApartment apartment;
    HostDatabase database = OpenDatabase(options);
    for (const std::string& mac : macs) {
        long cleared = database.Execute(
            "UPDATE ZELKDetectedSystemProperties SET [Exception] = 0 "
            "WHERE MAC = ? AND [Exception] = 1 AND [DetectionType] = N'detectedSystem'",
            {mac});
        if (cleared == 0) throw HostError("no detected system with the MAC " + mac + " is marked as exception");
        out << "cleared " << mac << "\n";
    }
}

void ExceptionList(const CommonOptions& options, std::ostream& out) {
    ComApartment apartment;
    HostDatabase database = OpenDatabase(options);
    for (const std::string& mac :
         database.QueryColumn("SELECT MAC FROM ZELKDetectedSystemProperties "
                              "WHERE [Exception] = 1 AND [DetectionType] = N'detectedSystem' ORDER BY HostID",
                              {}))
        out << mac << "\n";
}

}  // namespace morvhost
