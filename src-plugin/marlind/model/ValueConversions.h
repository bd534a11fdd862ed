// The two conversions the database layer applies to mapped text: addresses to
// their 16-byte binary form and event times to automation dates.
#pragma once
#include <windows.h>

#include "comsupport/Variant.h"

namespace ZELKXML {

// The 16-byte form (VT_ARRAY | VT_UI1, lower bound 0) of an address text:
//  - dotted IPv4 ("%d.%d.%d.%d", each number reduced to its low 8 bits) as the
//    IPv4-mapped address ::ffff:a.b.c.d;
//  - otherwise eight hexadecimal groups ("%x:%x:...", each reduced to 16 bits),
//    big-endian;
//  - otherwise any other valid IPv6 text (the "::" compressed forms, and a
//    dotted IPv4 tail such as ::ffff:10.1.2.3);
//  - anything else: 16 zero bytes.
// Leading white space is skipped; text after the address is ignored.
// A value that is not a string comes back as an unchanged copy (NULL stays NULL).
// A byte array that cannot be created raises comsupport::ComError(E_OUTOFMEMORY);
// one whose data cannot be reached gives NULL.
comsupport::Variant AddressTextToBytes(const VARIANT& address);

// An automation date (VT_DATE) from "yyyy-mm-ddThh:mm:ss[.mmm]" (anything after
// is ignored, a zone designator included: no time-zone adjustment). EMPTY when
// the text does not hold at least the date and the time of day; the date 0.0
// when the platform's calendar conversion rejects the fields. A null text
// counts as empty.
comsupport::Variant TimeTextToDate(const OLECHAR* text);

}  // namespace ZELKXML
