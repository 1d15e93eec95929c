#include "core/application_path.h"

#include "core/bounded_text.h"

namespace {
char applicationPath[kPathCapacity];
}

const char* RememberedApplicationPath() { return applicationPath; }

void RememberApplicationPath(const char* path) { CopyPath(applicationPath, path); }
