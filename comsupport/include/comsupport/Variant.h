// Owns one VARIANT, deeply copied.
#pragma once
#include <windows.h>

#include <string>

#include "comsupport/Bstr.h"

namespace comsupport {

class Variant {
public:
    Variant() noexcept { VariantInit(&value_); }
    Variant(const Variant& other);
    Variant(Variant&& other) noexcept;
    Variant& operator=(const Variant& other);
    Variant& operator=(Variant&& other) noexcept;
    ~Variant() { VariantClear(&value_); }

    // Deep copy of a raw variant; a failure raises ComError.
    explicit Variant(const VARIANT& raw);
    static Variant Null() noexcept;
    static Variant FromLong(LONG value) noexcept;
    static Variant FromInt(INT value) noexcept;
    static Variant FromBool(bool value) noexcept;
    static Variant FromDouble(double value) noexcept;
    static Variant FromDate(DATE value) noexcept;
    static Variant FromText(const OLECHAR* text);
    static Variant FromText(const OleString& text);
    // Takes ownership of the string.
    static Variant FromBstr(Bstr text) noexcept;
    // Adopts what a raw variant owns; the raw variant is left EMPTY.
    static Variant Adopt(VARIANT& raw) noexcept;

    const VARIANT& Get() const noexcept { return value_; }
    VARIANT* Ptr() noexcept { return &value_; }
    VARTYPE Type() const noexcept { return value_.vt; }
    bool IsEmpty() const noexcept { return value_.vt == VT_EMPTY; }
    bool IsNull() const noexcept { return value_.vt == VT_NULL; }

    // Clears the value and returns the slot for an out parameter.
    VARIANT* Receive() noexcept;
    void Clear() noexcept;
    // The value converted with the platform's rules (flags 0); a failure raises ComError with its HRESULT.
    Variant ConvertedTo(VARTYPE type) const;

private:
    VARIANT value_;
};

}  // namespace comsupport
