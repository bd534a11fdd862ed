// Shared helpers of the event-model tests: payloads as the message handler
// receives them, DOM fragments to map single classes from, and readable views
// of variants. Platform-neutral: the Windows build runs these tests too.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "comsupport/Bstr.h"
#include "comsupport/OleString.h"
#include "comsupport/Variant.h"
#include "model/EventDocument.h"

namespace marlind_test {

using comsupport::Variant;

struct SafeArrayDestroyer {
    void operator()(SAFEARRAY* array) const { SafeArrayDestroy(array); }
};
using SafeArrayPtr = std::unique_ptr<SAFEARRAY, SafeArrayDestroyer>;

// A one-dimensional VT_UI1 array holding `bytes`, as the host passes a payload.
inline SafeArrayPtr MakePayload(const std::string& bytes, LONG lowerBound = 0) {
    SafeArrayPtr array(SafeArrayCreateVector(VT_UI1, lowerBound, static_cast<ULONG>(bytes.size())));
    EXPECT_TRUE(array) << "payload array not created";
    if (array && !bytes.empty()) {
        void* data = nullptr;
        EXPECT_EQ(S_OK, SafeArrayAccessData(array.get(), &data));
        std::copy(bytes.begin(), bytes.end(), static_cast<char*>(data));
        SafeArrayUnaccessData(array.get());
    }
    return array;
}

inline std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << path;
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

inline std::string SamplePath(const std::string& name) { return std::string(MARLIND_SAMPLES_DIR) + "/" + name; }

inline comsupport::OleString Ole(const std::string& utf8) { return comsupport::OleFromUtf8(utf8); }

// The event namespace declaration every test document carries.
inline const char kNs[] = "xmlns:zelk=\"urn:zelk:event\" xmlns:dt=\"urn:schemas-microsoft-com:datatypes\"";

// An event document whose root carries the namespaces and holds `body`.
inline std::string EventXml(const std::string& body, const std::string& root = "zelk:EventList") {
    return "<" + root + " " + kNs + ">" + body + "</" + root + ">";
}

inline ZELKXML::ECEvent LoadPayload(const std::string& bytes) {
    ZELKXML::ECEvent document;
    SafeArrayPtr payload = MakePayload(bytes);
    document.LoadFromPayload(payload.get());
    return document;
}

// A parsed fragment under the event document settings, to map one class from
// its element directly.
class Fragment {
public:
    explicit Fragment(const std::string& xml) {
        document_ = ZELKXML::CreateEventDocument(ZELKXML::kCLSID_FreeThreadedDOMDocument);
        ZELKXML::ApplyParsingSettings(document_);
        ZELKXML::BindEventNamespace(document_);
        comsupport::Bstr text(Ole(xml));
        VARIANT_BOOL parsed = VARIANT_FALSE;
        document_.Call(&IXMLDOMDocument2::loadXML, text.Get(), &parsed);
        EXPECT_EQ(VARIANT_TRUE, parsed) << "fragment does not parse: " << xml;
        document_.Call(&IXMLDOMDocument2::get_documentElement, root_.Receive());
    }
    // The document element, with the namespaces declared on it.
    IXMLDOMNode* Root() const { return root_.Get(); }

private:
    ZELKXML::DocumentRef document_;
    comsupport::ComRef<IXMLDOMElement> root_;
};

// `body` wrapped in an element carrying the namespaces: map classes from it.
inline std::string Wrapped(const std::string& element, const std::string& body) {
    return "<" + element + " " + kNs + ">" + body + "</" + element + ">";
}

inline std::string Utf8(const VARIANT& value) {
    if (value.vt != VT_BSTR) return "<not a string>";
    return comsupport::Utf8FromOle(value.bstrVal, SysStringLen(value.bstrVal));
}
inline std::string Utf8(const Variant& value) { return Utf8(value.Get()); }

inline bool IsText(const Variant& value, const std::string& expected) {
    return value.Type() == VT_BSTR && Utf8(value) == expected;
}

inline std::vector<unsigned char> Bytes(const Variant& value) {
    std::vector<unsigned char> bytes;
    if (value.Type() != (VT_ARRAY | VT_UI1)) return bytes;
    SAFEARRAY* array = value.Get().parray;
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) return bytes;
    const unsigned char* begin = static_cast<const unsigned char*>(data);
    bytes.assign(begin, begin + (upper - lower + 1));
    SafeArrayUnaccessData(array);
    return bytes;
}

}  // namespace marlind_test
