#include "common/engine_client.h"

#include <winhttp.h>

#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "win/com_error.h"
#include "win/text.h"
#include "win/unique_resource.h"

namespace {

constexpr wchar_t kHost[] = L"localhost";
constexpr INTERNET_PORT kPort = 8182;

// A busy engine answers a database query in well under a minute; a hung one must
// not hold the agent's main thread for ever.
constexpr int kResolveTimeoutMs = 5000;
constexpr int kConnectTimeoutMs = 5000;
constexpr int kSendTimeoutMs = 15000;
constexpr int kReceiveTimeoutMs = 60000;

// How long an asynchronous request may hold its caller until it is sent.
constexpr DWORD kAsyncSendWaitMs = 1000;

// Replies are small JSON texts; a larger one is refused instead of exhausting memory.
constexpr size_t kMaxReplyBytes = 64u << 20;

using unique_hinternet = win::unique_resource<win::null_traits<HINTERNET, ::WinHttpCloseHandle>>;

[[noreturn]] void ThrowLastError() { throw win::com_error(win::hresult_from_last_error()); }

DWORD StatusCode(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
        return 0;
    }
    return status;
}

std::string ReadBody(HINTERNET request) {
    std::string body;
    char buffer[16384];
    for (;;) {
        DWORD read = 0;
        if (!::WinHttpReadData(request, buffer, sizeof(buffer), &read)) ThrowLastError();
        if (read == 0) return body;
        if (body.size() + read > kMaxReplyBytes) throw win::com_error(HRESULT_FROM_WIN32(ERROR_BUFFER_OVERFLOW));
        body.append(buffer, read);
    }
}

}  // namespace

HRESULT XMLHttpWrapper::Send(const void* data, DWORD length, bool async) {
    std::string body(static_cast<const char*>(data), data ? length : 0);
    if (!async) {
        Perform(body, nullptr);
        return S_OK;
    }
    // The caller goes on once the request is on its way, so what it does next
    // (ending the engine, say) reaches the engine after the request. The thread
    // owns its own copy of the request and frees it when done.
    auto sent = std::make_shared<win::unique_handle>(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!*sent) throw win::com_error(win::hresult_from_last_error());
    auto request = std::make_unique<XMLHttpWrapper>(*this);
    try {
        std::thread([request = std::move(request), body = std::move(body), sent] {
            try {
                request->Perform(body, sent->get());
            } catch (const win::com_error&) {
                // Nobody waits for an asynchronous request's outcome.
            }
            ::SetEvent(sent->get());
        }).detach();
    } catch (const std::system_error&) {
        throw win::com_error(E_OUTOFMEMORY);
    }
    ::WaitForSingleObject(sent->get(), kAsyncSendWaitMs);
    return S_OK;
}

void XMLHttpWrapper::Perform(const std::string& body, HANDLE sent) {
    unique_hinternet session(::WinHttpOpen(L"Tidepool", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                           WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) ThrowLastError();
    ::WinHttpSetTimeouts(session.get(), kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs,
                         kReceiveTimeoutMs);
    unique_hinternet connection(::WinHttpConnect(session.get(), kHost, kPort, 0));
    if (!connection) ThrowLastError();

    const std::wstring path = win::Widen(path_);
    unique_hinternet request(::WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr,
                                                  WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                  WINHTTP_FLAG_ESCAPE_DISABLE |
                                                      WINHTTP_FLAG_ESCAPE_DISABLE_QUERY));
    if (!request) ThrowLastError();

    // Content-Type first, then the caller's headers in the order of their names.
    // WinHTTP writes Content-Length itself, and only when there is a body.
    std::wstring headers = L"Content-Type: text\r\n";
    for (const auto& [name, value] : headers_) headers += win::Widen(name) + L": " + win::Widen(value) + L"\r\n";
    if (!::WinHttpAddRequestHeaders(request.get(), headers.c_str(), static_cast<DWORD>(-1L),
                                    WINHTTP_ADDREQ_FLAG_ADD)) {
        ThrowLastError();
    }

    void* data = body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data());
    const DWORD size = static_cast<DWORD>(body.size());
    if (!::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, data, size, size, 0))
        ThrowLastError();
    if (sent) ::SetEvent(sent);
    if (!::WinHttpReceiveResponse(request.get(), nullptr)) ThrowLastError();

    std::string reply = ReadBody(request.get());
    if (StatusCode(request.get()) != 200) return;
    // The reply ends at its first zero byte.
    reply.resize(std::char_traits<char>::length(reply.c_str()));
    reply_ = win::Widen(reply);
}

HRESULT SendEngineRequest(const std::string& path, const std::string& body, std::wstring* reply, bool async) {
    XMLHttpWrapper wrapper;
    wrapper.SetPath(path);
    wrapper.SetHeader("Accept", "text");
    HRESULT hr = wrapper.Send(body.data(), static_cast<DWORD>(body.size()), async);
    if (reply) *reply = wrapper.GetReplyText();
    return hr;
}
