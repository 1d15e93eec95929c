// Product constants and the installation layout built from them.
//
// Every name, version, key and file name of the product is fixed here at build
// time; nothing is read from the command line or from configuration.  This is
// the one place that names the product: the resource texts, the version
// resource and the messages are made from these constants by the build
// (app/CMakeLists.txt), and the checks at the end of this file refuse constants
// that do not agree with one another.
#pragma once

#include <cstddef>
#include <initializer_list>

#include "core/version_number.h"

constexpr char ProductName[] = "VEK Lumovara Remote";
constexpr char ProductVersion[] = "2.0 release candidate 1";
// The version as Windows compares versions (major.minor.build.revision), shown in
// the setup program's file properties: release candidate n of 2.0 is 2.0.0.n, and
// 2.0 itself will be 2.0.1.0, above every candidate.
constexpr char ProductVersionNumber[] = "2.0.0.1";
constexpr char PublisherName[] = "VEK";
// One setup of the product at a time, on the whole machine: the setup program
// and the uninstaller hold this mutex for as long as they run.
constexpr char SetupMutexName[] = "Global\\VEK_LumovaraRemote_Setup";
constexpr char SetupTitle[] = "VEK Lumovara Remote Setup";
constexpr char UninstallKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VEK_LumovaraRemote";

// Suffixes carry their own leading backslash; paths are joined without separators.
constexpr char VendorSubdir[] = "\\VEK";
constexpr char InstallSubdir[] = "\\VEK\\LumovaraRemote";
constexpr char InstallStem[] = "\\VEK\\LumovaraRemote\\LumovaraRemote";
constexpr char AppExeExtension[] = ".exe";
constexpr char HelpFileExtension[] = ".chm";
constexpr char ShortcutFileName[] = "\\VEK Lumovara Remote.lnk";
constexpr char AppExeName[] = "LumovaraRemote.exe";
constexpr char UninstallerName[] = "Uninstall.exe";
constexpr char UninstallerSuffix[] = "\\Uninstall.exe";

// The installed version is read back from the registry into this many bytes.
constexpr std::size_t kVersionCapacity = 32;

// ProductVersionNumber as numbers; the configure has checked its form.
constexpr VersionNumber ProductVersionNumbers()
{
    VersionNumber version;
    ParseVersionNumber(ProductVersionNumber, 4, true, &version);
    return version;
}

// The product's name without the maker, as the wizard and the legacy question say it.
constexpr const char* ProductNameWithoutMaker = ProductName + sizeof PublisherName;

namespace product_checks {

// True when text is exactly the parts one after the other.
constexpr bool IsJoinOf(const char* text, std::initializer_list<const char*> parts)
{
    for (const char* part : parts)
        for (; *part != '\0'; ++part, ++text)
            if (*text != *part)
                return false;
    return *text == '\0';
}

// The text behind the last backslash.
constexpr const char* LastComponent(const char* path)
{
    const char* last = path;
    for (; *path != '\0'; ++path)
        if (*path == '\\')
            last = path + 1;
    return last;
}

constexpr const char* kInstallFolder = LastComponent(InstallSubdir);
constexpr const char* kStem = LastComponent(InstallStem);

}  // namespace product_checks

static_assert(product_checks::IsJoinOf(ProductName, {PublisherName, " ", ProductNameWithoutMaker}),
              "ProductName is PublisherName, a blank and the name without the maker");
static_assert(product_checks::IsJoinOf(SetupTitle, {ProductName, " Setup"}),
              "SetupTitle is ProductName followed by \" Setup\"");
static_assert(product_checks::IsJoinOf(ShortcutFileName, {"\\", ProductName, ".lnk"}),
              "ShortcutFileName is ProductName as a .lnk file");
static_assert(product_checks::IsJoinOf(VendorSubdir, {"\\", PublisherName}),
              "VendorSubdir is the folder named PublisherName");
static_assert(*product_checks::kInstallFolder != '\0' &&
                  product_checks::IsJoinOf(InstallSubdir, {VendorSubdir, "\\", product_checks::kInstallFolder}),
              "InstallSubdir is one folder inside VendorSubdir");
static_assert(product_checks::IsJoinOf(InstallStem, {InstallSubdir, "\\", product_checks::kStem}),
              "InstallStem is a file stem inside InstallSubdir");
static_assert(product_checks::IsJoinOf(AppExeName, {product_checks::kStem, AppExeExtension}),
              "InstallStem ends with the stem of AppExeName");
static_assert(product_checks::IsJoinOf(UninstallKeyPath, {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\",
                                                          PublisherName, "_", product_checks::kInstallFolder}),
              "the uninstall key is named PublisherName_ and the install folder");
static_assert(product_checks::IsJoinOf(UninstallerSuffix, {"\\", UninstallerName}),
              "UninstallerSuffix is UninstallerName with its backslash");
static_assert(product_checks::IsJoinOf(SetupMutexName,
                                       {"Global\\", PublisherName, "_", product_checks::kInstallFolder, "_Setup"}),
              "the setup's mutex is named after the uninstall key, in the global namespace");
static_assert(
    [] {
        VersionNumber number, text;
        return ParseVersionNumber(ProductVersionNumber, 4, true, &number) &&
               ParseVersionNumber(ProductVersion, 2, false, &text) && text.parts[0] == number.parts[0] &&
               text.parts[1] == number.parts[1];
    }(),
    "ProductVersionNumber is four numbers, and ProductVersion begins with its major.minor");
// A longer version would be written cut and never read back equal, so the
// program would never again offer its own uninstall.
static_assert(sizeof ProductVersion <= kVersionCapacity, "ProductVersion has at most 31 characters");
// The legacy search removes entries named ProductName with a 1.x version: this
// version's own entry must not be one of them.
static_assert(!(ProductVersion[0] == '1' && ProductVersion[1] == '.'),
              "ProductVersion does not begin with \"1.\" (the legacy versions)");
