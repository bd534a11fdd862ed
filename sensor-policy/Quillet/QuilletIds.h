// The plug-in's own identities and the identities of the platform classes and
// interfaces that it uses, with the smart-reference bindings for the DOM ones
// (the ADO bindings live with the ADO code: see AdoIds.h). The class, its type
// library and the host interface come from the header widl makes of Quillet.idl.
#pragma once
#include <windows.h>
#include <msxml2.h>

#include "comsupport/InterfaceId.h"
#include "Quillet.h"

namespace quillet {

extern const GUID kAppIdQuillet;  // {3B841D8C-3E27-41C4-BC51-936D1B24B807}

// MSXML 4.0 DOM document class, and the DOM interfaces.
extern const CLSID kClsidDomDocument40;  // {88D969C0-F192-11D4-A65F-0040963251E5}
extern const IID kIidXmlDomDocument2;    // {2933BF95-7B36-11D2-B20E-00C04F983E60}
extern const IID kIidXmlDomNode;         // {2933BF80-7B36-11D2-B20E-00C04F983E60}
extern const IID kIidXmlDomElement;      // {2933BF86-7B36-11D2-B20E-00C04F983E60}

// ADO: the Command class and the Connection, Command and Recordset interfaces.
extern const CLSID kClsidAdoCommand;  // {00000507-0000-0010-8000-00AA006D2EA4}
extern const IID kIidAdoConnection;   // {00000550-0000-0010-8000-00AA006D2EA4}
extern const IID kIidAdoCommand;      // {B08400BD-F9D1-4D02-B856-71D5DBA123E9}
extern const IID kIidAdoRecordset;    // {00000556-0000-0010-8000-00AA006D2EA4}

extern const IID kIidMarshal;  // {00000003-0000-0000-C000-000000000046}

// The module number of every trace record of the policy handler.
constexpr LONG kTraceModule = 5;

}  // namespace quillet

COMSUPPORT_INTERFACE_ID(IMORVAgentPolicyHandler, IID_IMORVAgentPolicyHandler)
COMSUPPORT_INTERFACE_ID(IXMLDOMDocument2, quillet::kIidXmlDomDocument2)
COMSUPPORT_INTERFACE_ID(IXMLDOMNode, quillet::kIidXmlDomNode)
COMSUPPORT_INTERFACE_ID(IXMLDOMElement, quillet::kIidXmlDomElement)
