// The upload's work: documents collected from files, folders and standard input, sent as byte-array
// payloads by worker threads sharing one plug-in object, and the summary counted from their
// statement logs, the rows added and the debugger output.
#include "Upload.h"

#include <windows.h>

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <thread>

#include "ComApartment.h"
#include "HostDatabase.h"
#include "HostError.h"
#include "Registration.h"
#include "comsupport/Bstr.h"
#include "comsupport/ComRef.h"
#include "marlind.h"  // the data-channel plug-in's class and interfaces, from marlind.idl
#include "wincompat/AdoStatementLog.h"
#include "wincompat/DebugOutput.h"

COMSUPPORT_INTERFACE_ID(IMORVDCMsgHandler, IID_IMORVDCMsgHandler)

namespace morvhost {

const char kSensorEventMessageType[] = "ZELKMETA_SensorEvent";

namespace {

using comsupport::Bstr;
using comsupport::ComRef;

// The progress line appears for more documents than this, on a terminal.
constexpr size_t kProgressThreshold = 5;
// Payloads travel as SAFEARRAYs, whose element count is a ULONG.
constexpr size_t kLargestPayload = 0x7FFFFFFF;

// One document to send.
struct Document {
    std::string name;     // as shown in reports: the path given, or "(standard input)"
    std::string path;     // empty for standard input
    std::string content;  // standard input's bytes, read at the start
};

// What happened to one document.
struct Outcome {
    std::string readError;  // not empty: the file could not be read, nothing was sent
    bool called = false;
    HRESULT result = S_OK;
    size_t reports = 0;       // strings the plug-in wrote to the debugger output during the call
    std::string firstReport;  // the first line of the first of them
    size_t detections = 0;    // detected-system procedure calls that succeeded
    size_t refusedStatements = 0;
};

bool HasXmlExtension(const std::string& name) {
    return name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".xml") == 0;
}

std::vector<Document> CollectDocuments(const std::vector<std::string>& paths) {
    std::vector<Document> documents;
    bool standardInputRead = false;
    for (const std::string& path : paths) {
        if (path == "-") {
            if (standardInputRead) throw HostError("standard input ('-') can be sent only once");
            standardInputRead = true;
            Document document{"(standard input)", "", ""};
            document.content.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
            documents.push_back(std::move(document));
            continue;
        }
        struct stat info {};
        if (stat(path.c_str(), &info) != 0) throw HostError("cannot upload " + path + ": " + std::strerror(errno));
        if (!S_ISDIR(info.st_mode)) {
            documents.push_back({path, path, ""});
            continue;
        }
        std::unique_ptr<DIR, int (*)(DIR*)> folder(opendir(path.c_str()), &closedir);
        if (!folder) throw HostError("cannot read the folder " + path + ": " + std::strerror(errno));
        std::vector<std::string> names;
        while (dirent* entry = readdir(folder.get())) {
            std::string name = entry->d_name;
            struct stat entryInfo {};
            std::string full = path + "/" + name;
            if (HasXmlExtension(name) && stat(full.c_str(), &entryInfo) == 0 && S_ISREG(entryInfo.st_mode))
                names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        std::string prefix = path.back() == '/' ? path : path + "/";
        for (const std::string& name : names) documents.push_back({prefix + name, prefix + name, ""});
    }
    return documents;
}

bool ReadDocument(const Document& document, std::string& bytes, std::string& error) {
    if (document.path.empty()) {
        bytes = document.content;
        return true;
    }
    std::ifstream in(document.path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno);
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "read error";
        return false;
    }
    if (bytes.size() > kLargestPayload) {
        error = "larger than a payload can be";
        return false;
    }
    return true;
}

struct SafeArrayDestroyer {
    void operator()(SAFEARRAY* array) const { SafeArrayDestroy(array); }
};
using SafeArrayPtr = std::unique_ptr<SAFEARRAY, SafeArrayDestroyer>;

// The payload as the host passes it: a one-dimensional array of bytes.
SafeArrayPtr PayloadFrom(const std::string& bytes) {
    SafeArrayPtr array(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size())));
    if (!array) comsupport::ThrowComError(E_OUTOFMEMORY);
    if (!bytes.empty()) {
        void* data = nullptr;
        comsupport::Check(SafeArrayAccessData(array.get(), &data));
        std::memcpy(data, bytes.data(), bytes.size());
        SafeArrayUnaccessData(array.get());
    }
    return array;
}

// The reply channel the host hands the plug-in with every message. It lives
// on the worker's stack for the whole upload; it only counts what it is given.
class UploadResponse final : public IMORVDCAgentUploadResponse {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IMORVDCAgentUploadResponse)) {
            *object = static_cast<IMORVDCAgentUploadResponse*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE AddMessage(BSTR, BSTR, SAFEARRAY*) override {
        ++replies_;
        return S_OK;
    }
    size_t Replies() const { return replies_; }

private:
    std::atomic<ULONG> references_{1};
    std::atomic<size_t> replies_{0};
};

// Standard error shared by the progress line and the echoed debugger output:
// a report clears the progress line, prints, and draws the line again.
class Console {
public:
    explicit Console(bool showProgress) : showProgress_(showProgress) {}
    void Report(const std::string& text) {
        std::lock_guard<std::mutex> guard(lock_);
        Clear();
        std::fwrite(text.data(), 1, text.size(), stderr);
        if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
        Draw();
    }
    void Progress(const std::string& line) {
        std::lock_guard<std::mutex> guard(lock_);
        if (!showProgress_) return;
        line_ = line;
        Clear();
        Draw();
    }
    void Finish() {
        std::lock_guard<std::mutex> guard(lock_);
        Clear();
        showProgress_ = false;
    }

private:
    void Clear() {
        if (!shown_) return;
        std::fputs("\r\033[K", stderr);
        shown_ = false;
    }
    void Draw() {
        if (showProgress_ && !line_.empty()) {
            std::fputs(line_.c_str(), stderr);
            shown_ = true;
        }
        std::fflush(stderr);
    }
    std::mutex lock_;
    bool showProgress_;
    bool shown_ = false;
    std::string line_;
};

// The document a thread is sending, for attributing the plug-in's debugger
// output (which arrives on the calling thread) to it.
struct CurrentDocument {
    const Document* document = nullptr;
    Outcome* outcome = nullptr;
};
thread_local CurrentDocument tCurrent;

std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find_first_of("\r\n"));
    return line.empty() && !text.empty() ? text.substr(0, text.find_first_not_of("\r\n")) : line;
}

// Installs the process-wide debugger-output sink for the upload and restores
// the default one when it ends.
class DebugCapture {
public:
    DebugCapture(Console& console, bool echo) {
        wincompat::SetDebugOutputSink([&console, echo, this](const std::string& text) {
            CurrentDocument current = tCurrent;
            if (current.outcome) {
                if (current.outcome->reports++ == 0) current.outcome->firstReport = FirstLine(text);
            } else {
                ++unattributed_;
            }
            if (echo)
                console.Report("[" + (current.document ? current.document->name : std::string("marlind")) + "] " +
                               text);
        });
    }
    ~DebugCapture() { wincompat::SetDebugOutputSink(nullptr); }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;
    size_t Unattributed() const { return unattributed_; }

private:
    std::atomic<size_t> unattributed_{0};
};

// A private folder for the workers' statement logs, removed at the end.
class LogFolder {
public:
    LogFolder() {
        const char* base = getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/morvhost-upload-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (!mkdtemp(buffer.data()))
            throw HostError("cannot create a folder for the statement logs: " + std::string(std::strerror(errno)));
        path_ = buffer.data();
    }
    ~LogFolder() {
        for (const std::string& file : files_) unlink(file.c_str());
        rmdir(path_.c_str());
    }
    LogFolder(const LogFolder&) = delete;
    LogFolder& operator=(const LogFolder&) = delete;
    std::string NewFile(const std::string& name) {
        files_.push_back(path_ + "/" + name);
        return files_.back();
    }

private:
    std::string path_;
    std::vector<std::string> files_;
};

// A file opened for appending, closed with its owner.
class AppendFile {
public:
    AppendFile() = default;
    explicit AppendFile(const std::string& path)
        : fd_(open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644)) {
        if (fd_ < 0) throw HostError("cannot open the statement log " + path + ": " + std::strerror(errno));
    }
    ~AppendFile() {
        if (fd_ >= 0) close(fd_);
    }
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;
    int Descriptor() const { return fd_; }

private:
    int fd_ = -1;
};

// The statements one call ran, read from the worker's own statement log,
// which is then emptied; passed on to the user's log when one was asked for.
class StatementCounter {
public:
    StatementCounter(std::string privateLog, int userLog, std::mutex& userLogLock)
        : privateLog_(std::move(privateLog)), userLog_(userLog), userLogLock_(userLogLock) {}

    void CountInto(Outcome& outcome) {
        for (const wincompat::LoggedStatement& statement : wincompat::ReadStatementLog(privateLog_)) {
            if (statement.result != "ok") {
                ++outcome.refusedStatements;
                continue;
            }
            if (statement.commandType == "storedproc" &&
                strcasecmp(statement.text.c_str(), "ZELKSP_UpdateDetectedSystems") == 0)
                ++outcome.detections;
        }
        if (userLog_ >= 0) PassOn();
        if (truncate(privateLog_.c_str(), 0) != 0)
            throw HostError("cannot empty the statement log " + privateLog_ + ": " + std::strerror(errno));
    }

private:
    void PassOn() {
        std::ifstream in(privateLog_, std::ios::binary);
        std::string records((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::lock_guard<std::mutex> guard(userLogLock_);
        const char* data = records.data();
        size_t left = records.size();
        while (left > 0) {
            ssize_t written = write(userLog_, data, left);
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0)
                throw HostError("cannot write to the statement log: " + std::string(std::strerror(errno)));
            data += written;
            left -= static_cast<size_t>(written);
        }
    }
    std::string privateLog_;
    int userLog_;
    std::mutex& userLogLock_;
};

struct RowCounts {
    long sensors = 0, subnets = 0, links = 0, systems = 0, interfaces = 0, events = 0;
};

RowCounts CountRows(HostDatabase& database) {
    auto count = [&](const char* sql) { return std::stol(database.QueryColumn(sql, {}).at(0)); };
    RowCounts counts;
    counts.sensors = count("SELECT COUNT(*) FROM ZELKSensorProperties");
    counts.subnets = count("SELECT COUNT(*) FROM ZELKSubnetProperties");
    counts.links = count("SELECT COUNT(*) FROM ZELKSensorToSubnet");
    counts.systems = count("SELECT COUNT(*) FROM ZELKDetectedSystemProperties");
    counts.interfaces = count("SELECT COUNT(*) FROM ZELKDetectedInterfaces");
    counts.events = count("SELECT COUNT(*) FROM ZELKOndrixEvents");
    return counts;
}

std::string Counted(long long n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 || n == -1 ? one : many);
}

std::string Duration(double seconds) {
    char text[32];
    if (seconds < 60)
        snprintf(text, sizeof text, "%.0f s", seconds);
    else
        snprintf(text, sizeof text, "%d:%02d", static_cast<int>(seconds) / 60, static_cast<int>(seconds) % 60);
    return text;
}

std::string ProgressLine(size_t done, size_t total, double elapsed) {
    double rate = elapsed > 0 ? static_cast<double>(done) / elapsed : 0;
    char text[128];
    if (done == 0 || rate <= 0) {
        snprintf(text, sizeof text, "uploading: %zu/%zu files", done, total);
    } else {
        snprintf(text, sizeof text, "uploading: %zu/%zu files, %.1f files/s, %s left", done, total, rate,
                 Duration(static_cast<double>(total - done) / rate).c_str());
    }
    return text;
}

// Everything the workers share.
struct Upload {
    Upload(const std::vector<Document>& documents, IMORVDCMsgHandler* handler, std::string databasePath,
           std::string messageType, int userLog, size_t workers)
        : documents(documents),
          outcomes(documents.size()),
          handler(handler),
          databasePath(std::move(databasePath)),
          messageType(std::move(messageType)),
          appPath(ProgramFolder()),
          userLog(userLog),
          replies(workers, 0),
          failures(workers) {}

    const std::vector<Document>& documents;
    std::vector<Outcome> outcomes;
    IMORVDCMsgHandler* handler;
    std::string databasePath;
    std::string messageType;
    std::string appPath;
    int userLog;
    std::mutex userLogLock;
    std::atomic<size_t> next{0};
    std::atomic<size_t> done{0};
    std::atomic<bool> stop{false};
    std::mutex progressLock;
    std::condition_variable progress;
    std::vector<size_t> replies;
    std::vector<std::exception_ptr> failures;
};

void RunWorker(Upload& upload, size_t worker, const std::string& privateLog) {
    try {
        ComApartment apartment;
        HostDatabase database(upload.databasePath, privateLog);
        StatementCounter counter(privateLog, upload.userLog, upload.userLogLock);
        UploadResponse response;
        Bstr appPath = Bstr::FromUtf8(upload.appPath);
        Bstr messageType = Bstr::FromUtf8(upload.messageType);
        Bstr origin = Bstr::FromUtf8("morvhost");
        Bstr empty = Bstr::FromUtf8("");
        while (!upload.stop) {
            size_t index = upload.next++;
            if (index >= upload.documents.size()) break;
            const Document& document = upload.documents[index];
            Outcome& outcome = upload.outcomes[index];
            std::string bytes;
            if (ReadDocument(document, bytes, outcome.readError)) {
                SafeArrayPtr payload = PayloadFrom(bytes);
                tCurrent = {&document, &outcome};
                outcome.result = upload.handler->ProcessDCMessageFromAgent(
                    database.Connection().Get(), appPath.Get(), empty.Get(), empty.Get(), empty.Get(),
                    messageType.Get(), origin.Get(), payload.get(), &response);
                tCurrent = {};
                outcome.called = true;
                counter.CountInto(outcome);
            }
            // The progress line is redrawn on a timer; only the last
            // document wakes the main thread early.
            bool last;
            {
                std::lock_guard<std::mutex> guard(upload.progressLock);
                last = ++upload.done == upload.documents.size();
            }
            if (last) upload.progress.notify_one();
        }
        upload.replies[worker] = response.Replies();
    } catch (...) {
        tCurrent = {};
        upload.failures[worker] = std::current_exception();
        {
            std::lock_guard<std::mutex> guard(upload.progressLock);
            upload.stop = true;
        }
        upload.progress.notify_one();
    }
}

void WriteSummary(std::ostream& out, const Upload& upload, const UploadRequest& request, size_t workers, double seconds,
                  const RowCounts& before, const RowCounts& after, size_t unattributed) {
    size_t sent = 0, detections = 0, refusedStatements = 0, reports = unattributed, reportingDocuments = 0;
    std::vector<std::pair<std::string, std::string>> notRead, failedCalls, reported;
    for (size_t i = 0; i < upload.documents.size(); ++i) {
        const Outcome& outcome = upload.outcomes[i];
        const std::string& name = upload.documents[i].name;
        if (!outcome.readError.empty()) notRead.emplace_back(name, outcome.readError);
        if (!outcome.called) continue;
        ++sent;
        detections += outcome.detections;
        refusedStatements += outcome.refusedStatements;
        reports += outcome.reports;
        if (outcome.reports > 0) {
            ++reportingDocuments;
            reported.emplace_back(name, outcome.firstReport);
        }
        if (FAILED(outcome.result)) failedCalls.emplace_back(name, HresultText(outcome.result));
    }
    size_t replies = 0;
    for (size_t r : upload.replies) replies += r;

    char timing[64];
    snprintf(timing, sizeof timing, "%s, %.2f s", Counted(static_cast<long long>(workers), "worker", "workers").c_str(),
             seconds);
    std::string rows = "none";
    if (after.sensors != before.sensors || after.subnets != before.subnets || after.links != before.links ||
        after.systems != before.systems || after.interfaces != before.interfaces || after.events != before.events)
        rows = Counted(after.sensors - before.sensors, "sensor", "sensors") + ", " +
               Counted(after.subnets - before.subnets, "subnet", "subnets") + ", " +
               Counted(after.links - before.links, "sensor-subnet link", "sensor-subnet links") + ", " +
               Counted(after.systems - before.systems, "detected system", "detected systems") + ", " +
               Counted(after.interfaces - before.interfaces, "interface", "interfaces") + ", " +
               Counted(after.events - before.events, "plug-in event", "plug-in events");
    std::string failures = "none reported in marlind's debugger output";
    if (reports > 0)
        failures = Counted(static_cast<long long>(reports), "report", "reports") +
                   " in marlind's debugger output, from " +
                   Counted(static_cast<long long>(reportingDocuments), "message", "messages");
    if (refusedStatements > 0)
        failures += "; " +
                    Counted(static_cast<long long>(refusedStatements), "database statement", "database statements") +
                    " refused";

    std::vector<std::pair<std::string, std::string>> fields = {
        {"messages sent", std::to_string(sent) + " as " + request.messageType + " (" + timing + ")"},
        {"detections written", std::to_string(detections) + " (ZELKSP_UpdateDetectedSystems calls that succeeded)"},
        {"rows added", rows},
        {"failures", failures},
    };
    if (!notRead.empty())
        fields.push_back({"not read", Counted(static_cast<long long>(notRead.size()), "file", "files")});
    if (!failedCalls.empty())
        fields.push_back({"calls refused", Counted(static_cast<long long>(failedCalls.size()), "call", "calls") +
                                               " answered with a failure by the plug-in"});
    if (replies > 0)
        fields.push_back(
            {"replies", Counted(static_cast<long long>(replies), "message", "messages") + " added for the agent"});
    size_t width = 0;
    for (const auto& field : fields) width = std::max(width, field.first.size());
    for (const auto& [label, value] : fields)
        out << label << std::string(width - label.size() + 2, ' ') << value << "\n";
    for (const auto& [name, text] : reported) out << "  reported: " << name << ": " << text << "\n";
    for (const auto& [name, text] : notRead) out << "  not read: " << name << ": " << text << "\n";
    for (const auto& [name, text] : failedCalls) out << "  refused: " << name << ": " << text << "\n";
}

}  // namespace

int UploadCommand(const CommonOptions& options, const UploadRequest& request, std::ostream& out) {
    if (request.jobs < 1) throw HostError("--jobs must be at least 1");
    std::vector<Document> documents = CollectDocuments(request.paths);
    std::string databasePath = DatabasePath(options);

    // The user's statement log receives what the plug-in ran, passed on
    // from the workers' own logs message by message.
    std::optional<AppendFile> userLog;
    if (!options.statementLog.empty()) userLog.emplace(options.statementLog);

    Console console(documents.size() > kProgressThreshold && isatty(STDERR_FILENO));
    DebugCapture capture(console, options.debugOutput);
    ComApartment apartment;
    // The host's own connection: it creates a missing default database
    // before the workers open theirs, and counts the rows before and after.
    CommonOptions unlogged = options;
    unlogged.statementLog.clear();
    HostDatabase database = OpenDatabase(unlogged);

    ComRef<IMORVDCMsgHandler> handler;
    HRESULT hr = CoCreateInstance(CLSID_MarlindPlugin, nullptr, CLSCTX_INPROC_SERVER, IID_IMORVDCMsgHandler,
                                  handler.ReceiveVoid());
    if (hr == REGDB_E_CLASSNOTREG) ThrowNotRegistered("data-channel plug-in marlind");
    if (hr == E_NOINTERFACE) throw HostError("the registered marlind does not implement IMORVDCMsgHandler");
    if (FAILED(hr)) throw HostError("cannot activate the data-channel plug-in marlind: " + HresultText(hr));

    RowCounts before = CountRows(database);
    size_t workers = std::max<size_t>(1, std::min<size_t>(request.jobs, documents.size()));
    Upload upload(documents, handler.Get(), databasePath, request.messageType, userLog ? userLog->Descriptor() : -1,
                  workers);

    LogFolder logs;
    auto started = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(); };
    {
        std::vector<std::thread> threads;
        for (size_t w = 0; w < workers && !documents.empty(); ++w) {
            std::string log = logs.NewFile("worker-" + std::to_string(w) + ".jsonl");
            threads.emplace_back([&upload, w, log] { RunWorker(upload, w, log); });
        }
        std::unique_lock<std::mutex> guard(upload.progressLock);
        while (upload.done < documents.size() && !upload.stop) {
            console.Progress(ProgressLine(upload.done, documents.size(), elapsed()));
            upload.progress.wait_for(guard, std::chrono::milliseconds(200));
        }
        guard.unlock();
        for (std::thread& thread : threads) thread.join();
    }
    console.Finish();
    for (const std::exception_ptr& failure : upload.failures)
        if (failure) std::rethrow_exception(failure);

    RowCounts after = CountRows(database);
    WriteSummary(out, upload, request, workers, elapsed(), before, after, capture.Unattributed());
    bool refused = std::any_of(upload.outcomes.begin(), upload.outcomes.end(),
                               [](const Outcome& outcome) { return outcome.called && FAILED(outcome.result); });
    return refused ? 1 : 0;
}

}  // namespace morvhost
