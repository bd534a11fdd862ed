// The two values derived from a machine description: the device type of its
// operating system and the normalised MAC text.
#pragma once
#include <windows.h>

#include "comsupport/Variant.h"

namespace ZELKXML {

// The device-type words (always one of these five).
inline constexpr const OLECHAR* kDeviceMobile = OLESTR("mobile");
inline constexpr const OLECHAR* kDeviceComputer = OLESTR("computer");
inline constexpr const OLECHAR* kDevicePrinter = OLESTR("printer");
inline constexpr const OLECHAR* kDeviceRouter = OLESTR("router");
inline constexpr const OLECHAR* kDeviceUnknown = OLESTR("unknown");

// Classifies an operating system by its platform (and, for Windows, its family).
// The platform must be a string, otherwise "unknown". "Windows" with the family
// "Mobile" is "mobile"; otherwise "|platform|" is looked for, case-sensitively,
// in the mobile, computer, printer and router lists in turn, so a platform
// matches whole list entries only ("Win" matches nothing, "Linux|BSD" matches).
const OLECHAR* DeviceTypeFor(const VARIANT& platform, const VARIANT& family) noexcept;

// The MAC text with every ':' left out (everything else kept as it is); NULL
// for anything that is not a string. A failed allocation raises
// comsupport::ComError(E_OUTOFMEMORY).
comsupport::Variant NormalizeMACText(comsupport::Variant mac);

}  // namespace ZELKXML
