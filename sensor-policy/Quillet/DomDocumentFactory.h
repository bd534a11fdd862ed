// Creates the DOM document that the policy handler parses into.
#pragma once
#include "QuilletIds.h"
#include "comsupport/ComRef.h"

namespace quillet {

// Tries the MSXML 4.0 document class, then the ProgIDs of MSXML 6.0, 5.0 and
// 4.0; sets async off and validateOnParse on, and "ProhibitDTD" when asked.
// Returns the HRESULT of the last attempt; `document` is empty unless a
// document was created and set up.
HRESULT CreateDomDocument(comsupport::ComRef<IXMLDOMDocument2>& document, bool prohibitDtd);

}  // namespace quillet
