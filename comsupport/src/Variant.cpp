// Variant's deep copies, moves and typed constructors; a copy or conversion that fails raises
// ComError.
#include "comsupport/Variant.h"

#include "comsupport/ComError.h"

namespace comsupport {

Variant::Variant(const VARIANT& raw) {
    VariantInit(&value_);
    // The SDK declares the source non-const; VariantCopy only reads it.
    Check(VariantCopy(&value_, const_cast<VARIANT*>(&raw)));
}

Variant::Variant(const Variant& other) : Variant(other.value_) {}

Variant::Variant(Variant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }

Variant& Variant::operator=(const Variant& other) {
    if (this != &other) Check(VariantCopy(&value_, const_cast<VARIANT*>(&other.value_)));
    return *this;
}

Variant& Variant::operator=(Variant&& other) noexcept {
    if (this != &other) {
        VariantClear(&value_);
        value_ = other.value_;
        VariantInit(&other.value_);
    }
    return *this;
}

Variant Variant::Null() noexcept {
    Variant v;
    v.value_.vt = VT_NULL;
    return v;
}

Variant Variant::FromLong(LONG value) noexcept {
    Variant v;
    v.value_.vt = VT_I4;
    v.value_.lVal = value;
    return v;
}

Variant Variant::FromInt(INT value) noexcept {
    Variant v;
    v.value_.vt = VT_INT;
    v.value_.intVal = value;
    return v;
}

Variant Variant::FromBool(bool value) noexcept {
    Variant v;
    v.value_.vt = VT_BOOL;
    v.value_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

Variant Variant::FromDouble(double value) noexcept {
    Variant v;
    v.value_.vt = VT_R8;
    v.value_.dblVal = value;
    return v;
}

Variant Variant::FromDate(DATE value) noexcept {
    Variant v;
    v.value_.vt = VT_DATE;
    v.value_.date = value;
    return v;
}

Variant Variant::FromText(const OLECHAR* text) { return FromBstr(Bstr(text ? text : OLESTR(""))); }

Variant Variant::FromText(const OleString& text) { return FromBstr(Bstr(text)); }

Variant Variant::FromBstr(Bstr text) noexcept {
    Variant v;
    v.value_.vt = VT_BSTR;
    v.value_.bstrVal = text.Detach();
    return v;
}

Variant Variant::Adopt(VARIANT& raw) noexcept {
    Variant v;
    v.value_ = raw;
    VariantInit(&raw);
    return v;
}

VARIANT* Variant::Receive() noexcept {
    Clear();
    return &value_;
}

void Variant::Clear() noexcept {
    VariantClear(&value_);
    VariantInit(&value_);
}

Variant Variant::ConvertedTo(VARTYPE type) const {
    Variant converted;
    Check(VariantChangeType(&converted.value_, const_cast<VARIANT*>(&value_), 0, type));
    return converted;
}

}  // namespace comsupport
