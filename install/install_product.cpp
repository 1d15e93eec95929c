#include "install/install_product.h"

bool InstallProduct(HWND)
{
    return false;
}
