// A host-like client of the two Windows DLLs, for a Windows platform nobody
// here wrote (Wine): each DLL is registered through its own export, its class
// is activated by CLSID as the host does, and the calls whose answers need no
// host database are made and checked. Prints one line per check; the exit
// status is the number of checks that failed.
//
//   winecheck PATH\marlind32.dll PATH\Quillet.DLL
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "DataChannelInterfaces.h"
#include "QuilletInterfaces.h"

namespace {

const CLSID kClsidMarlind = {0xEF4FCCCE, 0xBA05, 0x4487, {0xB7, 0x9F, 0x91, 0x4D, 0x3C, 0xBD, 0x28, 0x5D}};
const IID kIidMsgHandler = {0x84F711A9, 0x019D, 0x4FBB, {0xAD, 0x3D, 0xF2, 0x87, 0x80, 0xF7, 0xFE, 0xFE}};
const CLSID kClsidQuillet = {0x8536B712, 0x8980, 0x4C37, {0x8C, 0x09, 0x95, 0x15, 0x94, 0x66, 0x44, 0x37}};
const IID kIidPolicyHandler = {0x11EB44FA, 0x4C61, 0x47BE, {0x84, 0xA9, 0xAF, 0xA6, 0x71, 0x6C, 0x49, 0xA2}};
const IID kIidMarshal = {0x00000003, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIidUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

const char kEventDocument[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<zelk:EventList xmlns:zelk=\"urn:zelk:event\"><zelk:CreateTime>2013-03-08T13:47:20Z</zelk:CreateTime>"
    "<zelk:Analyzer><zelk:Sensor id=\"7\"><zelk:Name>Lab sensor</zelk:Name><zelk:Dhcp>1</zelk:Dhcp></zelk:Sensor>"
    "<zelk:Node><zelk:AgentGUID>{6F9619FF-8B86-D011-B42D-00C04FC964FF}</zelk:AgentGUID></zelk:Node></zelk:Analyzer>"
    "<zelk:Event><zelk:Source><zelk:Node><zelk:MACAddress>00:24:E8:11:22:33</zelk:MACAddress></zelk:Node>"
    "</zelk:Source><zelk:Classification><zelk:EventClassification>host.detected.dhcp</zelk:EventClassification>"
    "</zelk:Classification></zelk:Event></zelk:EventList>";

const wchar_t kDeclinedPolicy[] = L"<SensorPolicy><Section name=\"General\"/></SensorPolicy>";
const wchar_t kScanningOff[] =
    L"<SensorPolicy><Section name=\"Detection\"><Setting name=\"SubnetScanEnabled\">1</Setting>"
    L"<Setting name=\"OSFingerprintingEnabled\">0</Setting></Section></SensorPolicy>";

int failures = 0;

void Expect(const char* what, HRESULT expected, HRESULT actual) {
    const bool ok = expected == actual;
    if (!ok) ++failures;
    std::printf("%s %s: 0x%08lX (expected 0x%08lX)\n", ok ? "ok  " : "FAIL", what, static_cast<unsigned long>(actual),
                static_cast<unsigned long>(expected));
}

using EntryPoint = HRESULT(STDAPICALLTYPE*)();

HRESULT CallExport(HMODULE module, const char* name) {
    FARPROC entry = GetProcAddress(module, name);
    if (!entry) return HRESULT_FROM_WIN32(GetLastError());
    return reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(entry))();
}

SAFEARRAY* Payload(const char* bytes) {
    const ULONG length = static_cast<ULONG>(std::strlen(bytes));
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, length);
    void* data = nullptr;
    if (array && SUCCEEDED(SafeArrayAccessData(array, &data))) {
        std::memcpy(data, bytes, length);
        SafeArrayUnaccessData(array);
    }
    return array;
}

void CheckMarlind(const wchar_t* path) {
    HMODULE module = LoadLibraryW(path);
    Expect("marlind32.dll loads", S_OK, module ? S_OK : HRESULT_FROM_WIN32(GetLastError()));
    if (!module) return;
    Expect("marlind DllRegisterServer", S_OK, CallExport(module, "DllRegisterServer"));

    IMORVDCMsgHandler* handler = nullptr;
    Expect("marlind activated by CLSID", S_OK,
           CoCreateInstance(kClsidMarlind, nullptr, CLSCTX_INPROC_SERVER, kIidMsgHandler,
                            reinterpret_cast<void**>(&handler)));
    if (handler) {
        Expect("marlind DllCanUnloadNow while an object lives", S_FALSE, CallExport(module, "DllCanUnloadNow"));
        void* marshal = nullptr;
        Expect("marlind refuses IMarshal", E_NOINTERFACE, handler->QueryInterface(kIidMarshal, &marshal));
        BSTR event = SysAllocString(L"ZELKMETA_SensorEvent");
        BSTR noOp = SysAllocString(L"zelkmeta_noop");
        Expect("a null payload", E_POINTER,
               handler->ProcessDCMessageFromAgent(nullptr, nullptr, nullptr, nullptr, nullptr, noOp, nullptr, nullptr,
                                                  nullptr));
        SAFEARRAY* garbage = Payload("not xml at all");
        Expect("the no-op message in lower case", S_OK,
               handler->ProcessDCMessageFromAgent(nullptr, nullptr, nullptr, nullptr, nullptr, noOp, nullptr, garbage,
                                                  nullptr));
        Expect("a malformed payload", S_OK,
               handler->ProcessDCMessageFromAgent(nullptr, nullptr, nullptr, nullptr, nullptr, event, nullptr,
                                                  garbage, nullptr));
        SAFEARRAY* document = Payload(kEventDocument);
        // Parsed through the platform's DOM; without a connection the saves fail inside and report there.
        Expect("an event document without a connection", S_OK,
               handler->ProcessDCMessageFromAgent(nullptr, nullptr, nullptr, nullptr, nullptr, event, nullptr,
                                                  document, nullptr));
        Expect("messages towards the agent", E_NOTIMPL,
               handler->ProcessDCMessageFromDatabase(nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr, nullptr,
                                                     nullptr, nullptr, nullptr));
        SafeArrayDestroy(document);
        SafeArrayDestroy(garbage);
        SysFreeString(noOp);
        SysFreeString(event);
        handler->Release();
    }
    Expect("marlind DllCanUnloadNow after the release", S_OK, CallExport(module, "DllCanUnloadNow"));

    IClassFactory* factory = nullptr;
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    if (getClassObject) {
        Expect("marlind DllGetClassObject for another CLSID", CLASS_E_CLASSNOTAVAILABLE,
               getClassObject(kClsidQuillet, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
        if (SUCCEEDED(getClassObject(kClsidMarlind, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
            IUnknown* aggregated = nullptr;
            IUnknown* outer = reinterpret_cast<IUnknown*>(factory);  // any non-null outer object
            Expect("marlind refuses aggregation", CLASS_E_NOAGGREGATION,
                   factory->CreateInstance(outer, kIidUnknown, reinterpret_cast<void**>(&aggregated)));
            factory->Release();
        }
    }
    Expect("marlind DllUnregisterServer", S_OK, CallExport(module, "DllUnregisterServer"));
}

void CheckQuillet(const wchar_t* path) {
    HMODULE module = LoadLibraryW(path);
    Expect("Quillet.DLL loads", S_OK, module ? S_OK : HRESULT_FROM_WIN32(GetLastError()));
    if (!module) return;
    Expect("Quillet DllRegisterServer", S_OK, CallExport(module, "DllRegisterServer"));
    IMORVAgentPolicyHandler* handler = nullptr;
    Expect("Quillet activated by CLSID", S_OK,
           CoCreateInstance(kClsidQuillet, nullptr, CLSCTX_INPROC_SERVER, kIidPolicyHandler,
                            reinterpret_cast<void**>(&handler)));
    if (handler) {
        for (const wchar_t* policy : {kDeclinedPolicy, kScanningOff}) {
            BSTR in = SysAllocString(policy);
            BSTR out = nullptr;
            Expect(policy == kDeclinedPolicy ? "a policy without detection settings" : "a policy with scanning off",
                   S_FALSE, handler->ProcessPolicy(nullptr, 0, nullptr, nullptr, nullptr, in, &out));
            SysFreeString(out);
            SysFreeString(in);
        }
        handler->Release();
    }
    Expect("Quillet DllUnregisterServer", S_OK, CallExport(module, "DllUnregisterServer"));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: winecheck MARLIND_DLL QUILLET_DLL\n");
        return 100;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 100;
    CheckMarlind(argv[1]);
    CheckQuillet(argv[2]);
    CoUninitialize();
    std::printf("%d check(s) failed\n", failures);
    return failures;
}
