// Bounded formatting and path joins.
//
// Every message, command line and file name of the program is formatted into a
// fixed buffer by FormatBounded, which truncates silently and always leaves a
// terminated string (capacity 0 aside).  Paths are joined only by CopyPath and
// AppendPath, which never add a separator and never write past the buffer: a
// join that does not fit fails and leaves the buffer as it was, so the caller
// can skip the step that needed the path.
//
// Portable: no platform headers, so the host build tests it.
#pragma once

#include <cstddef>
#include <cstdint>

// Every path lives in a buffer of the platform's MAX_PATH characters, NUL included.
constexpr std::size_t kPathCapacity = 260;

// HRESULT-compatible status codes of FormatBounded.
constexpr std::int32_t kFormatOk = 0;                                          // S_OK
constexpr std::int32_t kFormatInvalidArg = std::int32_t(0x80070057u);          // E_INVALIDARG
constexpr std::int32_t kFormatInsufficientBuffer = std::int32_t(0x8007007Au);  // ERROR_INSUFFICIENT_BUFFER

// Largest capacity the formatter accepts, as for the platform's bounded string functions.
constexpr std::size_t kFormatMaxCapacity = 0x7FFFFFFF;

// printf-style formatting into dest[0..capacity).  Returns kFormatOk when the whole
// output fits with its NUL; kFormatInsufficientBuffer when it was cut to
// capacity - 1 characters (or formatting failed); kFormatInvalidArg for a
// capacity of 0 (buffer untouched) or above kFormatMaxCapacity (buffer emptied).
// On Windows the C runtime formats (see bounded_text.cpp), so its format rules
// are the ones checked.
#ifdef _WIN32
#define FORMAT_BOUNDED_STYLE ms_printf
#else
#define FORMAT_BOUNDED_STYLE gnu_printf
#endif
std::int32_t FormatBounded(char* dest, std::size_t capacity, const char* format, ...)
    __attribute__((format(FORMAT_BOUNDED_STYLE, 3, 4)));

// dest = source.  False, with dest unchanged, when source and its NUL do not fit.
bool CopyPath(char* dest, std::size_t capacity, const char* source);

// dest += source at dest's first NUL.  False, with dest unchanged, when the result
// and its NUL would not fit or dest holds no NUL within capacity.
bool AppendPath(char* dest, std::size_t capacity, const char* source);

template <std::size_t N>
bool CopyPath(char (&dest)[N], const char* source)
{
    return CopyPath(dest, N, source);
}

template <std::size_t N>
bool AppendPath(char (&dest)[N], const char* source)
{
    return AppendPath(dest, N, source);
}
