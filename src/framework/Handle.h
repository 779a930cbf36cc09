// One way to own a platform handle: closed when the owner goes out of scope
// or is given another, handed on with Detach. Each kind names its empty
// value and how it is released in a traits type.
#pragma once
#include <windows.h>

template <class Traits>
class UniqueHandle {
public:
    typedef typename Traits::Type Type;

    UniqueHandle() : m_handle(Traits::Empty()) {}
    explicit UniqueHandle(Type handle) : m_handle(handle) {}
    ~UniqueHandle() { Close(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.Detach()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        Attach(other.Detach());
        return *this;
    }

    Type Get() const { return m_handle; }
    operator Type() const { return m_handle; }
    bool Valid() const { return m_handle != Traits::Empty(); }
    // Takes ownership of handle, releasing the one held before.
    void Attach(Type handle) {
        if (handle == m_handle) return;
        Close();
        m_handle = handle;
    }
    // Gives the handle up without releasing it.
    Type Detach() {
        const Type handle = m_handle;
        m_handle = Traits::Empty();
        return handle;
    }
    // Releases the handle held; the platform's answer (true when none is held).
    bool Close() {
        if (!Valid()) return true;
        const bool closed = Traits::Release(m_handle);
        m_handle = Traits::Empty();
        return closed;
    }

protected:
    Type m_handle;
};

struct KernelHandleTraits {
    typedef HANDLE Type;
    static Type Empty() { return INVALID_HANDLE_VALUE; }
    static bool Release(Type h) { return ::CloseHandle(h) != FALSE; }
};
// The other kinds are empty when NULL.
template <class T>
struct NullEmpty {
    typedef T Type;
    static T Empty() { return NULL; }
};
struct MenuTraits : NullEmpty<HMENU> {
    static bool Release(HMENU h) { return ::DestroyMenu(h) != FALSE; }
};
template <class GdiType>
struct GdiObjectTraits : NullEmpty<GdiType> {
    static bool Release(GdiType h) { return ::DeleteObject(h) != FALSE; }
};

// A file, console or other kernel handle; INVALID_HANDLE_VALUE is empty.
typedef UniqueHandle<KernelHandleTraits> FileHandle;
typedef UniqueHandle<MenuTraits> MenuHandle;
typedef UniqueHandle<GdiObjectTraits<HBITMAP>> BitmapHandle;
typedef UniqueHandle<GdiObjectTraits<HFONT>> FontHandle;
