#include "install/uninstall_registration.h"

void WriteUninstallRegistration(const char*, DWORD)
{
}
