// What ProcessPolicy does with a policy: when its Detection section enables
// both subnet scanning and OS fingerprinting, append an Exceptions section
// listing the scan blacklist and, unless the policy asks to scan them, the
// MAC addresses of the detected systems marked as exceptions.
#pragma once
#include "QuilletIds.h"

namespace quillet {

// The texts that the handler reports through the trace facility, as they stand.
extern const char kTraceLoadFailed[];
extern const char kTraceNoRootElement[];
extern const char kTraceNoDetectionSection[];
extern const char kTraceNoScanSettings[];
extern const char kTraceScanningNotEnabled[];
extern const char kTraceNoExceptionSetting[];
extern const char kTraceExceptionsScanned[];
extern const char kTraceComFailure[];

// The two statements sent over the host's connection, exactly as sent.
extern const OLECHAR kBlacklistQuery[];
extern const OLECHAR kExceptionQuery[];

// S_OK with *xmlOut set to the edited document, or S_FALSE with *xmlOut
// untouched; never anything else, never an exception. A null xmlOut gives
// E_POINTER before any work.
HRESULT ProcessPolicyText(IUnknown* dbConnection, BSTR xmlIn, BSTR* xmlOut) noexcept;

}  // namespace quillet
