// How mapped values are looked at where they are used: the integer view of a
// variant and the text comparisons of the event model.
#pragma once
#include <windows.h>

namespace ZELKXML {

// The value as an automation integer (VT_INT): taken as it is when it already
// is one, otherwise converted by the platform's variant conversion. A value
// that does not convert (NULL among them) raises comsupport::ComError with the
// conversion's HRESULT.
INT IntegerView(const VARIANT& value);

// The characters of a text before its first NUL; a null BSTR is the empty text.
struct TextView {
    const OLECHAR* text;
    size_t length;
};
TextView TextUpToNul(BSTR text) noexcept;

// Whole-text comparison that ignores the case of the ASCII letters only, as the
// C runtime's wide case-insensitive comparison does in the "C" locale. A null
// BSTR counts as the empty text.
bool EqualsIgnoringCase(BSTR text, const OLECHAR* word) noexcept;
// True when `value` is a string equal to `word`, ignoring case.
bool IsTextIgnoringCase(const VARIANT& value, const OLECHAR* word) noexcept;

}  // namespace ZELKXML
