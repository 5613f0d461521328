#include "common/tandel_file_mapper.h"

TandelFileMapper::TandelFileMapper(const wchar_t* name) {
    mapping_.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(uint32_t), name));
    const DWORD error = ::GetLastError();
    if (!mapping_) return;
    view_.reset(::MapViewOfFile(mapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!view_) return;
    state_ = Attached;
    if (error != ERROR_ALREADY_EXISTS) {
        state_ = Created;
        *value() = 0;
    }
}

TandelFileMapper::~TandelFileMapper() { Destroy(); }

HRESULT TandelFileMapper::ReadValue(uint32_t* out) const {
    if (!view_ || (state_ != Attached && state_ != Created)) return E_ACCESSDENIED;
    *out = *value();
    return S_OK;
}

HRESULT TandelFileMapper::WriteValue(uint32_t in) {
    if (!view_ || state_ != Created) return E_ACCESSDENIED;
    *value() = in;
    return S_OK;
}

void TandelFileMapper::Destroy() {
    view_.reset();
    mapping_.reset();
    state_ = NotOpen;
}
