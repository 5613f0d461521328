#include "common/config_file.h"

#include <memory>

#include "win/com_error.h"
#include "win/unique_resource.h"

namespace config {
namespace {

// The MSXML 6.0 DOM document; mingw's libraries lack the 6.0 class identifiers.
constexpr GUID kDomDocument60 = {0x88D96A05, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};

// A configuration file is a few kilobytes; anything past this is not one, and is
// not worth one allocation of its whole size.
constexpr DWORD kMaxTextBytes = 16u * 1024 * 1024;

std::wstring TakeString(const win::unique_bstr& text) {
    return text.get() ? std::wstring(text.get(), ::SysStringLen(text.get())) : std::wstring();
}

std::wstring ReadText(IXMLDOMNode* node, HRESULT (STDMETHODCALLTYPE IXMLDOMNode::*getter)(BSTR*)) {
    win::unique_bstr text;
    win::throw_if_failed((node->*getter)(text.put()));
    return TakeString(text);
}

}  // namespace

ConfigDocument::ConfigDocument() : comInit_(::CoInitialize(nullptr)) {
    ::CoCreateInstance(kDomDocument60, nullptr, CLSCTX_ALL, IID_IXMLDOMDocument, document_.put_void());
}

ConfigDocument::~ConfigDocument() {
    document_.reset();
    if (SUCCEEDED(comInit_)) ::CoUninitialize();
}

NodeRecord ConfigDocument::SelectNode(const std::wstring& path, const wchar_t* query) {
    win::throw_if_failed(document_->put_async(VARIANT_FALSE));
    win::unique_variant source;
    V_VT(&source) = VT_BSTR;
    V_BSTR(&source) = ::SysAllocString(path.c_str());
    if (!V_BSTR(&source)) throw win::com_error(E_OUTOFMEMORY);
    // Whether the load succeeded shows in the query below: a failed load leaves no node.
    VARIANT_BOOL loaded = VARIANT_FALSE;
    win::throw_if_failed(document_->load(source, &loaded));

    const win::unique_bstr xpath(query);
    win::com_ptr<IXMLDOMNode> node;
    win::throw_if_failed(document_->selectSingleNode(xpath.get(), node.put()));
    if (!node) throw win::com_error(HRESULT_FROM_WIN32(ERROR_NOT_FOUND));

    NodeRecord record;
    record.xml = ReadText(node.get(), &IXMLDOMNode::get_xml);
    record.text = ReadText(node.get(), &IXMLDOMNode::get_text);
    record.name = ReadText(node.get(), &IXMLDOMNode::get_nodeName);
    win::com_ptr<IXMLDOMNamedNodeMap> attributes;
    win::throw_if_failed(node->get_attributes(attributes.put()));
    long count = 0;
    if (attributes) win::throw_if_failed(attributes->get_length(&count));
    for (long i = 0; i < count; ++i) {
        win::com_ptr<IXMLDOMNode> attribute;
        win::throw_if_failed(attributes->get_item(i, attribute.put()));
        if (!attribute) throw win::com_error(E_POINTER);
        record.attributes.emplace_back(ReadText(attribute.get(), &IXMLDOMNode::get_nodeName),
                                       ReadText(attribute.get(), &IXMLDOMNode::get_text));
    }
    return record;
}

std::wstring ReadConfigUsbPath(const std::wstring& path) {
    ConfigDocument document;
    if (document.created()) return document.SelectNode(path, kUsbPathQuery).text;
    return ReadUsbPathFromText(path);
}

std::wstring ReadUsbPathFromText(const std::wstring& path) {
    win::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {};
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxTextBytes) return {};
    const DWORD wanted = static_cast<DWORD>(size.QuadPart);
    std::unique_ptr<char[]> bytes(new char[wanted]);
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes.get(), wanted, &read, nullptr)) return {};

    // The "C" locale's conversion: each byte is the character of the same value.
    std::wstring text;
    text.reserve(read);
    for (DWORD i = 0; i < read && bytes[i] != '\0'; ++i)
        text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]));

    constexpr wchar_t kOpeningTag[] = L"<usbPath>";
    const size_t tag = text.find(kOpeningTag);
    if (tag == std::wstring::npos) return {};
    const size_t start = tag + (sizeof(kOpeningTag) / sizeof(wchar_t) - 1);
    const size_t end = text.find(L'<', start);
    if (end == std::wstring::npos) return {};
    return text.substr(start, end - start);
}

}  // namespace config
