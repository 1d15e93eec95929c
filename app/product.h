// Product constants and the installation layout built from them.
//
// Every name, version, key and file name of the product is fixed here at build
// time; nothing is read from the command line or from configuration.
#pragma once

#include <cstddef>

constexpr char ProductName[] = "VEK Lumovara Remote";
constexpr char ProductVersion[] = "2.0 release candidate 1";
// The version as Windows compares versions (major.minor.build.revision), shown in
// the setup program's file properties: release candidate n of 2.0 is 2.0.0.n, and
// 2.0 itself will be 2.0.1.0, above every candidate.
constexpr char ProductVersionNumber[] = "2.0.0.1";
constexpr char PublisherName[] = "VEK";
constexpr char SetupTitle[] = "VEK Lumovara Remote Setup";
constexpr char UninstallKeyPath[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VEK_LumovaraRemote";

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

// Every path lives in a buffer of the platform's MAX_PATH characters, NUL included.
constexpr std::size_t kPathCapacity = 260;
