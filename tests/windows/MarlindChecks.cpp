// marlind under the platform's loader, COM and DOM, with the recording ADO
// double standing in for the host database.
#include <cstring>
#include <memory>
#include <vector>

#include "Checks.h"
#include "ComHelpers.h"
#include "Plugins.h"
#include "RecordingAdo.h"

namespace windows_test {
namespace {

const wchar_t kSensorEvent[] = L"ZELKMETA_SensorEvent";

bool ReadFile(const std::wstring& path, std::string& bytes) {
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return false;
    char buffer[8192];
    size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, read);
    std::fclose(file);
    return true;
}

// The sample documents under `dir` and its folders, as paths relative to it.
void FindDocuments(const std::wstring& dir, const std::wstring& relative, std::vector<std::wstring>& found) {
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((dir + L"\\" + relative + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    std::vector<std::wstring> names, folders;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            folders.push_back(relative + name + L"\\");
        else if (name.size() > 4 && name.compare(name.size() - 4, 4, L".xml") == 0)
            names.push_back(relative + name);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    found.insert(found.end(), names.begin(), names.end());
    for (const std::wstring& folder : folders) FindDocuments(dir, folder, found);
}

// "demo\01-office.xml" -> "demo-01-office"
std::wstring LogNameOf(const std::wstring& document) {
    std::wstring name = document.substr(0, document.size() - 4);
    for (wchar_t& c : name)
        if (c == L'\\') c = L'-';
    return name;
}

HRESULT Send(IMORVDCMsgHandler* handler, IUnknown* connection, const wchar_t* type, SAFEARRAY* payload) {
    Text messageType(type);
    return handler->ProcessDCMessageFromAgent(connection, nullptr, nullptr, nullptr, nullptr, messageType.Get(),
                                              nullptr, payload, nullptr);
}

// A connection of the double, made as the host makes its own.
HRESULT NewConnection(Ref<IUnknown>& connection) {
    return CoCreateInstance(kClsidAdoConnection, nullptr, CLSCTX_INPROC_SERVER, kIidAdoConnection,
                            connection.Receive());
}

const char kEventDocument[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<zelk:EventList xmlns:zelk=\"urn:zelk:event\"><zelk:CreateTime>2013-03-08T13:47:20Z</zelk:CreateTime>"
    "<zelk:Analyzer><zelk:Sensor id=\"7\"><zelk:Name>Lab sensor</zelk:Name><zelk:Dhcp>1</zelk:Dhcp></zelk:Sensor>"
    "<zelk:Node><zelk:AgentGUID>{6F9619FF-8B86-D011-B42D-00C04FC964FF}</zelk:AgentGUID></zelk:Node></zelk:Analyzer>"
    "<zelk:Event><zelk:Source><zelk:Node><zelk:MACAddress>00:24:E8:11:22:33</zelk:MACAddress></zelk:Node>"
    "</zelk:Source><zelk:Classification><zelk:EventClassification>host.detected.dhcp</zelk:EventClassification>"
    "</zelk:Classification></zelk:Event></zelk:EventList>";

void CheckFactoryAndLifetimes(HMODULE module) {
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    ExpectTrue("marlind exports DllGetClassObject", getClassObject != nullptr);
    if (!getClassObject) return;
    Ref<IClassFactory> factory;
    ExpectResult("marlind DllGetClassObject for another CLSID", CLASS_E_CLASSNOTAVAILABLE,
                 getClassObject(CLSID_QuilletObj, IID_IClassFactory, factory.Receive()));
    ExpectResult("marlind DllGetClassObject for its CLSID", S_OK,
                 getClassObject(CLSID_MarlindPlugin, IID_IClassFactory, factory.Receive()));
    if (!factory) return;
    ExpectResult("marlind DllCanUnloadNow while a factory lives", S_FALSE, CallExport(module, "DllCanUnloadNow"));
    OuterObject outer;
    ExpectResult("marlind refuses aggregation for IUnknown", CLASS_E_NOAGGREGATION,
                 factory->CreateInstance(&outer, IID_IUnknown, outer.InnerSlot()));
    ExpectResult("marlind refuses aggregation for its interface", CLASS_E_NOAGGREGATION,
                 factory->CreateInstance(&outer, IID_IMORVDCMsgHandler, outer.InnerSlot()));
    ExpectTrue("a refused aggregation leaves the outer object alone", outer.References() == 1);
    Ref<IUnknown> unknown;
    ExpectResult("marlind CreateInstance for an interface it lacks", E_NOINTERFACE,
                 factory->CreateInstance(nullptr, IID_IDispatch, unknown.Receive()));
    ExpectResult("marlind CreateInstance without a result pointer", E_POINTER,
                 factory->CreateInstance(nullptr, IID_IUnknown, nullptr));
    ExpectResult("marlind LockServer", S_OK, factory->LockServer(TRUE));
    factory.Reset();
    ExpectResult("marlind DllCanUnloadNow while locked", S_FALSE, CallExport(module, "DllCanUnloadNow"));
    ExpectResult("marlind DllGetClassObject again", S_OK,
                 getClassObject(CLSID_MarlindPlugin, IID_IClassFactory, factory.Receive()));
    if (factory) factory->LockServer(FALSE);
    factory.Reset();
    ExpectResult("marlind DllCanUnloadNow once unlocked and released", S_OK, CallExport(module, "DllCanUnloadNow"));
}

void CheckCalls(IMORVDCMsgHandler* handler) {
    Ref<IUnknown> unused;
    ExpectResult("marlind refuses IMarshal", E_NOINTERFACE, handler->QueryInterface(IID_IMarshal, unused.Receive()));
    ExpectResult("marlind has no IDispatch", E_NOINTERFACE, handler->QueryInterface(IID_IDispatch, unused.Receive()));

    auto database = std::make_shared<HostDatabaseDouble>();
    AdoClassRegistration classes(database);
    ExpectResult("the ADO double registers over ADO's classes", S_OK, classes.Result());
    Ref<IUnknown> connection;
    ExpectResult("a connection of the ADO double", S_OK, NewConnection(connection));

    Payload garbage("not xml at all");
    Payload document(kEventDocument);
    ExpectResult("a null payload", E_POINTER, Send(handler, connection.Get(), L"zelkmeta_noop", nullptr));
    ExpectResult("a null payload of an event", E_POINTER, Send(handler, connection.Get(), kSensorEvent, nullptr));
    ExpectResult("the no-op message in lower case", S_OK,
                 Send(handler, connection.Get(), L"zelkmeta_noop", document.Get()));
    ExpectResult("the no-op message as the host spells it", S_OK,
                 Send(handler, connection.Get(), L"ZELKMETA_NoOp", document.Get()));
    ExpectTrue("no-op messages send no statement", database->Texts().empty());
    ExpectResult("a malformed payload", S_OK, Send(handler, connection.Get(), kSensorEvent, garbage.Get()));
    Payload empty("");
    ExpectResult("an empty payload", S_OK, Send(handler, connection.Get(), kSensorEvent, empty.Get()));
    ExpectTrue("malformed payloads send no statement", database->Texts().empty());

    // The class factory is an object, but no ADO connection.
    Ref<IClassFactory> notAdo;
    CoGetClassObject(CLSID_MarlindPlugin, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, notAdo.Receive());
    ExpectResult("an event document with a connection that is not ADO's", S_OK,
                 Send(handler, notAdo.Get(), kSensorEvent, document.Get()));
    ExpectResult("an event document without a connection", S_OK, Send(handler, nullptr, kSensorEvent, document.Get()));
    ExpectTrue("without an ADO connection no statement reaches the database", database->Texts().empty());

    ExpectResult("an event document", S_OK, Send(handler, connection.Get(), kSensorEvent, document.Get()));
    const std::vector<std::wstring> texts = database->Texts();
    ExpectTrue("the document's sensor is looked up first",
               !texts.empty() && texts.front() == L"SELECT * FROM [ZELKSensorProperties] WHERE (([AgentGUID] = ?));");
    bool detectionRecorded = false;
    for (const std::wstring& text : texts) detectionRecorded |= text == L"ZELKSP_UpdateDetectedSystems";
    ExpectTrue("the document's detection is recorded through the procedure", detectionRecorded);

    ExpectResult("messages towards the agent", E_NOTIMPL,
                 handler->ProcessDCMessageFromDatabase(nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr, nullptr,
                                                       nullptr, nullptr, nullptr));
}

// Every sample document through the handler, each into a host database of
// its own whose statements go to statementsDir\<document>.jsonl.
void CheckSampleDocuments(IMORVDCMsgHandler* handler, const std::wstring& samplesDir,
                          const std::wstring& statementsDir) {
    std::vector<std::wstring> documents;
    FindDocuments(samplesDir, std::wstring(), documents);
    ExpectTrue("sample documents found", !documents.empty(), Utf8(samplesDir));
    CreateDirectoryW(statementsDir.c_str(), nullptr);
    for (const std::wstring& document : documents) {
        const std::wstring logPath = statementsDir + L"\\" + LogNameOf(document) + L".jsonl";
        DeleteFileW(logPath.c_str());
        std::string bytes;
        const std::string what = "sample " + Utf8(document);
        if (!ReadFile(samplesDir + L"\\" + document, bytes)) {
            ExpectTrue(what.c_str(), false, "cannot be read");
            continue;
        }
        auto database = std::make_shared<HostDatabaseDouble>(logPath);
        AdoClassRegistration classes(database);
        Ref<IUnknown> connection;
        NewConnection(connection);
        Payload payload(bytes);
        ExpectResult(what.c_str(), S_OK, Send(handler, connection.Get(), kSensorEvent, payload.Get()));
    }
}

}  // namespace

void CheckMarlind(const std::wstring& samplesDir, const std::wstring& statementsDir) {
    Ref<IMORVDCMsgHandler> handler;
    ExpectResult(
        "marlind activated by CLSID", S_OK,
        CoCreateInstance(CLSID_MarlindPlugin, nullptr, CLSCTX_INPROC_SERVER, IID_IMORVDCMsgHandler, handler.Receive()));
    HMODULE module = GetModuleHandleW(L"marlind32.dll");
    ExpectTrue("marlind32.dll loaded by COM", module != nullptr);
    if (!handler || !module) return;
    ExpectResult("marlind DllCanUnloadNow while an object lives", S_FALSE, CallExport(module, "DllCanUnloadNow"));
    CheckCalls(handler.Get());
    CheckSampleDocuments(handler.Get(), samplesDir, statementsDir);
    handler.Reset();
    ExpectResult("marlind DllCanUnloadNow after the release", S_OK, CallExport(module, "DllCanUnloadNow"));
    CheckFactoryAndLifetimes(module);
}

}  // namespace windows_test
