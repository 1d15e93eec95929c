#include "core/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

bool WriteAll(int fd, const unsigned char* bytes, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size < (1u << 30) ? size : (1u << 30));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes += written;
        size -= std::size_t(written);
    }
    return true;
}

// Writes to an existing device or pipe in place.
bool WriteInPlace(const std::string& path, const unsigned char* bytes, std::size_t size, std::string* error)
{
    const int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
    bool ok = fd >= 0 && WriteAll(fd, bytes, size);
    int err = errno;
    if (fd >= 0 && close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok)
        *error = std::strerror(err);
    return ok;
}

enum class Target { kFile, kInPlace, kFolder };

// The file a write to `path` ends in (a symbolic link followed) and how it is written.
Target Resolve(const std::string& path, std::string* target)
{
    *target = path;
    struct stat status;
    if (lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
        if (char* resolved = realpath(path.c_str(), nullptr)) {
            *target = resolved;
            std::free(resolved);
        }
    }
    if (stat(target->c_str(), &status) == 0 && !S_ISREG(status.st_mode))
        return S_ISDIR(status.st_mode) ? Target::kFolder : Target::kInPlace;
    return Target::kFile;
}

// Creates the temporary file beside `target`; -1 with *error set when the folder refuses.
int CreateTemporary(const std::string& target, std::string* temporary, std::string* error)
{
    const std::size_t slash = target.rfind('/');
    *temporary = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    *temporary += "." + target.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
    const int fd = mkstemp(&(*temporary)[0]);
    if (fd < 0)
        *error = std::strerror(errno);
    return fd;
}

}  // namespace

bool CheckOutputFile(const std::string& path, std::string* error)
{
    std::string target, temporary;
    switch (Resolve(path, &target)) {
    case Target::kFolder:
        *error = std::strerror(EISDIR);
        return false;
    case Target::kInPlace:
        if (access(target.c_str(), W_OK) != 0) {
            *error = std::strerror(errno);
            return false;
        }
        return true;
    case Target::kFile:
        break;
    }
    const int fd = CreateTemporary(target, &temporary, error);
    if (fd < 0)
        return false;
    close(fd);
    unlink(temporary.c_str());
    return true;
}

bool WriteOutputFile(const std::string& path, const void* data, std::size_t size, std::string* error)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    std::string target, temporary;
    switch (Resolve(path, &target)) {
    case Target::kFolder:
        *error = std::strerror(EISDIR);
        return false;
    case Target::kInPlace:
        return WriteInPlace(target, bytes, size, error);
    case Target::kFile:
        break;
    }
    const int fd = CreateTemporary(target, &temporary, error);
    if (fd < 0)
        return false;
    // mkstemp makes the file private; give it the mode a plain create would.
    const mode_t mask = umask(0);
    umask(mask);
    bool ok = fchmod(fd, 0666 & ~mask) == 0 && WriteAll(fd, bytes, size);
    int err = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && rename(temporary.c_str(), target.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        unlink(temporary.c_str());
        *error = std::strerror(err);
    }
    return ok;
}
