// The plug-in's own identities and those of the host interfaces it answers.
#pragma once
#include <windows.h>

#include "MarlindInterfaces.h"
#include "comsupport/InterfaceId.h"

namespace marlind {

extern const CLSID kClsidMarlindPlugin;          // {EF4FCCCE-BA05-4487-B79F-914D3CBD285D}
extern const GUID kLibidMarlindLib;              // {3EDE7E36-715A-46E8-9B4E-11046CD26022}
extern const IID kIidMsgHandler;                 // {84F711A9-019D-4FBB-AD3D-F28780F7FEFE}
extern const IID kIidAgentUploadResponse;        // {41B29870-C919-4C05-8347-98903F47B8B2}

// The message type a host sends to check that the plug-in answers; it carries nothing to record.
inline constexpr const OLECHAR* kNoOpMessageType = OLESTR("ZELKMETA_NoOp");

}  // namespace marlind

COMSUPPORT_INTERFACE_ID(IMORVDCMsgHandler, marlind::kIidMsgHandler)
