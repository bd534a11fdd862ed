// Maps an event document's analyzer, sensor, users, events and plug-in data from its "zelk:"
// elements, and loads documents from an upload's UTF-8 payload or a file, reporting a failed load
// to the debugger output.
#include "model/EventDocument.h"

#include <climits>
#include <exception>
#include <new>

#include "comsupport/ComError.h"
#include "model/VariantValues.h"

namespace ZELKXML {

namespace {

// The element names this file reads, one query each.
const QueryText kName(OLESTR("zelk:Name"));
const QueryText kProductVersion(OLESTR("zelk:ProductVersion"));
const QueryText kProductFamily(OLESTR("zelk:ProductFamily"));
const QueryText kInfo(OLESTR("zelk:Info"));
const QueryText kDhcp(OLESTR("zelk:Dhcp"));
const QueryText kType(OLESTR("zelk:Type"));
const QueryText kElectionType(OLESTR("zelk:ElectionType"));
const QueryText kSensor(OLESTR("zelk:Sensor"));
const QueryText kUser(OLESTR("zelk:User"));
const QueryText kNode(OLESTR("zelk:Node"));
const QueryText kEventClassification(OLESTR("zelk:EventClassification"));
const QueryText kPluginName(OLESTR("zelk:PluginName"));
const QueryText kPluginVersion(OLESTR("zelk:PluginVersion"));
const QueryText kPluginData(OLESTR("zelk:PluginData"));
const QueryText kOndrixEventTypeId(OLESTR("zelk:OndrixEventTypeId"));
const QueryText kDetectTime(OLESTR("zelk:DetectTime"));
const QueryText kSource(OLESTR("zelk:Source"));
const QueryText kClassification(OLESTR("zelk:Classification"));
const QueryText kCreateTime(OLESTR("zelk:CreateTime"));
const QueryText kAnalyzer(OLESTR("zelk:Analyzer"));

}  // namespace

void Sensor::map(IXMLDOMNode* node, const OLECHAR* /*name*/) {
    ReadAttributeLong(node, OLESTR("id"), SensorId);
    ReadChildValue(node, kName, Name);
    ReadChildValue(node, kProductVersion, ProductVersion);
    ReadChildValue(node, kProductFamily, ProductFamily);
    ReadChildValue(node, kInfo, Info);

    // Every sensor states whether it watches DHCP; without that the
    // description is unusable and the mapping stops here.
    comsupport::Variant dhcp;
    ReadChildValue(node, kDhcp, dhcp);
    DhcpFlag = IntegerView(dhcp.Get());

    // Sensors that do not say what they are are detection sensors.
    comsupport::Variant type;
    ReadChildValue(node, kType, type);
    IsDetectionSensor = (type.Type() != VT_BSTR || EqualsIgnoringCase(type.Get().bstrVal, OLESTR("detection"))) ? 1 : 0;

    comsupport::Variant election;
    ReadChildValue(node, kElectionType, election);
    if (IsTextIgnoringCase(election.Get(), OLESTR("server")))
        ElectionRole = 1;
    else if (IsTextIgnoringCase(election.Get(), OLESTR("voting")))
        ElectionRole = 2;
    else
        ElectionRole = 0;
}

void User::map(IXMLDOMNode* node, const OLECHAR* /*name*/) { ReadChildValue(node, kName, Name); }

void Analyzer::map(IXMLDOMNode* node, const OLECHAR* /*name*/) {
    MapChildIfPresent(node, kSensor, Sensor);
    MapChildIfPresent(node, kUser, User);
    MapChildIfPresent(node, kNode, Node);
}

void Source::map(IXMLDOMNode* node, const OLECHAR* /*name*/) {
    MapChildIfPresent(node, kNode, Node);
    Users.map(node, OLESTR("zelk:User"));
}

comsupport::Variant Source::UserNames() const {
    comsupport::OleString names;
    for (const ZELKXML::User& user : Users) {
        if (user.Name.Type() != VT_BSTR) continue;
        const TextView name = TextUpToNul(user.Name.Get().bstrVal);
        if (!names.empty()) names += OLECHAR(',');
        names.append(name.text, name.length);
    }
    if (names.empty()) return comsupport::Variant::Null();
    return comsupport::Variant::FromText(names);
}

void Classification::map(IXMLDOMNode* node, const OLECHAR* /*name*/) {
    ReadChildValue(node, kEventClassification, EventClassification);
}

void Plugin::map(IXMLDOMNode* node, const OLECHAR* /*name*/) {
    ReadChildValue(node, kPluginName, PluginName);
    ReadChildValue(node, kPluginVersion, PluginVersion);
    ReadChildValue(node, kPluginData, PluginData);
    ReadChildValue(node, kOndrixEventTypeId, OndrixEventTypeId);
}

void Event::map(IXMLDOMNode* node, const OLECHAR* /*name*/) {
    ReadChildValue(node, kDetectTime, DetectTime);
    MapChildIfPresent(node, kSource, Source);
    MapChildIfPresent(node, kClassification, Classification);
    Plugins.map(node, OLESTR("zelk:Plugin"));
}

void ECEvent::map(IXMLDOMNode* node, const OLECHAR* /*name*/) {
    ReadChildValue(node, kCreateTime, CreateTime);
    MapChildIfPresent(node, kAnalyzer, Analyzer);
    Events.map(node, OLESTR("zelk:Event"));
}

namespace {

// Holds a SAFEARRAY locked while its data is read.
class ArrayLock {
public:
    explicit ArrayLock(SAFEARRAY* array) : array_(array) { comsupport::Check(SafeArrayLock(array_)); }
    ~ArrayLock() { SafeArrayUnlock(array_); }
    ArrayLock(const ArrayLock&) = delete;
    ArrayLock& operator=(const ArrayLock&) = delete;

private:
    SAFEARRAY* array_;
};

[[noreturn]] void ThrowLastError() {
    const DWORD error = GetLastError();
    comsupport::ThrowComError(error ? HRESULT_FROM_WIN32(error) : E_FAIL);
}

// The payload's UTF-8 text as a terminated wide string. Invalid sequences are
// replaced as the platform's conversion does; no text at all is an error.
comsupport::Bstr PayloadText(SAFEARRAY* payload) {
    ArrayLock lock(payload);
    // The payload is a one-dimensional byte array; its lower bound is not used.
    if (payload->cDims != 1) comsupport::ThrowComError(E_INVALIDARG);
    const ULONG bytes = payload->rgsabound[0].cElements;
    if (bytes > static_cast<ULONG>(INT_MAX)) comsupport::ThrowComError(E_INVALIDARG);
    const char* utf8 = static_cast<const char*>(payload->pvData);
    const int length = static_cast<int>(bytes);
    // UTF-8 never decodes to more UTF-16 units than it has bytes, and ASCII
    // (the usual payload) to exactly as many: one pass into a string of that
    // size, copied to the exact length only when the text was not ASCII.
    comsupport::Bstr text = comsupport::Bstr::Attach(SysAllocStringLen(nullptr, bytes));
    if (!text.Get()) comsupport::ThrowComError(E_OUTOFMEMORY);
    const int chars = MultiByteToWideChar(CP_UTF8, 0, utf8, length, text.Get(), length);
    if (chars <= 0) ThrowLastError();
    if (chars == length) return text;
    comsupport::Bstr exact = comsupport::Bstr::Attach(SysAllocStringLen(text.Get(), static_cast<UINT>(chars)));
    if (!exact.Get()) comsupport::ThrowComError(E_OUTOFMEMORY);
    return exact;
}

void AppendHex(comsupport::OleString& text, unsigned long value) {
    static const char kDigits[] = "0123456789ABCDEF";
    text += OLESTR("0x");
    for (int shift = 28; shift >= 0; shift -= 4) text += OLECHAR(kDigits[(value >> shift) & 0xF]);
}

void AppendDecimal(comsupport::OleString& text, LONG value) {
    comsupport::OleString digits;
    unsigned long magnitude = value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    do {
        digits.insert(digits.begin(), OLECHAR('0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude);
    if (value < 0) text += OLECHAR('-');
    text += digits;
}

// Why the DOM refused the text, for the debugger output: "line N: reason".
comsupport::OleString ParseFailureReason(const DocumentRef& document) {
    try {
        comsupport::ComRef<IXMLDOMParseError> parseError;
        document.Call(&IXMLDOMDocument2::get_parseError, parseError.Receive());
        if (!parseError) return comsupport::OleString();
        comsupport::Bstr reason;
        parseError.Call(&IXMLDOMParseError::get_reason, reason.Receive());
        LONG line = 0;
        parseError.Call(&IXMLDOMParseError::get_line, &line);
        comsupport::OleString text = OLESTR("line ");
        AppendDecimal(text, line);
        text += OLESTR(": ");
        text += reason.Str();
        while (!text.empty() && (text.back() == OLECHAR('\n') || text.back() == OLECHAR('\r'))) text.pop_back();
        return text;
    } catch (const comsupport::ComError&) {
        return comsupport::OleString();  // the reason is a courtesy; the failure stands without it
    }
}

[[noreturn]] void ThrowNotLoaded(const DocumentRef& document) {
    throw comsupport::ComError(E_INVALIDARG, ParseFailureReason(document));
}

void ReportLoadFailure(HRESULT hr, const comsupport::OleString& description) noexcept {
    try {
        comsupport::OleString text = OLESTR("marlind: event document not loaded: ");
        AppendHex(text, static_cast<unsigned long>(hr));
        const comsupport::OleString system = comsupport::SystemMessageFor(hr);
        if (!system.empty()) text += OLESTR(" ") + system;
        if (!description.empty()) text += OLESTR(" (") + description + OLESTR(")");
        OutputDebugStringW(text.c_str());
    } catch (...) {
        OutputDebugStringW(OLESTR("marlind: event document not loaded"));
    }
}

// Runs one load: a failure is reported to the debugger output and ends the
// load, keeping whatever was mapped before it.
template <typename Load>
void AbsorbingFailures(Load&& load) noexcept {
    try {
        load();
    } catch (const comsupport::ComError& error) {
        ReportLoadFailure(error.Code(), error.Description());
    } catch (const std::bad_alloc&) {
        ReportLoadFailure(E_OUTOFMEMORY, comsupport::OleString());
    } catch (const std::exception&) {
        ReportLoadFailure(E_UNEXPECTED, comsupport::OleString());
    }
}

}  // namespace

void ECEvent::LoadFromPayload(SAFEARRAY* payload) {
    if (!payload || !payload->pvData) return;
    AbsorbingFailures([&] {
        comsupport::Bstr text = PayloadText(payload);
        DocumentRef document = CreateEventDocument(kCLSID_FreeThreadedDOMDocument);
        ApplyParsingSettings(document);
        BindEventNamespace(document);
        VARIANT_BOOL parsed = VARIANT_FALSE;
        document.Call(&IXMLDOMDocument2::loadXML, text.Get(), &parsed);
        if (parsed != VARIANT_TRUE) ThrowNotLoaded(document);
        MapDocumentElement(document);
    });
}

void ECEvent::LoadFromFile(const OLECHAR* path) {
    AbsorbingFailures([&] {
        DocumentRef document = CreateEventDocument(kCLSID_DOMDocument);
        ApplyParsingSettings(document);
        comsupport::Variant source = comsupport::Variant::FromText(path);
        VARIANT_BOOL loaded = VARIANT_FALSE;
        document.Call(&IXMLDOMDocument2::load, source.Get(), &loaded);
        if (loaded != VARIANT_TRUE) ThrowNotLoaded(document);
        BindEventNamespace(document);
        MapDocumentElement(document);
    });
}

void ECEvent::MapDocumentElement(const DocumentRef& document) {
    comsupport::ComRef<IXMLDOMElement> root;
    document.Call(&IXMLDOMDocument2::get_documentElement, root.Receive());
    map(root.Get(), nullptr);
}

}  // namespace ZELKXML
