// DllUnitTest: the developer's self-test. Records one event document file into
// the developer database through the same steps as an uploaded message. The
// host never calls it.
#include <windows.h>

#include <new>

#include "DeveloperConnection.h"
#include "DocumentRecorder.h"
#include "comsupport/Bstr.h"
#include "comsupport/ComError.h"
#include "dao/AdoAccess.h"
#include "dao/DBMapper.h"

namespace {

// COM on the calling thread for the test's duration; left alone when it was not ours to start.
class ComApartment {
public:
    ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT hr_;
};

ZELKDAO::ConnectionRef OpenDeveloperConnection() {
    ZELKDAO::ConnectionRef connection;
    const HRESULT hr = CoCreateInstance(ZELKDAO::kCLSID_Connection, nullptr, ZELKDAO::kAdoServerContext,
                                        ZELKDAO::kIID_Connection, connection.ReceiveVoid());
    // A Connection without _Connection leaves the reference empty: opening it raises E_POINTER.
    if (hr != E_NOINTERFACE) comsupport::Check(hr);
    const comsupport::Bstr text(marlind::kDeveloperConnectionString);
    const comsupport::Bstr user(marlind::kDeveloperUser);
    const comsupport::Bstr password(marlind::kDeveloperPassword);
    connection.Call(&_ADOConnection::Open, text.Get(), user.Get(), password.Get(),
                    static_cast<LONG>(adOptionUnspecified));
    return connection;
}

}  // namespace

// 1 when the run completed, 0 when an error ended it (its description goes to the debugger output).
extern "C" INT STDAPICALLTYPE DllUnitTest(LPCWSTR pszEventFile) {
    ComApartment apartment;
    INT result = 0;
    try {
        const ZELKDAO::ConnectionRef connection = OpenDeveloperConnection();
        ZELKXML::ECEvent document;
        document.LoadFromFile(pszEventFile);
        marlind::RecordDocument(document, connection.Get());
        result = 1;
    } catch (const comsupport::ComError& error) {
        ZELKDAO::mapper::ReportToDebugger(error.Code(), error.Description());
    } catch (const std::bad_alloc&) {
        ZELKDAO::mapper::ReportToDebugger(E_OUTOFMEMORY, comsupport::OleString());
    } catch (...) {
        ZELKDAO::mapper::ReportToDebugger(E_FAIL, comsupport::OleString());
    }
    return result;
}
