#include "core/bounded_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

std::int32_t FormatBounded(char* dest, std::size_t capacity, const char* format, ...)
{
    if (capacity == 0)
        return kFormatInvalidArg;
    if (capacity > kFormatMaxCapacity) {
        dest[0] = '\0';
        return kFormatInvalidArg;
    }

    va_list args;
    va_start(args, format);
#ifdef _WIN32
    // The C runtime's own formatter: the C++ library's vsnprintf brings a
    // printf of its own, floating point included, into the program.
    // _vsnprintf returns -1 when the output is cut and terminates only an
    // output shorter than the count, so it gets capacity - 1 and we terminate.
    int written = _vsnprintf(dest, capacity - 1, format, args);
    va_end(args);
    dest[capacity - 1] = '\0';
    return written < 0 ? kFormatInsufficientBuffer : kFormatOk;
#else
    int written = std::vsnprintf(dest, capacity, format, args);
    va_end(args);

    // vsnprintf already cut the output to capacity - 1 characters and terminated it;
    // a negative result (an encoding error) leaves the buffer undefined, so empty it.
    if (written < 0) {
        dest[0] = '\0';
        return kFormatInsufficientBuffer;
    }
    if (std::size_t(written) >= capacity)
        return kFormatInsufficientBuffer;
    return kFormatOk;
#endif
}

bool CopyPath(char* dest, std::size_t capacity, const char* source)
{
    std::size_t length = std::strlen(source);
    if (length >= capacity)
        return false;
    std::memcpy(dest, source, length + 1);
    return true;
}

bool AppendPath(char* dest, std::size_t capacity, const char* source)
{
    const void* end = std::memchr(dest, '\0', capacity);
    if (end == nullptr)
        return false;
    std::size_t used = std::size_t(static_cast<const char*>(end) - dest);
    std::size_t length = std::strlen(source);
    if (length >= capacity - used)
        return false;
    std::memcpy(dest + used, source, length + 1);
    return true;
}
