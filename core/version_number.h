// Version numbers as Windows compares them: major.minor.build.revision.
//
// Portable: no platform headers, so the host build tests it.
#pragma once

#include <cstdint>

struct VersionNumber {
    std::uint32_t parts[4] = {};  // major, minor, build, revision

    // -1, 0 or 1 as this version is lower than, equal to or higher than other.
    constexpr int Compare(const VersionNumber& other) const
    {
        for (int i = 0; i < 4; ++i)
            if (parts[i] != other.parts[i])
                return parts[i] < other.parts[i] ? -1 : 1;
        return 0;
    }
};

// Reads up to `count` numbers of 1 to 5 digits parted by dots from the start of
// text; the rest of the version is 0.  With `whole`, exactly `count` numbers and
// nothing after them; otherwise the numbers must be followed by the end, a
// blank or a dot ("2.0 release candidate 1", "2.0.3").  False when text does
// not begin so, *version then all 0.
constexpr bool ParseVersionNumber(const char* text, int count, bool whole, VersionNumber* version)
{
    *version = VersionNumber();
    for (int i = 0; i < count; ++i) {
        if (i > 0 && *text++ != '.')
            return false;
        int digits = 0;
        for (; *text >= '0' && *text <= '9' && digits < 6; ++text, ++digits)
            version->parts[i] = version->parts[i] * 10 + std::uint32_t(*text - '0');
        if (digits == 0 || digits > 5) {
            *version = VersionNumber();
            return false;
        }
    }
    bool ends = *text == '\0' || (!whole && (*text == ' ' || *text == '.'));
    if (!ends)
        *version = VersionNumber();
    return ends;
}
