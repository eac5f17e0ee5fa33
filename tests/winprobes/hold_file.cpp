// Holds a file open (shared for reading only, so it can be neither written
// nor replaced) for a number of seconds, ignoring every request to quit.
// Usage: hold_file.exe <path> <seconds> <ready-file>
// The ready file is created once the file is held.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  HANDLE held = ::CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 3;
  HANDLE ready = ::CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
  if (ready != INVALID_HANDLE_VALUE) ::CloseHandle(ready);
  ::Sleep(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)) * 1000);
  ::CloseHandle(held);
  return 0;
}
