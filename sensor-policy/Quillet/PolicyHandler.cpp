// ProcessPolicy's work: the policy loaded into a DOM document, its Detection settings checked, and
// an Exceptions section filled from the scan blacklist and the systems marked as exceptions; every
// failure goes to the trace log.
#include "PolicyHandler.h"

#include <new>
#include <string>

#include "AdoIds.h"
#include "DomDocumentFactory.h"
#include "TraceLog.h"
#include "comsupport/Bstr.h"
#include "comsupport/ComError.h"
#include "comsupport/ComRef.h"
#include "comsupport/Variant.h"

namespace quillet {

const char kTraceLoadFailed[] = "Error loading Sensor Policy snippet";
const char kTraceNoRootElement[] = "Unble to load root document element";
const char kTraceNoDetectionSection[] = "Unble to load Detection section";
const char kTraceNoScanSettings[] = "Unable to find Policy Settings for scanning...";
const char kTraceScanningNotEnabled[] =
    "Do not add anything to this policy, policy settings do not require Exceptions to be added...";
const char kTraceNoExceptionSetting[] = "Unable to find Policy Setting for Scan exception list";
const char kTraceExceptionsScanned[] =
    "Scan items in the Exception list is set, do not add exceptions to the scan blacklist";
const char kTraceComFailure[] = "QuilletObj::ProcessPolicy: hr=0x%08X, %s";

const OLECHAR kBlacklistQuery[] = OLESTR("select MACorOUI from ZELKScanBlacklist");
const OLECHAR kExceptionQuery[] = OLESTR(
    "select MAC from ZELKDetectedSystemProperties where [Exception] = 1 AND [DetectionType] = N'detectedSystem'");

namespace {

using comsupport::Bstr;
using comsupport::ComRef;
using comsupport::OleString;
using comsupport::ThrowComError;
using comsupport::Variant;

constexpr DWORD kActivationContext =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

ComRef<IXMLDOMNode> SelectSingleNode(const ComRef<IXMLDOMNode>& context, const OLECHAR* expression) {
    ComRef<IXMLDOMNode> node;
    context.Call(&IXMLDOMNode::selectSingleNode, Bstr(expression).Get(), node.Receive());
    return node;
}

OleString TextOf(const ComRef<IXMLDOMNode>& node) {
    Bstr text;
    node.Call(&IXMLDOMNode::get_text, text.Receive());
    return text.Str();
}

ComRef<IXMLDOMElement> CreateNamedElement(const ComRef<IXMLDOMDocument2>& document, const OLECHAR* tag,
                                          const OLECHAR* name) {
    ComRef<IXMLDOMElement> element;
    document.Call(&IXMLDOMDocument2::createElement, Bstr(tag).Get(), element.Receive());
    Variant value = Variant::FromText(name);
    element.Call(&IXMLDOMElement::setAttribute, Bstr(OLESTR("name")).Get(), value.Get());
    return element;
}

void AppendChild(const ComRef<IXMLDOMElement>& parent, const ComRef<IXMLDOMElement>& child) {
    ComRef<IXMLDOMNode> appended;
    parent.Call(&IXMLDOMElement::appendChild, static_cast<IXMLDOMNode*>(child.Checked()), appended.Receive());
}

// The BSTR values of one column, in row order, joined by "|"; other values
// (database NULLs above all) contribute nothing, not even a separator.
OleString ListText(const ComRef<_ADORecordset>& recordset, const OLECHAR* column) {
    OleString list;
    bool first = true;
    Variant columnName = Variant::FromText(column);
    for (;;) {
        VARIANT_BOOL atEnd = VARIANT_TRUE;
        recordset.Call(&_ADORecordset::get_EOF, &atEnd);
        if (atEnd != VARIANT_FALSE) break;
        Variant value;
        recordset.Call(&_ADORecordset::get_Collect, columnName.Get(), value.Receive());
        if (value.Type() == VT_BSTR) {
            if (!first) list += OLECHAR('|');
            first = false;
            list.append(value.Get().bstrVal, SysStringLen(value.Get().bstrVal));
        }
        recordset.Call(&_ADORecordset::MoveNext);
    }
    recordset.Call(&_ADORecordset::Close);
    return list;
}

// Runs the command's current text and fills `setting` with the list of `column`.
void FillFromQuery(const ComRef<_ADOCommand>& command, const OLECHAR* column, const ComRef<IXMLDOMElement>& setting) {
    ComRef<_ADORecordset> recordset;
    command.Call(&_ADOCommand::Execute, static_cast<VARIANT*>(nullptr), static_cast<VARIANT*>(nullptr),
                 static_cast<LONG>(adOptionUnspecified), recordset.Receive());
    OleString list = ListText(recordset, column);
    setting.Call(&IXMLDOMElement::put_text, Bstr(list).Get());
}

bool IsText(const OleString& text, const OLECHAR* expected) { return text == expected; }

HRESULT EditPolicy(IUnknown* dbConnection, BSTR xmlIn, BSTR* xmlOut) {
    ComRef<IXMLDOMDocument2> document;
    CreateDomDocument(document, false);  // only whether a document came back counts
    if (!document) ThrowComError(E_POINTER);
    document.Call(&IXMLDOMDocument2::put_async, static_cast<VARIANT_BOOL>(VARIANT_FALSE));

    VARIANT_BOOL loaded = VARIANT_FALSE;
    document.Call(&IXMLDOMDocument2::loadXML, xmlIn, &loaded);
    if (loaded != VARIANT_TRUE) {
        TraceError(kTraceModule, kTraceLoadFailed);
        return S_FALSE;
    }

    ComRef<IXMLDOMElement> root;
    document.Call(&IXMLDOMDocument2::get_documentElement, root.Receive());
    if (!root) {
        TraceError(kTraceModule, kTraceNoRootElement);
        return S_FALSE;
    }
    ComRef<IXMLDOMNode> detection =
        SelectSingleNode(ComRef<IXMLDOMNode>(root.Get()), OLESTR("Section[@name=\"Detection\"]"));
    if (!detection) {
        TraceError(kTraceModule, kTraceNoDetectionSection);
        return S_FALSE;
    }

    ComRef<IXMLDOMNode> subnetScan = SelectSingleNode(detection, OLESTR("Setting[@name=\"SubnetScanEnabled\"]"));
    ComRef<IXMLDOMNode> fingerprinting =
        SelectSingleNode(detection, OLESTR("Setting[@name=\"OSFingerprintingEnabled\"]"));
    if (!subnetScan || !fingerprinting) {
        TraceInfo(kTraceModule, kTraceNoScanSettings);
        return S_FALSE;
    }
    if (!IsText(TextOf(subnetScan), OLESTR("1")) || !IsText(TextOf(fingerprinting), OLESTR("1"))) {
        TraceInfo(kTraceModule, kTraceScanningNotEnabled);
        return S_FALSE;
    }

    ComRef<IXMLDOMElement> exceptions = CreateNamedElement(document, OLESTR("Section"), OLESTR("Exceptions"));
    ComRef<IXMLDOMElement> blacklist = CreateNamedElement(document, OLESTR("Setting"), OLESTR("ScanBlacklist"));

    // A null connection, or one without the ADO interface, leaves the command
    // without a connection: it fails when executed.
    ComRef<_ADOConnection> connection;
    if (dbConnection) {
        HRESULT hr = dbConnection->QueryInterface(kIidAdoConnection, connection.ReceiveVoid());
        if (FAILED(hr) && hr != E_NOINTERFACE) ThrowComError(hr);
    }

    ComRef<_ADOCommand> command;
    HRESULT hr = CoCreateInstance(kClsidAdoCommand, nullptr, kActivationContext, kIidAdoCommand, command.ReceiveVoid());
    if (FAILED(hr)) ThrowComError(hr);
    command.Call(&_ADOCommand::putref_ActiveConnection, connection.Get());
    command.Call(&_ADOCommand::put_CommandText, Bstr(kBlacklistQuery).Get());
    command.Call(&_ADOCommand::put_CommandType, adCmdText);
    FillFromQuery(command, OLESTR("MACorOUI"), blacklist);
    AppendChild(exceptions, blacklist);

    ComRef<IXMLDOMNode> scanExceptions =
        SelectSingleNode(detection, OLESTR("Setting[@name=\"ScanSystemsMarkedAsException\"]"));
    if (!scanExceptions) {
        TraceInfo(kTraceModule, kTraceNoExceptionSetting);
    } else if (!IsText(TextOf(scanExceptions), OLESTR("0"))) {
        TraceInfo(kTraceModule, kTraceExceptionsScanned);
    } else {
        ComRef<IXMLDOMElement> exceptionList =
            CreateNamedElement(document, OLESTR("Setting"), OLESTR("ExceptionScanBlacklist"));
        command.Call(&_ADOCommand::put_CommandText, Bstr(kExceptionQuery).Get());
        FillFromQuery(command, OLESTR("MAC"), exceptionList);
        AppendChild(exceptions, exceptionList);
    }

    AppendChild(root, exceptions);
    Bstr xml;
    document.Call(&IXMLDOMDocument2::get_xml, xml.Receive());
    *xmlOut = xml.Detach();
    return S_OK;
}

void TraceFailure(HRESULT hr, const std::string& description) {
    TraceError(kTraceModule, kTraceComFailure, static_cast<unsigned>(hr), description.c_str());
}

}  // namespace

HRESULT ProcessPolicyText(IUnknown* dbConnection, BSTR xmlIn, BSTR* xmlOut) noexcept {
    if (!xmlOut) return E_POINTER;
    try {
        return EditPolicy(dbConnection, xmlIn, xmlOut);
    } catch (const comsupport::ComError& error) {
        try {
            // Without a description from the failing object, the system's text for the code.
            OleString text = error.Description().empty() ? error.SystemMessage() : error.Description();
            TraceFailure(error.Code(), comsupport::Utf8FromOle(text));
        } catch (...) {
            TraceFailure(error.Code(), std::string());
        }
    } catch (const std::bad_alloc&) {
        TraceFailure(E_OUTOFMEMORY, std::string());
    } catch (...) {
        TraceFailure(E_UNEXPECTED, std::string());
    }
    return S_FALSE;
}

}  // namespace quillet
