#pragma once
// Base of our windows: binds the C++ object to its window at WM_NCCREATE,
// dispatches every message to Derived::HandleMessage, and unbinds at WM_NCDESTROY.
#include <windows.h>

namespace win {

template <typename Derived>
class Window {
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window() {
        if (!hwnd_) return;
        // Derived is gone already: the last messages go to the default procedure.
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }

    HWND hwnd() const { return hwnd_; }

protected:
    // Registers Derived::kClassName once and creates the window; false on failure.
    bool CreateWindowOf(HWND parent, DWORD style, DWORD exStyle = 0, const wchar_t* caption = nullptr) {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = Derived::kClassName;
        if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
        return ::CreateWindowExW(exStyle, Derived::kClassName, caption, style, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, parent, nullptr, wc.hInstance, this) != nullptr;
    }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            self->hwnd_ = hwnd;
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
        auto* self = reinterpret_cast<Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!self) return ::DefWindowProcW(hwnd, message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            self->hwnd_ = nullptr;
            return ::DefWindowProcW(hwnd, message, wParam, lParam);
        }
        return static_cast<Derived*>(self)->HandleMessage(message, wParam, lParam);
    }

    HWND hwnd_ = nullptr;
};

}  // namespace win
