#include "common/name_probe.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

std::wstring MutexName(const wchar_t* suffix) {
    return L"Tandel_test_mutex_" + std::to_wstring(::GetCurrentProcessId()) + L"_" + suffix;
}

TEST(NameProbe, AbsentMutexIsCreatedAnewAndNotPresent) {
    const std::wstring name = MutexName(L"absent");
    names::MutexProbe probe = names::ProbeMutex(name.c_str());
    EXPECT_TRUE(probe.handle);
    EXPECT_FALSE(probe.present);
    EXPECT_TRUE(names::ProbeMutex(name.c_str()).present);  // our handle keeps it alive
    probe.handle.reset();
    EXPECT_FALSE(names::IsMutexPresent(name.c_str()));
}

TEST(NameProbe, WaitEndsWhenHolderCloses) {
    const std::wstring name = MutexName(L"closed");
    win::unique_handle holder(::CreateMutexW(nullptr, FALSE, name.c_str()));
    std::thread closer([&] {
        ::Sleep(200);
        holder.reset();
    });
    EXPECT_TRUE(names::WaitForMutexGone(name.c_str(), 10000));
    closer.join();
}

TEST(NameProbe, WaitGivesUpAfterItsBound) {
    const std::wstring name = MutexName(L"held");
    win::unique_handle holder(::CreateMutexW(nullptr, FALSE, name.c_str()));
    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(names::WaitForMutexGone(name.c_str(), 300));
    EXPECT_GE(::GetTickCount() - start, 300u);
    EXPECT_TRUE(holder);  // the waiter never closed the holder's handle
}

}  // namespace
