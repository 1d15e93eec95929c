#include "app/application_path.h"

#include "app/bounded_text.h"
#include "app/product.h"

namespace {
char applicationPath[kPathCapacity];
}

const char* RememberedApplicationPath()
{
    return applicationPath;
}

void RememberApplicationPath(const char* path)
{
    CopyPath(applicationPath, path);
}
