// The uninstall registration read back value by value: types, data, byte counts.
#include "install/uninstall_registration.h"

#include "tests/support/registry.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VEK_LumovaraRemote";

std::string Sz(const std::string& text)
{
    return text + '\0';
}

std::string Dword(DWORD value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

class UninstallRegistration : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(DeleteRegistryTree(HKEY_LOCAL_MACHINE, kKey)); }
    void TearDown() override { DeleteRegistryTree(HKEY_LOCAL_MACHINE, kKey); }

    void ExpectValue(const char* name, DWORD type, const std::string& bytes)
    {
        SCOPED_TRACE(name);
        RegistryValue value = ReadRegistryValue(HKEY_LOCAL_MACHINE, kKey, name);
        ASSERT_TRUE(value.exists);
        EXPECT_EQ(type, value.type);
        EXPECT_EQ(bytes.size(), value.bytes.size());
        EXPECT_EQ(bytes, value.bytes);
    }
};

TEST_F(UninstallRegistration, WritesTheEightValuesWithExactTypesAndSizes)
{
    const char* path = "C:\\Program Files\\VEK\\LumovaraRemote\\Uninstall.exe";
    WriteUninstallRegistration(path, 37873);

    ExpectValue("DisplayName", REG_SZ, Sz("VEK Lumovara Remote"));  // 20 bytes
    ExpectValue("DisplayVersion", REG_SZ, Sz("2.0 release candidate 1"));  // 24 bytes
    ExpectValue("Publisher", REG_SZ, Sz("VEK"));
    std::string quoted = Sz("\"C:\\Program Files\\VEK\\LumovaraRemote\\Uninstall.exe\"");
    EXPECT_EQ(52u, quoted.size());
    ExpectValue("UninstallString", REG_SZ, quoted);
    ExpectValue("DisplayIcon", REG_SZ, quoted);
    ExpectValue("EstimatedSize", REG_DWORD, Dword(37873));
    ExpectValue("NoModify", REG_DWORD, Dword(1));
    ExpectValue("NoRepair", REG_DWORD, Dword(1));
}

TEST_F(UninstallRegistration, RewritesOurValuesAndKeepsForeignOnes)
{
    ASSERT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE, kKey, "Comments", "kept"));
    ASSERT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE, kKey, "DisplayVersion", "1.0"));
    ASSERT_TRUE(SetRegistryValue(HKEY_LOCAL_MACHINE, kKey, "EstimatedSize", REG_SZ, Sz("big")));

    WriteUninstallRegistration("C:\\Setup\\LumovaraSetup.exe", 0);

    ExpectValue("Comments", REG_SZ, Sz("kept"));
    ExpectValue("DisplayVersion", REG_SZ, Sz("2.0 release candidate 1"));
    ExpectValue("EstimatedSize", REG_DWORD, Dword(0));
    ExpectValue("UninstallString", REG_SZ, Sz("\"C:\\Setup\\LumovaraSetup.exe\""));
}

TEST_F(UninstallRegistration, TheLongestPathKeepsBothQuotes)
{
    std::string path = "C:\\" + std::string(256, 'p');  // 259 characters, the most a path holds
    WriteUninstallRegistration(path.c_str(), 1);
    ExpectValue("UninstallString", REG_SZ, Sz("\"" + path + "\""));
}

}  // namespace
