#include "common/tandel_file_mapper.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// A name of this test process alone, so a running agent's blocks are never touched.
std::wstring BlockName(const wchar_t* suffix) {
    return L"Tandel_test_block_" + std::to_wstring(::GetCurrentProcessId()) + L"_" + suffix;
}

TEST(TandelFileMapper, FirstOpenerCreatesAZeroBlock) {
    TandelFileMapper block(BlockName(L"fresh").c_str());
    EXPECT_EQ(TandelFileMapper::Created, block.state());
    uint32_t value = 0xdeadbeef;
    EXPECT_EQ(S_OK, block.ReadValue(&value));
    EXPECT_EQ(0u, value);
}

TEST(TandelFileMapper, SecondOpenerAttachesAndCannotWrite) {
    const std::wstring name = BlockName(L"attach");
    TandelFileMapper creator(name.c_str());
    ASSERT_EQ(S_OK, creator.WriteValue(1234));

    TandelFileMapper attached(name.c_str());
    EXPECT_EQ(TandelFileMapper::Attached, attached.state());
    uint32_t value = 0xdeadbeef;
    EXPECT_EQ(S_OK, attached.ReadValue(&value));
    EXPECT_EQ(1234u, value);

    EXPECT_EQ(static_cast<HRESULT>(0x80070005), attached.WriteValue(99));
    EXPECT_EQ(S_OK, creator.ReadValue(&value));
    EXPECT_EQ(1234u, value);
}

TEST(TandelFileMapper, CreatorWritesWhatAttachedReads) {
    const std::wstring name = BlockName(L"write");
    TandelFileMapper creator(name.c_str());
    TandelFileMapper attached(name.c_str());
    ASSERT_EQ(S_OK, creator.WriteValue(0xFFFFFFFFu));
    uint32_t value = 0;
    EXPECT_EQ(S_OK, attached.ReadValue(&value));
    EXPECT_EQ(0xFFFFFFFFu, value);
}

TEST(TandelFileMapper, DestroyedBlockRefusesReadAndWrite) {
    TandelFileMapper block(BlockName(L"destroyed").c_str());
    ASSERT_EQ(S_OK, block.WriteValue(7));
    block.Destroy();
    EXPECT_EQ(TandelFileMapper::NotOpen, block.state());
    uint32_t value = 0xdeadbeef;
    EXPECT_EQ(E_ACCESSDENIED, block.ReadValue(&value));
    EXPECT_EQ(0xdeadbeefu, value);
    EXPECT_EQ(E_ACCESSDENIED, block.WriteValue(8));
    block.Destroy();  // a second destroy is harmless
}

TEST(TandelFileMapper, BlockOutlivesCreatorWhileAttachedHoldsIt) {
    const std::wstring name = BlockName(L"outlive");
    auto creator = std::make_unique<TandelFileMapper>(name.c_str());
    TandelFileMapper attached(name.c_str());
    ASSERT_EQ(S_OK, creator->WriteValue(42));
    creator.reset();
    uint32_t value = 0;
    EXPECT_EQ(S_OK, attached.ReadValue(&value));
    EXPECT_EQ(42u, value);
}

TEST(TandelFileMapper, NameThatCannotBeMappedStaysNotOpen) {
    // A name with a backslash outside a known namespace is refused by the kernel.
    TandelFileMapper block(L"No\\Such\\Namespace\\block");
    EXPECT_EQ(TandelFileMapper::NotOpen, block.state());
    uint32_t value = 0xdeadbeef;
    EXPECT_EQ(E_ACCESSDENIED, block.ReadValue(&value));
    EXPECT_EQ(E_ACCESSDENIED, block.WriteValue(1));
    EXPECT_EQ(0xdeadbeefu, value);
}

}  // namespace
