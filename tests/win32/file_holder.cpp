// Test helper: holds a file open without sharing, as another program would,
// until the test lets go.
//
//   file_holder PATH EVENT
// Opens PATH with share mode 0, signals the event EVENT-held, waits up to a
// minute for EVENT-release, closes the file.  Exit code 0, or 1 when PATH could
// not be opened.
#include <windows.h>

#include <string>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    const std::string event = argv[2];
    HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, (event + "-held").c_str());
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, (event + "-release").c_str());
    if (held != nullptr && release != nullptr) {
        SetEvent(held);
        WaitForSingleObject(release, 60000);
    }
    if (held != nullptr)
        CloseHandle(held);
    if (release != nullptr)
        CloseHandle(release);
    CloseHandle(file);
    return 0;
}
