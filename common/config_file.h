#pragma once
// Reading the engine's configuration file: the data-folder name in its `usbPath`
// element. These programs never write the file.
#include <windows.h>

#include <msxml2.h>

#include <string>
#include <utility>
#include <vector>

#include "win/com_ptr.h"

namespace config {

// Where the data-folder name sits: a `usbPath` element anywhere below `config`.
constexpr wchar_t kUsbPathQuery[] = L"//config//usbPath";

// One element looked up in the file. The text route fills only `text`.
struct NodeRecord {
    std::wstring xml;
    std::wstring text;
    std::wstring name;
    std::vector<std::pair<std::wstring, std::wstring>> attributes;
};

// The MSXML 6.0 DOM document, with COM initialized for the calling thread while
// it lives. `created()` is false when the XML library is not there.
class ConfigDocument {
public:
    ConfigDocument();
    ~ConfigDocument();
    ConfigDocument(const ConfigDocument&) = delete;
    ConfigDocument& operator=(const ConfigDocument&) = delete;

    bool created() const { return static_cast<bool>(document_); }

    // Loads the file and reads the first element the XPath query selects.
    // Raises win::com_error on any failure, also when no element matches
    // (a file that does not load has none).
    NodeRecord SelectNode(const std::wstring& path, const wchar_t* query);

private:
    HRESULT comInit_;
    win::com_ptr<IXMLDOMDocument> document_;
};

// The `usbPath` text of the file at `path` (the caller has made sure it exists):
// through the DOM document, which raises win::com_error when it finds no element;
// through the text search only when the document cannot be created.
std::wstring ReadConfigUsbPath(const std::wstring& path);

// The text search: the raw characters between the first "<usbPath>" and the next
// "<", bytes taken one for one as characters up to the first zero byte. Empty when
// the file cannot be read or holds no such text; never raises.
std::wstring ReadUsbPathFromText(const std::wstring& path);

}  // namespace config
