// The plug-in's own identities and those of the host interfaces it answers,
// from the header widl makes of marlind.idl, and the message type it answers
// without recording.
#pragma once
#include <windows.h>

#include "comsupport/InterfaceId.h"
#include "marlind.h"

namespace marlind {

// The message type a host sends to check that the plug-in answers; it carries nothing to record.
inline constexpr const OLECHAR* kNoOpMessageType = OLESTR("ZELKMETA_NoOp");

}  // namespace marlind

COMSUPPORT_INTERFACE_ID(IMORVDCMsgHandler, IID_IMORVDCMsgHandler)
