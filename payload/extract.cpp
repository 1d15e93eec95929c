#include "payload/extract.h"

bool ExtractPayloadEntry(std::uint32_t, const char*)
{
    return false;
}
