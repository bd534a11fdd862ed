// The test program's set-up: a private registry folder and COM on the main
// thread, before any test runs; Quillet registered from its own library.
#include <gtest/gtest.h>

#include <cstdlib>

#include "QuilletTestSupport.h"

namespace quillet_test {
namespace {

class QuilletEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        setenv("WINCOMPAT_REGISTRY_DIR", folder_.File("registry").c_str(), 1);
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        ASSERT_EQ(DllRegisterServer(), S_OK);
    }
    void TearDown() override {
        DllUnregisterServer();
        CoUninitialize();
    }
    quillet_test::TempFolder folder_;
};

QuilletEnvironment* const g_environment =
    static_cast<QuilletEnvironment*>(::testing::AddGlobalTestEnvironment(new QuilletEnvironment));

}  // namespace

const std::string& RegistryFolder() {
    static const std::string folder = g_environment->folder_.File("registry");
    return folder;
}

comsupport::ComRef<IMORVAgentPolicyHandler> ActivateQuillet() {
    return comsupport::ComRef<IMORVAgentPolicyHandler>::Create(CLSID_QuilletObj);
}

}  // namespace quillet_test
