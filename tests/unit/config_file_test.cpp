// The data-folder name in the configuration file, by the DOM document and by
// the text search, and what bad files do to each.
#include "common/config_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/support/files.h"
#include "win/com_error.h"

namespace fs = std::filesystem;
using testing_support::ScratchFolder;
using testing_support::TempFolder;
using testing_support::UniqueName;
using testing_support::WriteBytes;

namespace {

class ConfigFile : public ::testing::Test {
protected:
    fs::path Write(const std::string& bytes) {
        const fs::path path = folder_ / (L"config" + std::to_wstring(++count_) + L".xml");
        WriteBytes(path, bytes);
        return path;
    }

    // The DOM route's result, or "raised" when it raised a COM error.
    static std::wstring DomResult(const fs::path& path) {
        try {
            config::ConfigDocument document;
            EXPECT_TRUE(document.created()) << "the MSXML 6.0 DOM document is needed here";
            return document.SelectNode(path.wstring(), config::kUsbPathQuery).text;
        } catch (const win::com_error&) {
            return L"raised";
        }
    }

    ScratchFolder folder_{TempFolder() / UniqueName(L"tidepool-config")};
    int count_ = 0;
};

TEST_F(ConfigFile, PlainWordIsReadByEitherRoute) {
    const fs::path path = Write("<?xml version=\"1.0\"?>\n<config>\n  <usbPath>data1</usbPath>\n</config>\n");
    EXPECT_EQ(L"data1", DomResult(path));
    EXPECT_EQ(L"data1", config::ReadUsbPathFromText(path.wstring()));
    // The XML library is present here, so the lookup takes the DOM route.
    EXPECT_EQ(L"data1", config::ReadConfigUsbPath(path.wstring()));
}

TEST_F(ConfigFile, EachRouteReadsItsOwnWay) {
    struct Case {
        std::string file;
        const wchar_t* dom;
        const wchar_t* text;
    } cases[] = {
        {"<config><usbPath>a b</usbPath></config>", L"a b", L"a b"},
        // The text route takes raw characters: no entity decoding.
        {"<config><usbPath>x&amp;y</usbPath></config>", L"x&y", L"x&amp;y"},
        // It wants the exact opening tag, so an empty-element tag gives nothing.
        {"<config><usbPath/></config>", L"", L""},
        {"<config><usbPath/><x><usbPath>late</usbPath></x></config>", L"", L"late"},
        {"<config><usbPath kind=\"a\">w</usbPath></config>", L"w", L""},
        // Deeper below config still counts; the first in document order wins.
        {"<root><config><a><usbPath>deep</usbPath></a><usbPath>second</usbPath></config></root>", L"deep", L"deep"},
        // Outside a config element the DOM route finds no node.
        {"<settings><usbPath>stray</usbPath></settings>", L"raised", L"stray"},
        {"<config><other>data1</other></config>", L"raised", L""},
        {"<config><usbPath>open", L"raised", L""},
        {"not xml at all <usbPath>word<", L"raised", L"word"},
        {"", L"raised", L""},
        // A zero byte ends the text route's text.
        {std::string("<config><usbPath>before\0after</usbPath></config>",
                     sizeof("<config><usbPath>before\0after</usbPath></config>") - 1),
         L"raised", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.c_str());
        const fs::path path = Write(c.file);
        EXPECT_EQ(c.dom, DomResult(path));
        EXPECT_EQ(c.text, config::ReadUsbPathFromText(path.wstring()));
    }
}

TEST_F(ConfigFile, TextRouteTakesEachByteAsOneCharacter) {
    const fs::path path = Write("<usbPath>caf\xe9\x80</usbPath>");
    EXPECT_EQ(std::wstring(L"caf\u00e9\u0080"), config::ReadUsbPathFromText(path.wstring()));
}

TEST_F(ConfigFile, NodeRecordHoldsXmlTextNameAndAttributesInOrder) {
    const fs::path path = Write("<config><usbPath b=\"2\" a=\"1\">data1</usbPath></config>");
    config::ConfigDocument document;
    ASSERT_TRUE(document.created());
    const config::NodeRecord record = document.SelectNode(path.wstring(), config::kUsbPathQuery);
    EXPECT_EQ(L"data1", record.text);
    EXPECT_EQ(L"usbPath", record.name);
    EXPECT_NE(std::wstring::npos, record.xml.find(L"<usbPath")) << "xml: " << std::string(record.xml.begin(), record.xml.end());
    ASSERT_EQ(2u, record.attributes.size());
    EXPECT_EQ(L"b", record.attributes[0].first);
    EXPECT_EQ(L"2", record.attributes[0].second);
    EXPECT_EQ(L"a", record.attributes[1].first);
    EXPECT_EQ(L"1", record.attributes[1].second);
}

TEST_F(ConfigFile, MissingUsbPathRaisesOnTheDomRoute) {
    const fs::path path = Write("<config><dataPath>data1</dataPath></config>");
    EXPECT_THROW(config::ReadConfigUsbPath(path.wstring()), win::com_error);
}

TEST_F(ConfigFile, DocumentReleasesComHoweverTheLookupEnds) {
    const fs::path good = Write("<config><usbPath>data1</usbPath></config>");
    const fs::path bad = Write("<config/>");
    EXPECT_EQ(L"data1", config::ReadConfigUsbPath(good.wstring()));
    EXPECT_THROW(config::ReadConfigUsbPath(bad.wstring()), win::com_error);
    // Were the thread still in the document's apartment, this would fail with RPC_E_CHANGED_MODE.
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(S_OK, hr);
    if (SUCCEEDED(hr)) ::CoUninitialize();
}

TEST_F(ConfigFile, JunkAndHugeFilesDoNotCrashEitherRoute) {
    std::string junk(64 * 1024, '\0');
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>((i * 7919u + 13u) % 256u);
    const fs::path binary = Write(junk);
    EXPECT_EQ(L"raised", DomResult(binary));
    config::ReadUsbPathFromText(binary.wstring());

    // A large file that still holds the element near its end is read by the text route.
    const fs::path large = Write(std::string(4 * 1024 * 1024, ' ') + "<config><usbPath>far</usbPath></config>");
    EXPECT_EQ(L"far", config::ReadUsbPathFromText(large.wstring()));
    EXPECT_EQ(L"far", DomResult(large));

    // Past any sensible size the text route does not try: empty, no crash.
    const fs::path huge = folder_ / L"huge.xml";
    WriteBytes(huge, "<config><usbPath>data1</usbPath></config>");
    {
        HANDLE file = ::CreateFileW(huge.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        LARGE_INTEGER size;
        size.QuadPart = 64ll * 1024 * 1024;
        EXPECT_TRUE(::SetFilePointerEx(file, size, nullptr, FILE_BEGIN));
        EXPECT_TRUE(::SetEndOfFile(file));
        ::CloseHandle(file);
    }
    EXPECT_EQ(L"", config::ReadUsbPathFromText(huge.wstring()));
}

TEST_F(ConfigFile, TextRouteOfAMissingOrLockedFileIsEmpty) {
    EXPECT_EQ(L"", config::ReadUsbPathFromText((folder_ / L"absent.xml").wstring()));
    const fs::path locked = Write("<usbPath>data1</usbPath>");
    HANDLE writer = ::CreateFileW(locked.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    EXPECT_EQ(L"", config::ReadUsbPathFromText(locked.wstring()));
    ::CloseHandle(writer);
    EXPECT_EQ(L"data1", config::ReadUsbPathFromText(locked.wstring()));
}

}  // namespace
