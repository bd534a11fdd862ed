// The device type for a platform and family (mobile, computer, printer, router or unknown), and the
// MAC text with its colons removed.
#include "model/HostValues.h"

#include "comsupport/Bstr.h"
#include "comsupport/ComError.h"
#include "model/VariantValues.h"

namespace ZELKXML {
namespace {

struct DeviceList {
    const OLECHAR* entries;  // bar-wrapped platform names
    const OLECHAR* deviceType;
};

const DeviceList kDeviceLists[] = {
    {OLESTR("|iOS|Android|Symbian|BlackBerry|"), kDeviceMobile},
    {OLESTR("|Windows|Macintosh|Linux|BSD|Sun|IRIX|HP-UX|AIX|Novell|Unix|"), kDeviceComputer},
    {OLESTR("|Printer|"), kDevicePrinter},
    {OLESTR("|Router|"), kDeviceRouter},
};

bool EqualsExactly(const TextView& text, const OLECHAR* word) noexcept {
    size_t i = 0;
    for (; i < text.length; ++i)
        if (word[i] == 0 || word[i] != text.text[i]) return false;
    return word[i] == 0;
}

// Whether "|" + name + "|" occurs in `entries`, case-sensitively.
bool ContainsBarWrapped(const OLECHAR* entries, const TextView& name) noexcept {
    for (const OLECHAR* bar = entries; *bar; ++bar) {
        if (*bar != OLECHAR('|')) continue;
        size_t i = 0;
        while (i < name.length && bar[1 + i] != 0 && bar[1 + i] == name.text[i]) ++i;
        if (i == name.length && bar[1 + i] == OLECHAR('|')) return true;
    }
    return false;
}

}  // namespace

const OLECHAR* DeviceTypeFor(const VARIANT& platform, const VARIANT& family) noexcept {
    if (platform.vt != VT_BSTR) return kDeviceUnknown;
    const TextView name = TextUpToNul(platform.bstrVal);
    if (EqualsExactly(name, OLESTR("Windows")) && family.vt == VT_BSTR && family.bstrVal &&
        EqualsExactly(TextUpToNul(family.bstrVal), OLESTR("Mobile")))
        return kDeviceMobile;
    for (const DeviceList& list : kDeviceLists) {
        if (ContainsBarWrapped(list.entries, name)) return list.deviceType;
    }
    return kDeviceUnknown;
}

comsupport::Variant NormalizeMACText(comsupport::Variant mac) {
    if (mac.Type() != VT_BSTR) return comsupport::Variant::Null();
    const BSTR text = mac.Get().bstrVal;
    const UINT length = SysStringLen(text);
    UINT colons = 0;
    for (UINT i = 0; i < length; ++i) colons += text[i] == OLECHAR(':');
    comsupport::Bstr normalized = comsupport::Bstr::Attach(SysAllocStringLen(nullptr, length - colons));
    if (!normalized.Get()) comsupport::ThrowComError(E_OUTOFMEMORY);
    UINT kept = 0;
    for (UINT i = 0; i < length; ++i) {
        if (text[i] != OLECHAR(':')) normalized.Get()[kept++] = text[i];
    }
    return comsupport::Variant::FromBstr(std::move(normalized));
}

}  // namespace ZELKXML
