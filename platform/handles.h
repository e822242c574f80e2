// Owners for Windows handles: each is released exactly once, when its owner goes.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>

namespace kelvarid {

struct WindowDeleter {
    void operator()(HWND window) const { DestroyWindow(window); }
};
struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
struct KeyDeleter {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
struct ServiceHandleDeleter {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
struct ModuleDeleter {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
// Memory Windows hands out with LocalAlloc: security descriptors, FormatMessage's texts.
struct LocalMemoryDeleter {
    void operator()(void* memory) const { LocalFree(memory); }
};
struct SidDeleter {
    void operator()(PSID sid) const { FreeSid(sid); }
};
struct EventSourceDeleter {
    void operator()(HANDLE source) const { DeregisterEventSource(source); }
};
// A kernel handle that knows both of Windows' values for none, nullptr and INVALID_HANDLE_VALUE
// (what CreateFile returns on failure): either is empty, so `if (handle)` is true only for a
// real one.
class KernelHandle {
public:
    KernelHandle(std::nullptr_t = nullptr) {}
    KernelHandle(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    operator HANDLE() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    friend bool operator==(KernelHandle one, KernelHandle other) { return one.handle_ == other.handle_; }
    friend bool operator==(KernelHandle one, std::nullptr_t) { return one.handle_ == nullptr; }
    friend bool operator!=(KernelHandle one, KernelHandle other) { return one.handle_ != other.handle_; }
    friend bool operator!=(KernelHandle one, std::nullptr_t) { return one.handle_ != nullptr; }

private:
    HANDLE handle_ = nullptr;
};

struct KernelHandleDeleter {
    using pointer = KernelHandle;
    void operator()(KernelHandle handle) const { CloseHandle(handle); }
};
// FindFirstFile's search, which also says INVALID_HANDLE_VALUE for none.
struct FindDeleter {
    using pointer = KernelHandle;
    void operator()(KernelHandle search) const { FindClose(search); }
};

using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter>;
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;
using UniqueBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiObjectDeleter>;
using UniquePen = std::unique_ptr<std::remove_pointer_t<HPEN>, GdiObjectDeleter>;
using UniqueModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleDeleter>;
using UniqueHandle = std::unique_ptr<void, KernelHandleDeleter>;
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyDeleter>;
using UniqueServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleDeleter>;
using UniqueFind = std::unique_ptr<void, FindDeleter>;
using UniqueLocalMemory = std::unique_ptr<void, LocalMemoryDeleter>;
using UniqueDescriptor = std::unique_ptr<void, LocalMemoryDeleter>;  // a PSECURITY_DESCRIPTOR
using UniqueSid = std::unique_ptr<void, SidDeleter>;
using UniqueEventSource = std::unique_ptr<void, EventSourceDeleter>;

// A device context taken with GetDC, given back with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_ != nullptr) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// An object selected into a device context for one scope.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~Selected() { SelectObject(dc_, previous_); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A memory device context made with CreateCompatibleDC, deleted with DeleteDC.
class MemoryDc {
public:
    explicit MemoryDc(HDC like) : dc_(CreateCompatibleDC(like)) {}
    ~MemoryDc() {
        if (dc_ != nullptr) DeleteDC(dc_);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HDC dc_;
};

// A critical section, deleted with its owner, and a scope that holds it.
class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

private:
    friend class Locked;
    CRITICAL_SECTION section_;
};

class Locked {
public:
    explicit Locked(CriticalSection& lock) : lock_(lock.section_) { EnterCriticalSection(&lock_); }
    ~Locked() { LeaveCriticalSection(&lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    CRITICAL_SECTION& lock_;
};

}  // namespace kelvarid
