// Move-only owners for the platform objects the program holds. Each closes or
// frees its object on scope exit; copying is deleted.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>

#include <utility>

template <typename T, T Invalid, void (*Close)(T)>
class UniqueResource {
public:
    UniqueResource() = default;
    explicit UniqueResource(T value) : value_(value) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(std::exchange(other.value_, Invalid)) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(std::exchange(other.value_, Invalid));
        return *this;
    }
    ~UniqueResource() { reset(); }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != Invalid; }
    T release() { return std::exchange(value_, Invalid); }
    void reset(T value = Invalid) {
        if (value_ != Invalid) Close(value_);
        value_ = value;
    }
    // For out-parameters: releases the current object first.
    T* put() {
        reset();
        return &value_;
    }

private:
    T value_ = Invalid;
};

// The same for handles whose invalid value is INVALID_HANDLE_VALUE, which is
// not a constant expression and so cannot be a template argument.
template <void (*Close)(HANDLE)>
class UniqueInvalidHandle {
public:
    UniqueInvalidHandle() = default;
    explicit UniqueInvalidHandle(HANDLE value) : value_(value) {}
    UniqueInvalidHandle(const UniqueInvalidHandle&) = delete;
    UniqueInvalidHandle& operator=(const UniqueInvalidHandle&) = delete;
    UniqueInvalidHandle(UniqueInvalidHandle&& other) noexcept
        : value_(std::exchange(other.value_, INVALID_HANDLE_VALUE)) {}
    UniqueInvalidHandle& operator=(UniqueInvalidHandle&& other) noexcept {
        if (this != &other) reset(std::exchange(other.value_, INVALID_HANDLE_VALUE));
        return *this;
    }
    ~UniqueInvalidHandle() { reset(); }

    HANDLE get() const { return value_; }
    explicit operator bool() const { return value_ != INVALID_HANDLE_VALUE; }
    void reset(HANDLE value = INVALID_HANDLE_VALUE) {
        if (value_ != INVALID_HANDLE_VALUE) Close(value_);
        value_ = value;
    }

private:
    HANDLE value_ = INVALID_HANDLE_VALUE;
};

namespace owners_detail {
inline void CloseKernelHandle(HANDLE h) { ::CloseHandle(h); }
inline void CloseFindHandle(HANDLE h) { ::FindClose(h); }
inline void CloseRegKey(HKEY k) { ::RegCloseKey(k); }
inline void ReleaseModule(HMODULE m) { ::FreeLibrary(m); }
inline void FreeLocalArgv(wchar_t** p) { ::LocalFree(p); }
inline void FreeCoTaskString(wchar_t* p) { ::CoTaskMemFree(p); }
}  // namespace owners_detail

// Processes, threads, mutexes, events: closed with CloseHandle.
using UniqueHandle = UniqueResource<HANDLE, nullptr, owners_detail::CloseKernelHandle>;
// Files from CreateFileW: closed with CloseHandle.
using UniqueFileHandle = UniqueInvalidHandle<owners_detail::CloseKernelHandle>;
// FindFirstFileW: closed with FindClose.
using UniqueFindHandle = UniqueInvalidHandle<owners_detail::CloseFindHandle>;
using UniqueRegKey = UniqueResource<HKEY, nullptr, owners_detail::CloseRegKey>;
// Freed with FreeLibrary.
using UniqueModule = UniqueResource<HMODULE, nullptr, owners_detail::ReleaseModule>;
// CommandLineToArgvW's vector: freed with LocalFree.
using UniqueLocalArgv = UniqueResource<wchar_t**, nullptr, owners_detail::FreeLocalArgv>;
// Strings from SHGetKnownFolderPath and the like: freed with CoTaskMemFree.
using UniqueCoTaskString = UniqueResource<wchar_t*, nullptr, owners_detail::FreeCoTaskString>;

template <typename T>
using ComPtr = Microsoft::WRL::ComPtr<T>;
