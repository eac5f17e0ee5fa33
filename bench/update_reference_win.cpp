// The benchmark's reference: the least a Windows program has to do for the
// update of bench/update_e2e.py, with plain API calls and nothing else (no
// window, no log, no checks beyond the digest). update.exe is measured
// against it in the same Wine prefix, against the same server.
//
//   update_reference check <local ini>
//     reads "urls" of [system] from the INI and fetches its first URL (the
//     server-side configuration) into memory.
//     Built as update_reference_shell (REFERENCE_ASKS_SHELL), it first asks
//     the shell for the four special folders update.exe's log banner names,
//     as any program that names them must: shell32, and with it user32 and
//     gdi32, are then loaded and started.
//   update_reference update <url> <md5> <source folder> <app folder> <flush>
//     (<temp> below is a folder of its own in the system's temporary folder,
//     where update.exe keeps its downloads too)
//     1. http:  <url> into <temp>\file0\big.bin, 1 MiB reads, incremental MD5
//     2. dir:   every file below <source> copied to <temp>\dir0\ (flat names)
//     3. stage: back-ups (<app>\big.bin and each <app>\data\<file> to ".ebk"),
//               copies into place, back-ups deleted, the temporary files and
//               folders deleted.
//     With <flush> 1 the stage flushes what crash safety needs flushed: each
//     ".ebk" copy before anything is overwritten, each new file before the
//     back-ups go, and a small journal at its begin, after the back-ups and
//     at the commit.
// Prints "PHASE <name> <milliseconds>" per phase and "RESULT 1" on success.
#include <windows.h>
#include <wincrypt.h>
#include <wininet.h>
#ifdef REFERENCE_ASKS_SHELL
#include <shlobj.h>
#endif

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

LARGE_INTEGER frequency;

double NowMs() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool Fetch(const char* url, HANDLE file, HCRYPTHASH hash, std::string* text) {
  HINTERNET session = InternetOpenA("reference", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  HINTERNET request = InternetOpenUrlA(session, url, "Accept: */*\r\n\r\n", DWORD(-1),
                                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE, 0);
  bool ok = request != nullptr;
  std::vector<char> block(1 << 20);
  DWORD got = 0;
  while (ok && (ok = InternetReadFile(request, block.data(), DWORD(block.size()), &got)) && got) {
    if (hash) CryptHashData(hash, reinterpret_cast<BYTE*>(block.data()), got, 0);
    if (text) text->append(block.data(), got);
    DWORD wrote = 0;
    if (file) ok = WriteFile(file, block.data(), got, &wrote, nullptr) && wrote == got;
  }
  if (request) InternetCloseHandle(request);
  InternetCloseHandle(session);
  return ok;
}

bool Flush(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  const bool ok = file != INVALID_HANDLE_VALUE && FlushFileBuffers(file);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return ok;
}

void JournalLine(const std::string& path, const char* line) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_FLAG_WRITE_THROUGH, nullptr);
  SetFilePointer(file, 0, nullptr, FILE_END);
  DWORD wrote = 0;
  WriteFile(file, line, DWORD(strlen(line)), &wrote, nullptr);
  FlushFileBuffers(file);
  CloseHandle(file);
}

struct Entry {
  std::string relative, flat;
};

void List(const std::string& root, const std::string& relative, std::vector<Entry>* out) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((root + relative + "*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      List(root, relative + name + "\\", out);
    } else {
      std::string flat = relative + name;
      for (char& c : flat) c = c == '\\' ? '_' : c;
      out->push_back({relative + name, flat});
    }
  } while (FindNextFileA(find, &found));
  FindClose(find);
}

int Check(const char* ini) {
#ifdef REFERENCE_ASKS_SHELL
  char folder[MAX_PATH];
  for (int csidl : {CSIDL_PROGRAM_FILES, CSIDL_FONTS, CSIDL_PERSONAL, CSIDL_DESKTOP}) {
    SHGetSpecialFolderPathA(nullptr, folder, csidl, FALSE);
  }
#endif
  char urls[2048] = {};
  GetPrivateProfileStringA("system", "urls", "", urls, sizeof(urls), ini);
  std::string url = urls;
  if (url.compare(0, 5, "url0=") == 0) url.erase(0, 5);
  url = url.substr(0, url.find(";;"));
  std::string text;
  const bool ok = Fetch(url.c_str(), nullptr, 0, &text) && !text.empty();
  std::printf("RESULT %d\n", ok ? 1 : 0);
  return ok ? 0 : 1;
}

int Update(char** argv) {
  const std::string url = argv[0], md5 = argv[1], source = std::string(argv[2]) + "\\";
  const std::string app = std::string(argv[3]) + "\\";
  const bool flush = argv[4][0] == '1';
  char temp_root[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp_root);
  const std::string temp = std::string(temp_root) + "~reference_tmp\\";
  const std::string journal = app + "reference.jnl";
  bool ok = true;

  double start = NowMs();
  CreateDirectoryA(temp.c_str(), nullptr);
  CreateDirectoryA((temp + "file0").c_str(), nullptr);
  const std::string big = temp + "file0\\big.bin";
  HANDLE file = CreateFileA(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
  CryptCreateHash(provider, CALG_MD5, 0, 0, &hash);
  ok = Fetch(url.c_str(), file, hash, nullptr) && ok;
  CloseHandle(file);
  BYTE digest[16];
  DWORD digest_size = sizeof(digest);
  CryptGetHashParam(hash, HP_HASHVAL, digest, &digest_size, 0);
  CryptDestroyHash(hash);
  CryptReleaseContext(provider, 0);
  char hex[33] = {};
  for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
  ok = ok && md5 == hex;
  std::printf("PHASE http %.0f\n", NowMs() - start);

  start = NowMs();
  std::vector<Entry> entries;
  List(source, "", &entries);
  CreateDirectoryA((temp + "dir0").c_str(), nullptr);
  for (const Entry& e : entries) {
    ok = CopyFileA((source + e.relative).c_str(), (temp + "dir0\\" + e.flat).c_str(), FALSE) && ok;
  }
  std::printf("PHASE dir %.0f\n", NowMs() - start);

  start = NowMs();
  std::vector<std::string> installed(1, app + "big.bin");
  std::vector<std::string> downloaded(1, big);
  for (const Entry& e : entries) {
    installed.push_back(app + "data\\" + e.relative);
    downloaded.push_back(temp + "dir0\\" + e.flat);
  }
  if (flush) JournalLine(journal, "begin\n");
  for (const std::string& path : installed) {
    ok = CopyFileA(path.c_str(), (path + ".ebk").c_str(), FALSE) && ok;
    if (flush) ok = Flush(path + ".ebk") && ok;
  }
  if (flush) JournalLine(journal, "backed up\n");
  for (size_t i = 0; i < installed.size(); ++i) {
    ok = CopyFileA(downloaded[i].c_str(), installed[i].c_str(), FALSE) && ok;
  }
  if (flush) {
    for (const std::string& path : installed) ok = Flush(path) && ok;
    JournalLine(journal, "committed\n");
  }
  for (const std::string& path : installed) ok = DeleteFileA((path + ".ebk").c_str()) && ok;
  if (flush) DeleteFileA(journal.c_str());
  for (const std::string& path : downloaded) DeleteFileA(path.c_str());
  RemoveDirectoryA((temp + "file0").c_str());
  RemoveDirectoryA((temp + "dir0").c_str());
  RemoveDirectoryA(temp.c_str());
  std::printf("PHASE stage %.0f\n", NowMs() - start);
  std::printf("RESULT %d\n", ok ? 1 : 0);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QueryPerformanceFrequency(&frequency);
  if (argc == 3 && std::strcmp(argv[1], "check") == 0) return Check(argv[2]);
  if (argc == 7 && std::strcmp(argv[1], "update") == 0) return Update(argv + 2);
  std::fprintf(stderr, "usage: update_reference check <ini> | update <url> <md5> <source> <app> "
                       "<flush 0|1>\n");
  return 2;
}
