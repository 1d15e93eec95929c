#include "maintenance/uninstall.h"

void UninstallProduct()
{
}
