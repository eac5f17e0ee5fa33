// Helpers for the zip archive tests: temporary folders, running the
// reference tools (Info-ZIP zip/unzip, Python's zipfile), and a raw archive
// builder independent of the module, for crafting broken and hostile input.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace corvane {
namespace ziptest {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zip_test_XXXXXX").string();
    path_ = mkdtemp(&pattern[0]) ? pattern : std::string();
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

inline bool Exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

// Every file and folder below `root`, as paths relative to it.
inline std::vector<std::string> ListTree(const std::string& root) {
  std::vector<std::string> found;
  std::error_code ignored;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    found.push_back(std::filesystem::relative(it->path(), root, ignored).string());
  }
  return found;
}

struct CommandResult {
  int exit_code = -1;
  std::string output;
};

// Runs a shell command with no standard input; output is stdout and stderr.
inline CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = popen(("(" + command + ") </dev/null 2>&1").c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  int status = pclose(pipe);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

inline std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs a Python script with the system interpreter (which has zipfile).
inline CommandResult RunPython(const TempDir& dir, const std::string& script) {
  std::string path = dir / "script.py";
  WriteFile(path, script);
  return RunCommand("/usr/bin/python3 " + Quote(path));
}

// Content of one entry as Info-ZIP's unzip sees it.
inline std::optional<std::string> UnzipPrint(const std::string& archive, const std::string& entry,
                                             const std::string& password = "") {
  std::string options = password.empty() ? "" : "-P " + Quote(password) + " ";
  std::string out_path = archive + ".entry";
  CommandResult result = RunCommand("unzip -p " + options + Quote(archive) + " " + Quote(entry) + " > " + Quote(out_path));
  if (result.exit_code != 0) return std::nullopt;
  std::string content = ReadFile(out_path);
  std::remove(out_path.c_str());
  return content;
}

inline std::string RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(generator() & 0xff);
  return bytes;
}

inline std::string CompressibleText(size_t size) {
  std::string text;
  for (int line = 0; text.size() < size; ++line) text += "[file" + std::to_string(line % 20) + "]\r\nver=1.0." + std::to_string(line) + "\r\n";
  text.resize(size);
  return text;
}

inline std::string RawDeflate(const std::string& data) {
  z_stream stream{};
  deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, data.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(out.size() - stream.avail_out);
  deflateEnd(&stream);
  return out;
}

inline uint32_t Crc(const std::string& data) {
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// One entry for the raw builder. By default the entry is stored, sound and
// consistent; the optional fields make it lie.
struct RawEntry {
  RawEntry(std::string entry_name = std::string(), std::string content = std::string(), bool deflated = false)
      : name(std::move(entry_name)), data(std::move(content)), deflate(deflated) {}

  std::string name;
  std::string data;  // the uncompressed content
  bool deflate = false;
  uint16_t version_made_by = 20;  // MS-DOS host
  uint32_t external_attributes = 0x20;
  uint16_t dos_time = 0x6000;  // 12:00:00
  uint16_t dos_date = 0x52cf;  // 2021-06-15
  std::optional<std::string> payload;  // bytes written as the entry data instead of the encoded content
  std::optional<uint32_t> crc;
  std::optional<uint32_t> uncompressed_size;
  std::optional<std::string> local_name;
  std::optional<uint32_t> local_compressed_size;
};

inline void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xff);
  out += static_cast<char>((v >> 8) & 0xff);
}

inline void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xffff);
  Put16(out, v >> 16);
}

inline std::string BuildRawZip(const std::vector<RawEntry>& entries) {
  std::string archive;
  std::string directory;
  for (const RawEntry& e : entries) {
    std::string payload = e.payload ? *e.payload : (e.deflate ? RawDeflate(e.data) : e.data);
    uint32_t crc = e.crc ? *e.crc : Crc(e.data);
    uint32_t size = e.uncompressed_size ? *e.uncompressed_size : static_cast<uint32_t>(e.data.size());
    uint16_t method = e.deflate ? 8 : 0;
    std::string local_name = e.local_name ? *e.local_name : e.name;
    uint32_t offset = static_cast<uint32_t>(archive.size());

    Put32(archive, 0x04034b50);
    Put16(archive, 20);
    Put16(archive, 0);
    Put16(archive, method);
    Put16(archive, e.dos_time);
    Put16(archive, e.dos_date);
    Put32(archive, crc);
    Put32(archive, e.local_compressed_size ? *e.local_compressed_size : static_cast<uint32_t>(payload.size()));
    Put32(archive, size);
    Put16(archive, static_cast<uint32_t>(local_name.size()));
    Put16(archive, 0);
    archive += local_name;
    archive += payload;

    Put32(directory, 0x02014b50);
    Put16(directory, e.version_made_by);
    Put16(directory, 20);
    Put16(directory, 0);
    Put16(directory, method);
    Put16(directory, e.dos_time);
    Put16(directory, e.dos_date);
    Put32(directory, crc);
    Put32(directory, static_cast<uint32_t>(payload.size()));
    Put32(directory, size);
    Put16(directory, static_cast<uint32_t>(e.name.size()));
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, 0);
    Put32(directory, e.external_attributes);
    Put32(directory, offset);
    directory += e.name;
  }
  uint32_t directory_offset = static_cast<uint32_t>(archive.size());
  archive += directory;
  Put32(archive, 0x06054b50);
  Put32(archive, 0);
  Put16(archive, static_cast<uint32_t>(entries.size()));
  Put16(archive, static_cast<uint32_t>(entries.size()));
  Put32(archive, static_cast<uint32_t>(directory.size()));
  Put32(archive, directory_offset);
  Put16(archive, 0);
  return archive;
}

// An end-of-central-directory record alone, with the given claims.
inline std::string EndRecord(uint16_t entries, uint32_t directory_size, uint32_t directory_offset) {
  std::string record;
  Put32(record, 0x06054b50);
  Put32(record, 0);
  Put16(record, entries);
  Put16(record, entries);
  Put32(record, directory_size);
  Put32(record, directory_offset);
  Put16(record, 0);
  return record;
}

}  // namespace ziptest
}  // namespace corvane
