#ifndef KORVAND_PROTOCOL_SMART_POINTER_H
#define KORVAND_PROTOCOL_SMART_POINTER_H

#include <utility>

// Writes "SMART POINTER ASSERTION!" to the log stream and ends the process.
[[noreturn]] void SmartPointerAssertion();

// A handle on an object that keeps its own reference count. The object
// offers smart_ref() and smart_unref(); the latter releases the object
// (back to its pool, or delete) when the last reference goes.
template <class T>
class Smart_pointer {
public:
    Smart_pointer() = default;
    explicit Smart_pointer(T* p) : ptr(p) {
        if (ptr) ptr->smart_ref();
    }
    Smart_pointer(const Smart_pointer& o) : Smart_pointer(o.ptr) {}
    Smart_pointer(Smart_pointer&& o) noexcept : ptr(o.ptr) { o.ptr = nullptr; }
    ~Smart_pointer() { drop(); }

    Smart_pointer& operator=(const Smart_pointer& o) {
        assign(o.ptr);
        return *this;
    }
    Smart_pointer& operator=(Smart_pointer&& o) noexcept {
        if (this != &o) {
            drop();
            ptr = o.ptr;
            o.ptr = nullptr;
        }
        return *this;
    }
    // Drops the old reference and takes one on `p`.
    Smart_pointer& operator=(T* p) {
        assign(p);
        return *this;
    }

    T* operator->() const {
        if (!ptr) SmartPointerAssertion();
        return ptr;
    }
    T& operator*() const { return *operator->(); }
    T* get() const { return ptr; }
    bool is_null() const { return ptr == nullptr; }
    explicit operator bool() const { return ptr != nullptr; }
    void swap(Smart_pointer& o) noexcept { std::swap(ptr, o.ptr); }

protected:
    // Takes the new reference before dropping the old one, so assigning a
    // handle its own object never releases it.
    void assign(T* p) {
        if (p) p->smart_ref();
        drop();
        ptr = p;
    }
    void drop() {
        T* p = ptr;
        ptr = nullptr;
        if (p) p->smart_unref();
    }

    T* ptr = nullptr;
};

#endif
