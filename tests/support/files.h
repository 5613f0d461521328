#pragma once
// Files and folders for tests that work on the real file system: unique names,
// whole-file reads and writes, scratch folders that go away with the test, and
// folder links.
#include <filesystem>
#include <string>

namespace testing_support {

// `stem` made unique to this process and call, for names in folders that tests
// running side by side share.
std::wstring UniqueName(const wchar_t* stem);

// The common application-data folder of this prefix (C:\ProgramData).
std::filesystem::path CommonAppData();

// The user's temporary folder, as GetTempPathW reports it.
std::filesystem::path TempFolder();

void WriteBytes(const std::filesystem::path& path, const std::string& bytes);
std::string ReadBytes(const std::filesystem::path& path);
bool Exists(const std::filesystem::path& path);

// A folder made anew and removed with everything in it at the end of the test.
class ScratchFolder {
public:
    explicit ScratchFolder(std::filesystem::path path);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::wstring& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

enum class LinkKind { None, Junction, UnixSymlink };

// A link at `link` to the folder `target`: a junction where the system makes
// one; under Wine, which makes neither junctions nor symbolic links (8.0), a Unix
// symbolic link, which Wine shows as a folder with the reparse-point attribute.
LinkKind MakeFolderLink(const std::filesystem::path& link, const std::filesystem::path& target);

// Removes a link made above, never its target.
void RemoveFolderLink(const std::filesystem::path& link, LinkKind kind);

}  // namespace testing_support
