// Failures inside the ADO objects and how they leave them: every COM method
// runs its body through Guarded(), which turns an AdoFailure (or a provider's
// DbError) into the HRESULT that ADO uses and sets the thread's error
// information with the description, as ADO does. Nothing throws across the
// interface.
#pragma once
#include <windows.h>

#include <adoint.h>

#include <new>
#include <string>

#include "ado/Provider.h"

namespace wincompat::ado {

struct AdoFailure {
    HRESULT hr;
    std::u16string description;
};

// ADO's own errors, with ADO's texts.
AdoFailure InvalidConnection();  // 0x800A0E7D (3709)
AdoFailure ObjectClosed();       // 0x800A0E78 (3704)
AdoFailure ObjectOpen();         // 0x800A0E79 (3705)
AdoFailure NoCurrentRecord();    // 0x800A0BCD (3021)
AdoFailure ItemNotFound();       // 0x800A0CC1 (3265)
AdoFailure InvalidArgument();    // 0x800A0BB9 (3001)
AdoFailure ProviderNotFound();   // 0x800A0E7A (3706)

// A provider's failure in ADO's terms: statements the database refuses are
// DB_E_ERRORSINCOMMAND with the database's message, constraint violations
// DB_E_INTEGRITYVIOLATION, waiting out the busy timeout DB_E_ABORTLIMITREACHED.
AdoFailure FromDbError(const DbError& error);

// Sets the thread's error information; returns failure.hr.
HRESULT Report(const AdoFailure& failure, const char16_t* source, REFIID iid);

template <class Body>
HRESULT Guarded(const char16_t* source, REFIID iid, Body&& body) noexcept {
    try {
        return body();
    } catch (const AdoFailure& failure) {
        return Report(failure, source, iid);
    } catch (const DbError& error) {
        return Report(FromDbError(error), source, iid);
    } catch (const std::bad_alloc&) {
        return Report({E_OUTOFMEMORY, u"Out of memory."}, source, iid);
    } catch (...) {
        return Report({E_UNEXPECTED, u"Unexpected failure."}, source, iid);
    }
}

// Throws AdoFailure for a failing HRESULT of a COM call made inside a body.
inline void Check(HRESULT hr) {
    if (FAILED(hr)) throw AdoFailure{hr, u""};
}

}  // namespace wincompat::ado
