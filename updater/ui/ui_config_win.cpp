// UpdaterApp::ParseUiConfiguration: finds "ui.bin" or "ui.dat" in the
// updater's folder, parses it into App().ui and logs the publisher's line.
#include <cstdio>
#include <memory>

#include "shared/archive_password.h"
#include "shared/zip_archive.h"
#include "updater/engine/updater_app.h"
#include "updater/ui/ui_config.h"

namespace corvane {

namespace {

bool FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadWholeFile(const std::string& path, std::string* text) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return false;
  char buffer[16384];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text->append(buffer, got);
  return !std::ferror(file.get());
}

std::string ParseErrorText(const char* file_name) {
  return std::string("Error: UI configuration file (") + file_name + ") parses error.";
}

}  // namespace

bool UpdaterApp::ParseUiConfiguration() {
  std::string text;
  const char* source = nullptr;
  if (FileExists(folder + kUiArchiveName)) {
    source = kUiArchiveName;
    // An archive that cannot be read gives empty text, which does not parse:
    // a broken "ui.bin" is an error even when a "ui.dat" lies beside it.
    if (std::optional<std::vector<char>> entry =
            ReadArchiveEntry(folder + kUiArchiveName, kUiTextName, ArchivePassword())) {
      text.assign(entry->data(), entry->size());
    }
  } else if (FileExists(folder + kUiTextName)) {
    source = kUiTextName;
    ReadWholeFile(folder + kUiTextName, &text);
  } else {
    ShowInfoBox(std::string("Error: UI configuration file (") + kUiArchiveName + ") not found.",
                nullptr);
    return false;
  }

  // Nothing of the parse itself belongs in the log.
  const bool log_was_on = log.Enabled();
  log.SetEnabled(false);
  UiModel parsed;
  const bool ok = corvane::ParseUiConfiguration(text, &parsed);
  log.SetEnabled(log_was_on);
  if (!ok) {
    ShowInfoBox(ParseErrorText(source), nullptr);
    return false;
  }
  ui = std::move(parsed);
  WriteLog(ui.copyright + " " + ui.myurl);
  return true;
}

}  // namespace corvane
