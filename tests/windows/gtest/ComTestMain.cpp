// main of the GoogleTest programs under Wine: the tests run inside the
// multithreaded apartment, so that their own threads join it implicitly.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

class MultithreadedApartment {
public:
    MultithreadedApartment() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~MultithreadedApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    MultithreadedApartment(const MultithreadedApartment&) = delete;
    MultithreadedApartment& operator=(const MultithreadedApartment&) = delete;
    HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    MultithreadedApartment apartment;
    if (FAILED(apartment.Result())) {
        std::fprintf(stderr, "CoInitializeEx failed: 0x%08lX\n", static_cast<unsigned long>(apartment.Result()));
        return 2;
    }
    return RUN_ALL_TESTS();
}
