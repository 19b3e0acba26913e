#pragma once

#include <windows.h>

namespace platform {

// Owns one system handle and gives it back to the system when it goes out of scope. `Traits`
// names the handle type, which values hold nothing, and how it is given back.
template <class Traits>
class Owned {
 public:
  using Handle = typename Traits::Handle;

  explicit Owned(Handle handle = nullptr) : handle_(handle) {}
  ~Owned() { Reset(); }
  Owned(Owned&& other) noexcept : handle_(other.Release()) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return Traits::Holds(handle_); }
  Handle Release() {
    Handle released = handle_;
    handle_ = nullptr;
    return released;
  }
  void Reset(Handle handle = nullptr) {
    if (*this) Traits::Close(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_;
};

struct KernelHandleTraits {
  using Handle = HANDLE;
  static bool Holds(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};

// Handles that hold nothing when null, given back by `close`.
template <class HandleType, auto close>
struct NullEmptyTraits {
  using Handle = HandleType;
  static bool Holds(Handle handle) { return handle != nullptr; }
  static void Close(Handle handle) { close(handle); }
};

// Defined beside their users, so that this header needs neither WinINet's nor BCrypt's.
void CloseInternetHandle(void* handle);
void CloseCryptAlgorithm(void* handle);
void DestroyCryptHash(void* handle);
void DestroyCryptKey(void* handle);

// Stock objects are shared by the whole system and must never be put in one of these.
template <class GdiHandle>
using GdiObjectTraits = NullEmptyTraits<GdiHandle, DeleteObject>;

using OwnedHandle = Owned<KernelHandleTraits>;
// WinINet's session, connection and request handles; BCrypt's algorithm providers, hashes
// and keys.
using OwnedInternetHandle = Owned<NullEmptyTraits<void*, CloseInternetHandle>>;
using OwnedCryptAlgorithm = Owned<NullEmptyTraits<void*, CloseCryptAlgorithm>>;
using OwnedCryptHash = Owned<NullEmptyTraits<void*, DestroyCryptHash>>;
using OwnedCryptKey = Owned<NullEmptyTraits<void*, DestroyCryptKey>>;
using OwnedBitmap = Owned<GdiObjectTraits<HBITMAP>>;
using OwnedRegion = Owned<GdiObjectTraits<HRGN>>;
// A device context of CreateCompatibleDC.
using OwnedMemoryDC = Owned<NullEmptyTraits<HDC, DeleteDC>>;

// The device context of a window (or of the screen, for no window) from GetDC.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDC() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;

  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// An object selected into a device context for the life of this one; the object that was
// selected before comes back afterwards, so the object can then be deleted.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~Selection() {
    if (previous_ != nullptr && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
  }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

  bool ok() const { return previous_ != nullptr && previous_ != HGDI_ERROR; }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// A counted reference to a COM object: one Release for each reference it holds.
template <class Interface>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { Reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  Interface* get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  // Takes a reference of its own on `object` and drops the one it held.
  void Share(Interface* object) {
    if (object != nullptr) object->AddRef();
    Reset();
    pointer_ = object;
  }
  // For a call that hands a reference out through its last argument.
  Interface** Receive() {
    Reset();
    return &pointer_;
  }
  void Reset() {
    Interface* held = pointer_;
    pointer_ = nullptr;
    if (held != nullptr) held->Release();
  }

 private:
  Interface* pointer_ = nullptr;
};

}  // namespace platform
