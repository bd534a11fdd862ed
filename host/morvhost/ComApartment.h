// COM for the calling thread, for as long as the object lives: the host runs
// its plug-in calls in the multithreaded apartment, on any of its threads.
#pragma once
#include <windows.h>

#include "comsupport/ComError.h"

namespace morvhost {

class ComApartment {
public:
    ComApartment() {
        HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (FAILED(hr)) comsupport::ThrowComError(hr);
    }
    ~ComApartment() { CoUninitialize(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
};

}  // namespace morvhost
