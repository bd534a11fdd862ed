// Quillet under the platform's COM and DOM (Wine's MSXML), with the recording
// ADO double serving the host's lists.
#include <memory>
#include <vector>

#include <msxml2.h>

#include "Checks.h"
#include "ComHelpers.h"
#include "Plugins.h"
#include "RecordingAdo.h"

namespace windows_test {
namespace {

// MSXML 6's DOMDocument60, which mingw-w64's msxml2.h does not declare.
const CLSID kClsidDomDocument60 = {0x88D96A05, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};
const IID kIidDomDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

const wchar_t kBlacklistQuery[] = L"select MACorOUI from ZELKScanBlacklist";
const wchar_t kExceptionQuery[] =
    L"select MAC from ZELKDetectedSystemProperties where [Exception] = 1 AND [DetectionType] = N'detectedSystem'";

// The Detection section of a policy with these two scan settings and, unless
// null, ScanSystemsMarkedAsException.
std::wstring PolicyWith(const wchar_t* subnetScan, const wchar_t* fingerprinting, const wchar_t* scanExceptions) {
    std::wstring policy =
        L"<SensorPolicy><Section name=\"General\"><Setting name=\"Keep\">as it was</Setting></Section>"
        L"<Section name=\"Detection\">";
    policy += std::wstring(L"<Setting name=\"SubnetScanEnabled\">") + subnetScan + L"</Setting>";
    policy += std::wstring(L"<Setting name=\"OSFingerprintingEnabled\">") + fingerprinting + L"</Setting>";
    if (scanExceptions)
        policy += std::wstring(L"<Setting name=\"ScanSystemsMarkedAsException\">") + scanExceptions + L"</Setting>";
    return policy + L"</Section></SensorPolicy>";
}

Row ListRow(const wchar_t* column, const wchar_t* text) {
    return Row{{column, text ? OwnedVariant::Text(text) : OwnedVariant::Null()}};
}

HRESULT Process(IMORVAgentPolicyHandler* handler, IUnknown* connection, const std::wstring& policy, Text& out) {
    Text in(policy.c_str());
    return handler->ProcessPolicy(connection, 0, nullptr, nullptr, nullptr, in.Get(), out.Receive());
}

// The edited policy read back through the platform's DOM: the text of the
// node `path` selects, or "(none)" when there is none. The DOM's own
// formatting of the document does not matter.
class PolicyReader {
public:
    explicit PolicyReader(const std::wstring& xml) {
        if (FAILED(CoCreateInstance(kClsidDomDocument60, nullptr, CLSCTX_INPROC_SERVER, kIidDomDocument2,
                                    document_.Receive())))
            return;
        Text text(xml.c_str());
        VARIANT_BOOL loaded = VARIANT_FALSE;
        loaded_ = SUCCEEDED(document_->loadXML(text.Get(), &loaded)) && loaded == VARIANT_TRUE;
    }
    bool Loaded() const { return loaded_; }
    std::wstring TextAt(const wchar_t* path) const {
        if (!loaded_) return L"(not loaded)";
        Ref<IXMLDOMNode> node;
        Text expression(path);
        if (document_->selectSingleNode(expression.Get(), reinterpret_cast<IXMLDOMNode**>(node.Receive())) != S_OK ||
            !node)
            return L"(none)";
        Text text;
        node->get_text(text.Receive());
        return text.Str();
    }
    long CountOf(const wchar_t* path) const {
        if (!loaded_) return -1;
        Ref<IXMLDOMNodeList> nodes;
        Text expression(path);
        long count = -1;
        if (SUCCEEDED(document_->selectNodes(expression.Get(), reinterpret_cast<IXMLDOMNodeList**>(nodes.Receive()))) &&
            nodes)
            nodes->get_length(&count);
        return count;
    }

private:
    Ref<IXMLDOMDocument2> document_;
    bool loaded_ = false;
};

void CheckDeclinedPolicies(IMORVAgentPolicyHandler* handler, IUnknown* connection, HostDatabaseDouble& database) {
    const struct {
        const char* what;
        std::wstring policy;
    } declined[] = {
        {"a policy that is not XML", L"<SensorPolicy><Section"},
        {"an empty policy", L""},
        {"a policy without a Detection section", L"<SensorPolicy><Section name=\"General\"/></SensorPolicy>"},
        {"a Detection section without the scan settings",
         L"<SensorPolicy><Section name=\"Detection\"><Setting name=\"SubnetScanEnabled\">1</Setting></Section>"
         L"</SensorPolicy>"},
        {"a policy with subnet scanning off", PolicyWith(L"0", L"1", L"0")},
        {"a policy with fingerprinting off", PolicyWith(L"1", L"0", L"0")},
        {"a policy whose scan setting is not 1", PolicyWith(L"01", L"1", L"0")},
        {"a Detection section in another namespace",
         L"<SensorPolicy xmlns=\"urn:other\"><Section name=\"Detection\"><Setting name=\"SubnetScanEnabled\">1"
         L"</Setting><Setting name=\"OSFingerprintingEnabled\">1</Setting></Section></SensorPolicy>"},
    };
    size_t texts = 0;
    for (const auto& policy : declined) {
        Text out;
        ExpectResult(policy.what, S_FALSE, Process(handler, connection, policy.policy, out));
        ExpectTrue("  leaves the result empty", out.Get() == nullptr);
        const std::vector<std::wstring> sent = database.Texts();
        ExpectTrue("  and reads nothing from the database", sent.size() == texts,
                   sent.size() == texts ? std::string() : Utf8(sent.back()));
        texts = sent.size();
    }
    Text in(PolicyWith(L"1", L"1", L"0").c_str());
    ExpectResult("a null result pointer", E_POINTER,
                 handler->ProcessPolicy(connection, 0, nullptr, nullptr, nullptr, in.Get(), nullptr));
    Text out;
    ExpectResult("a policy without a connection", S_FALSE,
                 Process(handler, nullptr, PolicyWith(L"1", L"1", L"0"), out));
}

void CheckEditedPolicies(IMORVAgentPolicyHandler* handler, IUnknown* connection, HostDatabaseDouble& database) {
    database.ServeRows(kBlacklistQuery, {ListRow(L"MACorOUI", L"00:11:22:33:44:55"), ListRow(L"MACorOUI", nullptr),
                                         ListRow(L"MACorOUI", L""), ListRow(L"MACorOUI", L"00:A0:C9")});
    database.ServeRows(kExceptionQuery,
                       {ListRow(L"MAC", nullptr), ListRow(L"MAC", L"AABBCCDDEEFF"), ListRow(L"MAC", L"")});
    const size_t before = database.Texts().size();
    Text out;
    ExpectResult("a policy that asks for the exceptions", S_OK,
                 Process(handler, connection, PolicyWith(L"1", L"1", L"0"), out));
    PolicyReader edited(out.Str());
    ExpectTrue("the edited policy is XML", edited.Loaded(), Utf8(out.Str()));
    ExpectText("the blacklist skips NULLs and keeps empty entries", L"00:11:22:33:44:55||00:A0:C9",
               edited.TextAt(L"/SensorPolicy/Section[@name=\"Exceptions\"]/Setting[@name=\"ScanBlacklist\"]"));
    ExpectText("the exception list", L"AABBCCDDEEFF|",
               edited.TextAt(L"/SensorPolicy/Section[@name=\"Exceptions\"]/Setting[@name=\"ExceptionScanBlacklist\"]"));
    ExpectText("the rest of the policy stays", L"as it was",
               edited.TextAt(L"/SensorPolicy/Section[@name=\"General\"]/Setting[@name=\"Keep\"]"));
    ExpectTrue("one Exceptions section, appended last",
               edited.CountOf(L"/SensorPolicy/Section[@name=\"Exceptions\"]") == 1 &&
                   edited.CountOf(L"/SensorPolicy/Section[last()][@name=\"Exceptions\"]") == 1);
    const std::vector<std::wstring> texts = database.Texts();
    ExpectTrue("the two lists were read, in order",
               std::vector<std::wstring>(texts.begin() + static_cast<std::ptrdiff_t>(before), texts.end()) ==
                   std::vector<std::wstring>{kBlacklistQuery, kExceptionQuery});

    // MSXML's text of an element is trimmed while white space is not preserved.
    Text padded;
    ExpectResult("scan settings with white space around their value", S_OK,
                 Process(handler, connection, PolicyWith(L" 1\n", L"\t1 ", L" 0 "), padded));
    ExpectText("  add both lists", L"AABBCCDDEEFF|",
               PolicyReader(padded.Str()).TextAt(L"//Setting[@name=\"ExceptionScanBlacklist\"]"));

    for (const wchar_t* scanExceptions : {static_cast<const wchar_t*>(nullptr), L"1"}) {
        Text only;
        ExpectResult(scanExceptions ? "a policy that scans the exceptions" : "a policy without the exception setting",
                     S_OK, Process(handler, connection, PolicyWith(L"1", L"1", scanExceptions), only));
        PolicyReader reader(only.Str());
        ExpectText("  the blacklist alone", L"(none)", reader.TextAt(L"//Setting[@name=\"ExceptionScanBlacklist\"]"));
        ExpectText("  the blacklist", L"00:11:22:33:44:55||00:A0:C9",
                   reader.TextAt(L"//Setting[@name=\"ScanBlacklist\"]"));
    }

    database.ServeRows(kBlacklistQuery, {});
    database.ServeRows(kExceptionQuery, {});
    Text none;
    ExpectResult("empty lists", S_OK, Process(handler, connection, PolicyWith(L"1", L"1", L"0"), none));
    PolicyReader empty(none.Str());
    ExpectText("  an empty blacklist", L"", empty.TextAt(L"//Setting[@name=\"ScanBlacklist\"]"));
    ExpectText("  an empty exception list", L"", empty.TextAt(L"//Setting[@name=\"ExceptionScanBlacklist\"]"));

    database.FailWith(kExceptionQuery, static_cast<HRESULT>(0x80040E37L), L"Invalid object name.");
    Text failed;
    ExpectResult("a list the database cannot read", S_FALSE,
                 Process(handler, connection, PolicyWith(L"1", L"1", L"0"), failed));
    ExpectTrue("  leaves the result empty", failed.Get() == nullptr);
}

void CheckAggregation() {
    Ref<IClassFactory> factory;
    ExpectResult(
        "Quillet's class factory", S_OK,
        CoGetClassObject(CLSID_QuilletObj, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.Receive()));
    if (!factory) return;
    OuterObject outer;
    ExpectResult("Quillet refuses aggregation for another interface than IUnknown", CLASS_E_NOAGGREGATION,
                 factory->CreateInstance(&outer, IID_IMORVAgentPolicyHandler, outer.InnerSlot()));
    ExpectResult("Quillet aggregates for IUnknown", S_OK,
                 factory->CreateInstance(&outer, IID_IUnknown, outer.InnerSlot()));
    Ref<IMORVAgentPolicyHandler> handler;
    ExpectResult("the aggregated object's interface through the outer object", S_OK,
                 outer.QueryInterface(IID_IMORVAgentPolicyHandler, handler.Receive()));
    ExpectTrue("the aggregated interface counts on the outer object", outer.References() == 2);
    Ref<IUnknown> back;
    if (handler) handler->QueryInterface(IID_IUnknown, back.Receive());
    ExpectTrue("the aggregated interface answers IUnknown with the outer object",
               back.Get() == static_cast<IUnknown*>(&outer));
    back.Reset();
    handler.Reset();
    outer.ReleaseInner();
    ExpectTrue("the outer object is left as it was", outer.References() == 1);
}

}  // namespace

void CheckQuillet() {
    Ref<IMORVAgentPolicyHandler> handler;
    ExpectResult("Quillet activated by CLSID", S_OK,
                 CoCreateInstance(CLSID_QuilletObj, nullptr, CLSCTX_INPROC_SERVER, IID_IMORVAgentPolicyHandler,
                                  handler.Receive()));
    HMODULE module = GetModuleHandleW(L"Quillet.DLL");
    ExpectTrue("Quillet.DLL loaded by COM", module != nullptr);
    if (!handler || !module) return;
    ExpectResult("Quillet DllCanUnloadNow while an object lives", S_FALSE, CallExport(module, "DllCanUnloadNow"));

    Ref<IMarshal> marshal;
    ExpectResult("Quillet answers IMarshal", S_OK, handler->QueryInterface(IID_IMarshal, marshal.Receive()));
    if (marshal) {
        CLSID unmarshaler = CLSID_NULL;
        ExpectResult("  its unmarshaler within the process", S_OK,
                     marshal->GetUnmarshalClass(IID_IMORVAgentPolicyHandler, handler.Get(), MSHCTX_INPROC, nullptr,
                                                MSHLFLAGS_NORMAL, &unmarshaler));
        wchar_t name[40] = L"";
        StringFromGUID2(unmarshaler, name, 40);
        ExpectText("  is the free-threaded marshaler's", L"{0000033A-0000-0000-C000-000000000046}", name);
        marshal.Reset();
    }

    auto database = std::make_shared<HostDatabaseDouble>();
    AdoClassRegistration classes(database);
    Ref<IUnknown> connection;
    ExpectResult(
        "a connection of the ADO double", S_OK,
        CoCreateInstance(kClsidAdoConnection, nullptr, CLSCTX_INPROC_SERVER, kIidAdoConnection, connection.Receive()));
    CheckDeclinedPolicies(handler.Get(), connection.Get(), *database);
    CheckEditedPolicies(handler.Get(), connection.Get(), *database);
    handler.Reset();
    connection.Reset();
    ExpectResult("Quillet DllCanUnloadNow after the release", S_OK, CallExport(module, "DllCanUnloadNow"));
    CheckAggregation();
    ExpectResult("Quillet DllCanUnloadNow after the aggregate's release", S_OK, CallExport(module, "DllCanUnloadNow"));
}

}  // namespace windows_test
