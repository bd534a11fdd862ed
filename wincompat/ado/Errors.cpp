// The ADO errors the objects raise, with ADO's own numbers and texts; provider errors mapped to OLE
// DB codes; and Report, which leaves a failure as the thread's error information.
#include "ado/Errors.h"

#include "ado/Values.h"

namespace wincompat::ado {

AdoFailure InvalidConnection() {
    return {adErrInvalidConnection,
            u"The connection cannot be used to perform this operation. It is either closed or invalid in this "
            u"context."};
}
AdoFailure ObjectClosed() { return {adErrObjectClosed, u"Operation is not allowed when the object is closed."}; }
AdoFailure ObjectOpen() { return {adErrObjectOpen, u"Operation is not allowed when the object is open."}; }
AdoFailure NoCurrentRecord() {
    return {adErrNoCurrentRecord,
            u"Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a "
            u"current record."};
}
AdoFailure ItemNotFound() {
    return {adErrItemNotFound,
            u"Item cannot be found in the collection corresponding to the requested name or ordinal."};
}
AdoFailure InvalidArgument() {
    return {adErrInvalidArgument,
            u"Arguments are of the wrong type, are out of acceptable range, or are in conflict with one another."};
}
AdoFailure ProviderNotFound() {
    return {adErrProviderNotFound, u"Provider cannot be found. It may not be properly installed."};
}

AdoFailure FromDbError(const DbError& error) {
    std::u16string text = Utf8ToUtf16(error.what());
    switch (error.kind()) {
        case DbErrorKind::Command: return {DB_E_ERRORSINCOMMAND, text};
        case DbErrorKind::Constraint: return {DB_E_INTEGRITYVIOLATION, text};
        case DbErrorKind::Busy: return {DB_E_ABORTLIMITREACHED, text};
        case DbErrorKind::Conversion: return {DB_E_CANTCONVERTVALUE, text};
        case DbErrorKind::Open:
        case DbErrorKind::Other: break;
    }
    return {E_FAIL, text};
}

HRESULT Report(const AdoFailure& failure, const char16_t* source, REFIID iid) {
    // No description: the failing call underneath set the error information
    // already; keep it.
    if (failure.description.empty()) return failure.hr;
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create)) && create) {
        std::u16string description = failure.description;
        std::u16string sourceText = source;
        create->SetGUID(iid);
        create->SetSource(sourceText.data());
        create->SetDescription(description.data());
        IErrorInfo* info = nullptr;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info))) && info) {
            SetErrorInfo(0, info);
            info->Release();
        }
        create->Release();
    }
    return failure.hr;
}

}  // namespace wincompat::ado
