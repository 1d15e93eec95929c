// Memory, the codec's one way (see xpress.h): std::malloc and std::realloc,
// checked where the memory is asked for, and running out is the failure of
// the call that needed it.  No operator new and no growing standard
// container, so nothing throws, and a program that only decodes carries
// neither the C++ library's allocation support nor its exception support.
#pragma once

#include <cstdlib>
#include <memory>
#include <type_traits>

#include "common.h"

namespace xpress {

// `count` uninitialised objects of a plain-data type; null when out of
// memory (or when their size overflows).
template <typename T>
T* Allocate(std::size_t count = 1)
{
    static_assert(std::is_trivially_copyable<T>::value && std::is_trivially_destructible<T>::value,
                  "plain data only: nothing is constructed or destroyed");
    if (count > std::size_t(-1) / sizeof(T))
        return nullptr;
    return static_cast<T*>(std::malloc(count * sizeof(T)));
}

struct FreeMemory {
    void operator()(void* p) const { std::free(p); }
};

// Owns what Allocate returned.
template <typename T>
using Owned = std::unique_ptr<T, FreeMemory>;

// A growable array of plain data.  Only Reserve and Resize allocate, and
// report running out; Push writes within the room a Reserve made, so that
// loops that append check once per round instead of once per element.
template <typename T>
class Array {
public:
    static_assert(std::is_trivially_copyable<T>::value, "moved by realloc");

    Array() = default;
    Array(const Array&) = delete;
    Array& operator=(const Array&) = delete;
    ~Array() { std::free(data_); }

    // Room for `count` elements in all, growing by half at least, so that a
    // run of growing reserves costs linear time; false when out of memory,
    // with the elements unchanged.
    bool Reserve(std::size_t count)
    {
        if (count <= capacity_)
            return true;
        const std::size_t max = std::size_t(-1) / sizeof(T);
        if (count > max)
            return false;
        const std::size_t grown = capacity_ + capacity_ / 2;
        if (count < grown)
            count = grown < max ? grown : max;
        T* const data = static_cast<T*>(std::realloc(data_, count * sizeof(T)));
        if (data == nullptr)
            return false;
        data_ = data;
        capacity_ = count;
        return true;
    }

    // `count` elements; new ones are uninitialised.  False when out of memory.
    bool Resize(std::size_t count)
    {
        if (!Reserve(count))
            return false;
        size_ = count;
        return true;
    }

    // Appends within the room already reserved.
    XPRESS_FORCEINLINE void Push(const T& value) { data_[size_++] = value; }

    void Clear() { size_ = 0; }
    T* data() { return data_; }
    const T* data() const { return data_; }
    std::size_t size() const { return size_; }
    T& operator[](std::size_t i) { return data_[i]; }
    const T& operator[](std::size_t i) const { return data_[i]; }
    T& back() { return data_[size_ - 1]; }

private:
    T* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace xpress
