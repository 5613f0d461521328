// Deleting the engine's data folder: real trees in the common application-data
// folder, links that lead outside it, names that would leave it, paths too long
// for the walk's buffers.
#include "agent/uninstall_cleanup.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "tests/support/files.h"

namespace fs = std::filesystem;
using testing_support::CommonAppData;
using testing_support::Exists;
using testing_support::LinkKind;
using testing_support::ScratchFolder;
using testing_support::UniqueName;
using testing_support::WriteBytes;

namespace {

void MakeReadOnly(const fs::path& path) {
    ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
}

// Every test works inside a scratch folder of its own in C:\ProgramData, with a
// sentinel file beside the tree under test.
class FolderTree : public ::testing::Test {
protected:
    void SetUp() override { WriteBytes(scratch_ / L"sentinel.txt", "keep"); }

    // A data folder holding nested folders, an empty one and read-only files.
    void Populate(const fs::path& root) {
        fs::create_directories(root / L"a" / L"b" / L"c");
        fs::create_directories(root / L"empty");
        WriteBytes(root / L"top.txt", "1");
        WriteBytes(root / L"a" / L"b" / L"c" / L"deep.txt", "2");
        WriteBytes(root / L"a" / L"readonly.txt", "3");
        MakeReadOnly(root / L"a" / L"readonly.txt");
        WriteBytes(root / L"readonly-top.txt", "4");
        MakeReadOnly(root / L"readonly-top.txt");
    }

    ScratchFolder scratch_{CommonAppData() / UniqueName(L"tidepool-tree")};
};

TEST_F(FolderTree, RemovesNestedFoldersAndReadOnlyFiles) {
    const fs::path root = scratch_ / L".data1";
    Populate(root);
    EXPECT_TRUE(DeleteFolderTree(root.wstring()));
    EXPECT_FALSE(Exists(root));
    EXPECT_TRUE(Exists(scratch_ / L"sentinel.txt"));
}

TEST_F(FolderTree, FolderWithASingleEntryIsRemoved) {
    // The search's first real entry is examined too, wherever it comes in the walk.
    const fs::path root = scratch_ / L"single";
    fs::create_directories(root);
    WriteBytes(root / L"!", "x");
    EXPECT_TRUE(DeleteFolderTree(root.wstring()));
    EXPECT_FALSE(Exists(root));
}

TEST_F(FolderTree, MissingFolderIsNotAnError) {
    EXPECT_FALSE(DeleteFolderTree((scratch_ / L"absent").wstring()));
    EXPECT_TRUE(Exists(scratch_ / L"sentinel.txt"));
}

TEST_F(FolderTree, OpenFileStopsTheWalkAndLeavesTheFolder) {
    const fs::path root = scratch_ / L"busy";
    Populate(root);
    HANDLE busy = ::CreateFileW((root / L"top.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, busy);
    EXPECT_FALSE(DeleteFolderTree(root.wstring()));
    EXPECT_TRUE(Exists(root / L"top.txt"));
    ::CloseHandle(busy);
    EXPECT_TRUE(DeleteFolderTree(root.wstring()));
}

class LinkedTree : public FolderTree {
protected:
    void SetUp() override {
        FolderTree::SetUp();
        fs::create_directories(outside_ / L"inner");
        WriteBytes(outside_ / L"precious.txt", "outside");
        WriteBytes(outside_ / L"inner" / L"locked.txt", "outside");
        MakeReadOnly(outside_ / L"inner" / L"locked.txt");
    }
    void TearDown() override {
        if (kind_ != LinkKind::None) testing_support::RemoveFolderLink(link_, kind_);
        std::error_code ignored;
        fs::permissions(outside_ / L"inner" / L"locked.txt", fs::perms::owner_write, fs::perm_options::add, ignored);
    }

    void MakeLink(const fs::path& link) {
        link_ = link;
        kind_ = testing_support::MakeFolderLink(link, outside_);
        if (kind_ == LinkKind::None) GTEST_SKIP() << "no way to make a folder link here";
    }

    void ExpectOutsideUntouched() {
        EXPECT_EQ("outside", testing_support::ReadBytes(outside_ / L"precious.txt"));
        EXPECT_EQ("outside", testing_support::ReadBytes(outside_ / L"inner" / L"locked.txt"));
        EXPECT_NE(0u, ::GetFileAttributesW((outside_ / L"inner" / L"locked.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
    }

    fs::path outside_ = scratch_ / L"outside";
    fs::path link_;
    LinkKind kind_ = LinkKind::None;
};

TEST_F(LinkedTree, LinkInsideIsNeverFollowed) {
    const fs::path root = scratch_ / L".data1";
    Populate(root);
    MakeLink(root / L"a" / L"link");
    const bool removed = DeleteFolderTree(root.wstring());
    ExpectOutsideUntouched();
    if (kind_ == LinkKind::Junction) {
        EXPECT_TRUE(removed);
        EXPECT_FALSE(Exists(root));
    } else {
        // Wine 8.0 shows a Unix symbolic link as a reparse point but removes it by
        // no Win32 call, so the walk stops there and the link stays in place.
        EXPECT_FALSE(removed);
        EXPECT_TRUE(Exists(root / L"a" / L"link"));
    }
}

TEST_F(LinkedTree, DataFolderThatIsALinkIsRemovedAsALink) {
    const fs::path root = scratch_ / L".data1";
    MakeLink(root);
    const bool removed = DeleteFolderTree(root.wstring());
    ExpectOutsideUntouched();
    if (kind_ == LinkKind::Junction) {
        EXPECT_TRUE(removed);
        EXPECT_FALSE(Exists(root));
    } else {
        // As above: Wine cannot remove the link, and nothing behind it is touched.
        EXPECT_FALSE(removed);
    }
}

TEST_F(FolderTree, PathsTooLongForTheBuffersStopTheWalkSafely) {
    const fs::path root = scratch_ / L"long";
    // Built with the long-path form; every level is short, the whole is not.
    std::wstring deep = L"\\\\?\\" + root.wstring();
    ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr));
    std::vector<std::wstring> levels;
    while (deep.size() < 330) {
        deep += L"\\" + std::wstring(40, L'd');
        ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr)) << ::GetLastError();
        levels.push_back(deep);
    }
    const std::wstring deepFile = deep + L"\\file.txt";
    HANDLE file = ::CreateFileW(deepFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ::CloseHandle(file);
    // A sibling whose name alone makes the path too long.
    const std::wstring longName = L"\\\\?\\" + (root / std::wstring(250, L'n')).wstring();
    file = ::CreateFileW(longName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ::CloseHandle(file);

    EXPECT_FALSE(DeleteFolderTree(root.wstring()));
    EXPECT_TRUE(Exists(root));
    EXPECT_TRUE(Exists(scratch_ / L"sentinel.txt"));

    // Clean up what the walk left, deepest first.
    ::DeleteFileW(deepFile.c_str());
    ::DeleteFileW(longName.c_str());
    for (auto level = levels.rbegin(); level != levels.rend(); ++level) ::RemoveDirectoryW(level->c_str());
}

TEST(DataFolderName, NamesThatCouldLeaveTheFolderAreRefused) {
    for (const wchar_t* name : {L"", L"..", L"a\\..\\..", L"x/y", L"C:", L"\\", L".", L"...", L" . ", L"a\\b",
                                L"a*", L"a?", L"a\x01", L"..x"}) {
        SCOPED_TRACE(testing::Message() << "name \"" << std::string(name, name + wcslen(name)) << "\"");
        EXPECT_FALSE(IsSafeDataFolderName(name));
    }
    for (const wchar_t* name : {L"data1", L"a b", L"x.y", L"-", L"tp.data"}) {
        SCOPED_TRACE(testing::Message() << "name \"" << std::string(name, name + wcslen(name)) << "\"");
        EXPECT_TRUE(IsSafeDataFolderName(name));
    }
}

TEST_F(FolderTree, RefusedNamesDeleteNothing) {
    // A stand-in for the application-data folder two levels down, with data
    // everywhere a refused name could reach.
    const fs::path inner = scratch_ / L"inner";
    const fs::path base = inner / L"base";
    fs::create_directories(base / L".x" / L"y");
    fs::create_directories(base / L".a");
    WriteBytes(inner / L"inner.txt", "1");
    WriteBytes(base / L"base.txt", "2");
    WriteBytes(base / L".x" / L"y" / L"y.txt", "3");
    for (const wchar_t* name : {L"", L"..", L"a\\..\\..", L"x/y", L"C:", L"\\", L".", L" . "}) {
        SCOPED_TRACE(testing::Message() << "name \"" << std::string(name, name + wcslen(name)) << "\"");
        EXPECT_FALSE(DeleteDataFolder(base.wstring(), name));
        EXPECT_TRUE(Exists(scratch_ / L"sentinel.txt"));
        EXPECT_TRUE(Exists(inner / L"inner.txt"));
        EXPECT_TRUE(Exists(base / L"base.txt"));
        EXPECT_TRUE(Exists(base / L".x" / L"y" / L"y.txt"));
        EXPECT_TRUE(Exists(base / L".a"));
    }
}

TEST_F(FolderTree, DataFolderIsTheNameWithALeadingDot) {
    Populate(scratch_ / L".data1");
    fs::create_directories(scratch_ / L"data1");
    fs::create_directories(scratch_ / L".data1-other");
    EXPECT_TRUE(DeleteDataFolder(scratch_.path().wstring(), L"data1"));
    EXPECT_FALSE(Exists(scratch_ / L".data1"));
    EXPECT_TRUE(Exists(scratch_ / L"data1"));
    EXPECT_TRUE(Exists(scratch_ / L".data1-other"));
    // A second run finds nothing and does nothing.
    EXPECT_FALSE(DeleteDataFolder(scratch_.path().wstring(), L"data1"));
    EXPECT_TRUE(Exists(scratch_ / L"data1"));
}

}  // namespace
