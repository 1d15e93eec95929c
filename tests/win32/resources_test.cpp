// The resources of the built setup program, read back from the file itself:
// the wizard's dialog template field by field, the licence, icon and manifest.
#include "tests/support/setup_driver.h"
#include "tests/support/test_paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

class SetupResources : public testing::Test {
protected:
    void SetUp() override
    {
        module_ = LoadLibraryExA(SetupProgramPath().c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(nullptr, module_);
    }
    void TearDown() override { FreeLibrary(module_); }

    std::string Resource(LPCSTR type, int id)
    {
        HRSRC found = FindResourceExA(module_, type, MAKEINTRESOURCEA(id), kEnglishUs);
        if (found == nullptr)
            return std::string();
        const char* bytes = static_cast<const char*>(LockResource(LoadResource(module_, found)));
        return std::string(bytes, SizeofResource(module_, found));
    }

    HMODULE module_ = nullptr;
};

// Reads a DLGTEMPLATEEX: WORD/DWORD fields, sz_Or_Ord names, DWORD-aligned items.
class TemplateReader {
public:
    explicit TemplateReader(const std::string& bytes) : bytes_(bytes) {}
    WORD Word() { return Read<WORD>(); }
    DWORD Dword() { return Read<DWORD>(); }
    short Short() { return Read<short>(); }
    // A name or ordinal: "#<n>" for an ordinal, else the UTF-16 string as ASCII.
    std::string NameOrOrdinal()
    {
        WORD first = Word();
        if (first == 0xFFFF)
            return "#" + std::to_string(Word());
        std::string text;
        for (WORD c = first; c != 0; c = Word())
            text += char(c);
        return text;
    }
    void AlignDword() { offset_ = (offset_ + 3) & ~size_t(3); }
    bool Overrun() const { return overrun_; }

private:
    template <typename T>
    T Read()
    {
        T value{};
        if (offset_ + sizeof(T) > bytes_.size()) {
            overrun_ = true;
            return value;
        }
        std::memcpy(&value, bytes_.data() + offset_, sizeof(T));
        offset_ += sizeof(T);
        return value;
    }
    const std::string& bytes_;
    size_t offset_ = 0;
    bool overrun_ = false;
};

struct Control {
    DWORD id;
    std::string className;
    std::string text;
    DWORD style;
    short x, y, cx, cy;
};

TEST_F(SetupResources, WizardTemplateIsExactlyTheSpecifiedDialog)
{
    std::string bytes = Resource(MAKEINTRESOURCEA(5), 110);  // RT_DIALOG
    ASSERT_FALSE(bytes.empty());
    TemplateReader in(bytes);
    EXPECT_EQ(1, in.Word());       // dlgVer
    EXPECT_EQ(0xFFFF, in.Word());  // signature
    EXPECT_EQ(0u, in.Dword());     // helpID
    EXPECT_EQ(0u, in.Dword());     // exStyle
    EXPECT_EQ(0x80C808C0u, in.Dword());
    ASSERT_EQ(13, in.Word());  // cDlgItems
    EXPECT_EQ(0, in.Short());
    EXPECT_EQ(0, in.Short());
    EXPECT_EQ(317, in.Short());
    EXPECT_EQ(220, in.Short());
    EXPECT_EQ("", in.NameOrOrdinal());  // menu
    EXPECT_EQ("", in.NameOrOrdinal());  // default dialog class
    EXPECT_EQ("VEK Lumovara Remote Setup", in.NameOrOrdinal());
    EXPECT_EQ(10, in.Word());   // point size
    EXPECT_EQ(400, in.Word());  // weight
    EXPECT_EQ(0, in.Word());    // italic (BYTE) and charset (BYTE)
    EXPECT_EQ("Microsoft Sans Serif", in.NameOrOrdinal());

    const Control expected[] = {
        {1000, "#130", "Lumovara Remote Setup", 0x50000000, 10, 8, 297, 16},
        {1012, "#130", "This installer will install Lumovara Remote on this computer.", 0x50020000,
         10, 40, 297, 32},
        {1052, "#130", "License Agreement:", 0x50020000, 10, 40, 150, 10},
        {1006, "#129", "", 0x50A10844, 10, 54, 297, 90},
        {1050, "#128", "I accept the license agreement", 0x50010003, 10, 148, 250, 10},
        {1054, "#128", "Create Start Menu shortcut", 0x50010003, 10, 40, 280, 10},
        {1055, "#128", "Create Desktop shortcut", 0x50010003, 10, 60, 280, 10},
        {1057, "#128", "Install for all users", 0x50010003, 10, 80, 280, 10},
        {1042, "msctls_progress32", "Progress", 0x50800001, 10, 40, 297, 12},
        {1056, "#128", "Start Lumovara Remote", 0x50010003, 10, 95, 280, 10},
        {1051, "#130", "", 0x50020000, 10, 58, 297, 32},
        {1, "#128", "Next", 0x50010001, 150, 198, 75, 14},
        {2, "#128", "Cancel", 0x50010000, 230, 198, 75, 14},
    };
    for (const Control& control : expected) {
        SCOPED_TRACE(control.id);
        in.AlignDword();
        EXPECT_EQ(0u, in.Dword());  // helpID
        EXPECT_EQ(0u, in.Dword());  // exStyle
        EXPECT_EQ(control.style, in.Dword());
        EXPECT_EQ(control.x, in.Short());
        EXPECT_EQ(control.y, in.Short());
        EXPECT_EQ(control.cx, in.Short());
        EXPECT_EQ(control.cy, in.Short());
        EXPECT_EQ(control.id, in.Dword());
        EXPECT_EQ(control.className, in.NameOrOrdinal());
        EXPECT_EQ(control.text, in.NameOrOrdinal());
        EXPECT_EQ(0, in.Word());  // no creation data
    }
    EXPECT_FALSE(in.Overrun());
}

TEST_F(SetupResources, LicenceIsAnRtfDocumentWithTablesAndStyles)
{
    std::string licence = Resource(RT_RCDATA, 131);
    ASSERT_EQ(0u, licence.rfind("{\\rtf1\\ansi", 0));
    for (const char* part : {"{\\fonttbl", "{\\colortbl", "{\\stylesheet",
                             "End-User License Agreement", "VEK Lumovara Remote"})
        EXPECT_NE(std::string::npos, licence.find(part)) << part;
}

TEST_F(SetupResources, IconGroupAndManifestArePresent)
{
    EXPECT_FALSE(Resource(RT_GROUP_ICON, 107).empty());

    std::string manifest = Resource(MAKEINTRESOURCEA(24), 1);  // RT_MANIFEST
    for (const char* part :
         {"level=\"requireAdministrator\"", "uiAccess=\"false\"",
          "name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"",
          "processorArchitecture=\"*\"", "publicKeyToken=\"6595b64144ccf1df\"", "language=\"*\"",
          ">True/PM</dpiAware>"})
        EXPECT_NE(std::string::npos, manifest.find(part)) << part;
}

TEST(SetupProgram, IsStaticallyLinked)
{
    // No mingw runtime DLLs may be needed beside the program.
    std::string image = ReadFileBytes(SetupProgramPath());
    ASSERT_FALSE(image.empty());
    for (const char* dll : {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll"})
        EXPECT_EQ(std::string::npos, image.find(dll)) << dll;
}

}  // namespace
