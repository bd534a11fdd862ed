// Helpers for the DOM tests: owning references, BSTR and VARIANT holders,
// documents made through activation.
#pragma once
#include <windows.h>
#include <msxml2.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "support/ComHolders.h"

namespace wincompat_test {

using wincompat_test::Bstr;
using wincompat_test::Ref;
using wincompat_test::TakeErrorDescription;

class Variant {
public:
    Variant() { VariantInit(&v_); }
    explicit Variant(const std::u16string& text) {
        VariantInit(&v_);
        v_.vt = VT_BSTR;
        v_.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    static Variant Bool(bool value) {
        Variant v;
        v.v_.vt = VT_BOOL;
        v.v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        return v;
    }
    Variant(Variant&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&v_); }
    VARIANT* out() {
        VariantClear(&v_);
        return &v_;
    }
    const VARIANT& get() const { return v_; }
    VARTYPE vt() const { return v_.vt; }
    std::u16string str() const {
        return v_.vt == VT_BSTR && v_.bstrVal ? std::u16string(v_.bstrVal, SysStringLen(v_.bstrVal))
                                              : u"<not a string>";
    }

private:
    VARIANT v_;
};

// A document made the way the plug-ins make it: activation by CLSID.
inline Ref<IXMLDOMDocument2> NewDocument(REFCLSID clsid = CLSID_DOMDocument40) {
    Ref<IXMLDOMDocument2> doc;
    EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2, doc.outVoid()));
    if (doc) {
        EXPECT_EQ(S_OK, doc->put_async(VARIANT_FALSE));
        EXPECT_EQ(S_OK, doc->put_validateOnParse(VARIANT_TRUE));
    }
    return doc;
}

inline bool LoadXml(IXMLDOMDocument2* doc, const std::u16string& xml) {
    Bstr text(xml);
    VARIANT_BOOL ok = VARIANT_FALSE;
    HRESULT hr = doc->loadXML(text.get(), &ok);
    EXPECT_EQ(ok == VARIANT_TRUE ? S_OK : S_FALSE, hr);
    return ok == VARIANT_TRUE;
}

inline Ref<IXMLDOMDocument2> LoadedDocument(const std::u16string& xml, REFCLSID clsid = CLSID_DOMDocument40) {
    Ref<IXMLDOMDocument2> doc = NewDocument(clsid);
    EXPECT_TRUE(LoadXml(doc.get(), xml));
    return doc;
}

inline void SetProperty(IXMLDOMDocument2* doc, const char16_t* name, const std::u16string& value) {
    Bstr property(name);
    Variant v(value);
    EXPECT_EQ(S_OK, doc->setProperty(property.get(), v.get()));
}

inline Ref<IXMLDOMElement> Root(IXMLDOMDocument2* doc) {
    Ref<IXMLDOMElement> root;
    EXPECT_EQ(S_OK, doc->get_documentElement(root.out()));
    return root;
}

inline Ref<IXMLDOMNode> SelectOne(IXMLDOMNode* node, const std::u16string& query) {
    Ref<IXMLDOMNode> found;
    Bstr q(query);
    HRESULT hr = node->selectSingleNode(q.get(), found.out());
    EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
    EXPECT_EQ(hr == S_OK, static_cast<bool>(found));
    return found;
}

inline std::u16string TextOf(IXMLDOMNode* node) {
    Bstr text;
    EXPECT_EQ(S_OK, node->get_text(text.out()));
    return text.text();
}

inline std::u16string XmlOf(IXMLDOMNode* node) {
    Bstr xml;
    EXPECT_EQ(S_OK, node->get_xml(xml.out()));
    return xml.text();
}

inline std::u16string NameOf(IXMLDOMNode* node) {
    Bstr name;
    EXPECT_EQ(S_OK, node->get_nodeName(name.out()));
    return name.text();
}

inline std::u16string ParseReason(IXMLDOMDocument2* doc) {
    Ref<IXMLDOMParseError> error;
    EXPECT_EQ(S_OK, doc->get_parseError(error.out()));
    Bstr reason;
    error->get_reason(reason.out());
    return reason.text();
}

inline LONG ParseErrorCode(IXMLDOMDocument2* doc) {
    Ref<IXMLDOMParseError> error;
    EXPECT_EQ(S_OK, doc->get_parseError(error.out()));
    LONG code = 0;
    error->get_errorCode(&code);
    return code;
}

inline std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

}  // namespace wincompat_test
