// The integer view of mapped variants (VT_INT as it is, others through VariantChangeType) and the
// ASCII case-insensitive comparison of their text.
#include "model/VariantValues.h"

#include "comsupport/ComError.h"
#include "comsupport/Variant.h"

namespace ZELKXML {

INT IntegerView(const VARIANT& value) {
    if (value.vt == VT_INT) return value.intVal;
    comsupport::Variant converted;
    // The platform declares the source non-const; the conversion only reads it.
    comsupport::Check(VariantChangeType(converted.Ptr(), const_cast<VARIANT*>(&value), 0, VT_INT));
    return converted.Get().intVal;
}

TextView TextUpToNul(BSTR text) noexcept {
    if (!text) return {OLESTR(""), 0};
    size_t length = 0;
    const UINT stored = SysStringLen(text);
    while (length < stored && text[length] != 0) ++length;
    return {text, length};
}

namespace {
OLECHAR FoldAsciiCase(OLECHAR c) noexcept {
    return (c >= OLECHAR('A') && c <= OLECHAR('Z')) ? static_cast<OLECHAR>(c - OLECHAR('A') + OLECHAR('a')) : c;
}
}  // namespace

bool EqualsIgnoringCase(BSTR text, const OLECHAR* word) noexcept {
    const TextView view = TextUpToNul(text);
    size_t i = 0;
    for (; i < view.length; ++i) {
        if (word[i] == 0 || FoldAsciiCase(view.text[i]) != FoldAsciiCase(word[i])) return false;
    }
    return word[i] == 0;
}

bool IsTextIgnoringCase(const VARIANT& value, const OLECHAR* word) noexcept {
    return value.vt == VT_BSTR && EqualsIgnoringCase(value.bstrVal, word);
}

}  // namespace ZELKXML
