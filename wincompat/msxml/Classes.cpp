// The document classes that activation finds as built-in classes.
#include "com/BuiltinClasses.h"
#include "msxml/DomObjects.h"

namespace wincompat::msxml {
namespace {

// The side-by-side classes that the version-dependent ProgIDs name.
const CLSID kClsidDomDocument30 = {0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};
const CLSID kClsidDomDocument50 = {0x88D969E5, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};
const CLSID kClsidDomDocument60 = {0x88D96A05, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};

template <DocumentVersion version>
HRESULT Create(IUnknown* outer, REFIID riid, void** out) {
    return CreateDomDocument(version, outer, riid, out);
}

// Standard and free-threaded documents share one implementation: a document
// is used by one thread at a time, and documents share no state.
BuiltinClassRegistration gDomDocument(CLSID_DOMDocument, {u"Msxml2.DOMDocument"}, &Create<DocumentVersion::Msxml3>);
BuiltinClassRegistration gFreeThreadedDomDocument(CLSID_FreeThreadedDOMDocument, {u"Msxml2.FreeThreadedDOMDocument"},
                                                  &Create<DocumentVersion::Msxml3>);
BuiltinClassRegistration gDomDocument30(kClsidDomDocument30, {u"Msxml2.DOMDocument.3.0"},
                                        &Create<DocumentVersion::Msxml3>);
BuiltinClassRegistration gDomDocument40(CLSID_DOMDocument40, {u"Msxml2.DOMDocument.4.0"},
                                        &Create<DocumentVersion::Msxml4>);
BuiltinClassRegistration gDomDocument50(kClsidDomDocument50, {u"Msxml2.DOMDocument.5.0"},
                                        &Create<DocumentVersion::Msxml5>);
BuiltinClassRegistration gDomDocument60(kClsidDomDocument60, {u"Msxml2.DOMDocument.6.0"},
                                        &Create<DocumentVersion::Msxml6>);

}  // namespace
}  // namespace wincompat::msxml
