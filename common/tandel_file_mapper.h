#pragma once
// Owner of one named 4-byte shared memory block. Only the process that created a
// block may write it, so one that merely attached never overwrites the creator's value.
#include <windows.h>

#include <cstdint>

#include "win/unique_resource.h"

class TandelFileMapper {
public:
    enum State : int32_t { NotOpen = 0xFFFFF, Attached = 0, Created = 2 };

    explicit TandelFileMapper(const wchar_t* name);
    virtual ~TandelFileMapper();
    TandelFileMapper(const TandelFileMapper&) = delete;
    TandelFileMapper& operator=(const TandelFileMapper&) = delete;

    // E_ACCESSDENIED, output untouched, unless the block is open.
    HRESULT ReadValue(uint32_t* value) const;
    // E_ACCESSDENIED unless this object created the block.
    HRESULT WriteValue(uint32_t value);
    // Unmaps and closes; the object is NotOpen from then on.
    void Destroy();

    State state() const { return state_; }

private:
    uint32_t* value() const { return static_cast<uint32_t*>(view_.get()); }

    win::unique_view view_;
    win::unique_handle mapping_;
    State state_ = NotOpen;
};
