#include "tests/support/pe_resources.h"

#include <vector>

namespace {

// A resource kept by value: ids stay ids, names are copied.
struct ResourceCopy {
    ULONG_PTR typeId;
    std::string typeName;
    ULONG_PTR nameId;
    std::string name;
    WORD language;
    std::string bytes;
};

struct Collection {
    std::vector<ResourceCopy> kept;
    LPCSTR skipType;
    LPCSTR skipName;
};

bool SameId(LPCSTR a, LPCSTR b)
{
    if (IS_INTRESOURCE(a) || IS_INTRESOURCE(b))
        return a == b;
    return lstrcmpiA(a, b) == 0;
}

BOOL CALLBACK CollectLanguage(HMODULE module, LPCSTR type, LPCSTR name, WORD language,
                              LONG_PTR context)
{
    auto* collection = reinterpret_cast<Collection*>(context);
    if (SameId(type, collection->skipType) && SameId(name, collection->skipName))
        return TRUE;
    HRSRC resource = FindResourceExA(module, type, name, language);
    HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
    const char* bytes = loaded != nullptr ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (bytes == nullptr)
        return FALSE;
    ResourceCopy copy;
    copy.typeId = IS_INTRESOURCE(type) ? ULONG_PTR(type) : 0;
    copy.typeName = IS_INTRESOURCE(type) ? "" : type;
    copy.nameId = IS_INTRESOURCE(name) ? ULONG_PTR(name) : 0;
    copy.name = IS_INTRESOURCE(name) ? "" : name;
    copy.language = language;
    copy.bytes.assign(bytes, SizeofResource(module, resource));
    collection->kept.push_back(copy);
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR context)
{
    return EnumResourceLanguagesA(module, type, name, CollectLanguage, context);
}

BOOL CALLBACK CollectType(HMODULE module, LPSTR type, LONG_PTR context)
{
    return EnumResourceNamesA(module, type, CollectName, context);
}

}  // namespace

bool RemoveResource(const std::string& path, LPCSTR type, LPCSTR name)
{
    Collection collection{{}, type, name};
    HMODULE image = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (image == nullptr)
        return false;
    bool collected = EnumResourceTypesA(image, CollectType, reinterpret_cast<LONG_PTR>(&collection));
    FreeLibrary(image);
    if (!collected)
        return false;

    // Wine's UpdateResourceA with no data leaves the resource in place, so start
    // from no resources at all and add back the ones to keep.
    HANDLE update = BeginUpdateResourceA(path.c_str(), TRUE);
    if (update == nullptr)
        return false;
    for (ResourceCopy& copy : collection.kept) {
        LPCSTR copyType = copy.typeId != 0 ? MAKEINTRESOURCEA(copy.typeId) : copy.typeName.c_str();
        LPCSTR copyName = copy.nameId != 0 ? MAKEINTRESOURCEA(copy.nameId) : copy.name.c_str();
        if (!UpdateResourceA(update, copyType, copyName, copy.language, copy.bytes.data(),
                             DWORD(copy.bytes.size()))) {
            EndUpdateResourceA(update, TRUE);
            return false;
        }
    }
    return EndUpdateResourceA(update, FALSE) != FALSE;
}
