// The service steps against the real service manager, under a name of this test's
// own, so parallel tests and an installed "Tandels" are never touched.
#include "agent/service_install.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/registry.h"
#include "win/unique_resource.h"

using testing_support::ReadString;

namespace {

DWORD ReadDword(const std::wstring& path, const wchar_t* name) {
    DWORD value = 0xdeadbeef;
    DWORD bytes = sizeof(value);
    ::RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &bytes);
    return value;
}

class ServiceInstallTest : public ::testing::Test {
protected:
    ~ServiceInstallTest() override {
        RemoveService(name_, [](const wchar_t*) {});
        // Wine 8's service manager loses sight of a service once the handles of its
        // creation are closed (OpenServiceW fails with ERROR_SERVICE_DOES_NOT_EXIST), so
        // its record in the registry goes directly.
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, record_.c_str());
    }

    ServiceProblemReport Recorder() {
        return [this](const wchar_t* text) { reported_.emplace_back(text); };
    }

    // Unique also when the cases share one process: a lost service lingers in Wine's manager.
    const std::wstring name_ = L"TidepoolTest" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                               std::to_wstring(++instances_);
    static inline int instances_ = 0;
    // Where the service manager keeps the service's configuration.
    const std::wstring record_ = L"System\\CurrentControlSet\\Services\\" + name_;
    const std::wstring program_ = L"C:\\Program Files\\KX Tidepool\\Tidepool.exe";
    std::vector<std::wstring> reported_;
};

TEST_F(ServiceInstallTest, InstallCreatesTheServiceOnce) {
    ASSERT_TRUE(InstallService(name_, program_, Recorder()));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), ReadDword(record_, L"Type"));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), ReadDword(record_, L"Start"));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_NORMAL), ReadDword(record_, L"ErrorControl"));
    EXPECT_EQ(L"\"" + program_ + L"\"", ReadString(HKEY_LOCAL_MACHINE, record_, L"ImagePath"));
    EXPECT_EQ(name_, ReadString(HKEY_LOCAL_MACHINE, record_, L"DisplayName"));
    wchar_t dependencies[64] = {};
    DWORD bytes = sizeof(dependencies);
    ASSERT_EQ(ERROR_SUCCESS, ::RegGetValueW(HKEY_LOCAL_MACHINE, record_.c_str(), L"DependOnService",
                                            RRF_RT_REG_MULTI_SZ, nullptr, dependencies, &bytes));
    EXPECT_EQ(L"RPCSS", std::wstring(dependencies));
    EXPECT_EQ(L'\0', dependencies[6]);

    // A second install keeps the existing service as it is, and reports nothing.
    EXPECT_TRUE(InstallService(name_, L"C:\\elsewhere\\Tidepool.exe", Recorder()));
    EXPECT_EQ(L"\"" + program_ + L"\"", ReadString(HKEY_LOCAL_MACHINE, record_, L"ImagePath"));
    EXPECT_TRUE(reported_.empty());
}

TEST_F(ServiceInstallTest, RemoveWithoutServiceDoesNothing) {
    EXPECT_TRUE(RemoveService(name_, Recorder()));
    EXPECT_TRUE(reported_.empty());
}

TEST_F(ServiceInstallTest, FailedCreationIsReported) {
    // The service manager refuses names with a backslash.
    const std::wstring bad = L"Tidepool\\Test" + std::to_wstring(::GetCurrentProcessId());
    EXPECT_FALSE(InstallService(bad, program_, Recorder()));
    ASSERT_EQ(1u, reported_.size());
    EXPECT_EQ(L"Could not start service", reported_[0]);
}

}  // namespace
