#include "updater/engine/stages/stage_journal.h"

#include <zlib.h>

#include <cerrno>
#include <cstdlib>

#include "shared/text_util.h"
#include "updater/engine/stages/stage_platform.h"

namespace corvane {

const char kJournalName[] = "update.jnl";

namespace {

constexpr char kHeaderPrefix[] = "corvane update journal ";
constexpr int kVersion = 1;

uint32_t Checksum(const std::string& text) {
  return static_cast<uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
}

// No tab, line break or zero byte: such a path could not be read back.
bool IsRecordablePath(const std::string& path) {
  return path.find_first_of(std::string("\t\r\n\0", 4)) == std::string::npos;
}

bool IsKnownKind(char c) {
  return c == 'F' || c == 'B' || c == 'K' || c == 'W' || c == 'A' || c == 'R' || c == 'C';
}

bool ParseNumber(const std::string& text, int64_t* value) {
  if (text.empty() || text.size() > 20) return false;
  size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size()) return false;
  for (size_t j = i; j < text.size(); ++j) {
    if (text[j] < '0' || text[j] > '9') return false;
  }
  errno = 0;
  const long long parsed = std::strtoll(text.c_str(), nullptr, 10);
  if (errno == ERANGE || parsed < -1) return false;
  *value = parsed;
  return true;
}

// One line without its "\n"; false when it is no well-formed record.
bool ParseRecord(const std::string& line, JournalRecord* record) {
  const size_t last_tab = line.rfind('\t');
  if (last_tab == std::string::npos || line.size() - last_tab - 1 != 8) return false;
  const std::string body = line.substr(0, last_tab);
  if (Format("%08x", Checksum(body)) != line.substr(last_tab + 1)) return false;
  // body: kind \t number \t path (the path may be empty only for "C")
  if (body.size() < 4 || !IsKnownKind(body[0]) || body[1] != '\t') return false;
  const size_t second_tab = body.find('\t', 2);
  if (second_tab == std::string::npos) return false;
  int64_t number = -1;
  if (!ParseNumber(body.substr(2, second_tab - 2), &number)) return false;
  record->kind = static_cast<JournalKind>(body[0]);
  record->number = number;
  record->path = body.substr(second_tab + 1);
  if (!IsRecordablePath(record->path)) return false;
  return !record->path.empty() || record->kind == JournalKind::kCommitted;
}

}  // namespace

std::string JournalHeader() { return Format("%s%d\n", kHeaderPrefix, kVersion); }

bool FormatJournalRecord(const JournalRecord& record, std::string* line) {
  if (!IsRecordablePath(record.path)) return false;
  const std::string body = std::string(1, static_cast<char>(record.kind)) + "\t" +
                           std::to_string(record.number) + "\t" + record.path;
  *line = body + Format("\t%08x\n", Checksum(body));
  return true;
}

JournalContents ParseJournal(const std::string& bytes) {
  JournalContents out;
  const std::string header = JournalHeader();
  const size_t header_end = bytes.find('\n');
  if (header_end == std::string::npos) {
    // A first line cut short: the journal was being created, nothing done.
    const bool prefix = bytes.size() < header.size() &&
                        header.compare(0, bytes.size(), bytes) == 0;
    out.state = bytes.empty() || prefix ? JournalState::kNotStarted : JournalState::kDamaged;
    return out;
  }
  const std::string first = bytes.substr(0, header_end + 1);
  if (first != header) {
    const std::string prefix = kHeaderPrefix;
    out.state = first.compare(0, prefix.size(), prefix) == 0 ? JournalState::kUnknownVersion
                                                              : JournalState::kDamaged;
    return out;
  }
  out.state = JournalState::kGood;
  size_t at = header_end + 1;
  while (at < bytes.size()) {
    const size_t end = bytes.find('\n', at);
    if (end == std::string::npos) {  // the last record, torn while written
      out.torn_tail = true;
      break;
    }
    JournalRecord record;
    if (!ParseRecord(bytes.substr(at, end - at), &record)) {
      if (end + 1 == bytes.size()) {  // torn last record that kept a line break
        out.torn_tail = true;
        break;
      }
      out.state = JournalState::kDamaged;
      out.records.clear();
      return out;
    }
    out.records.push_back(std::move(record));
    at = end + 1;
  }
  return out;
}

bool JournalWriter::Begin() {
  active_ = files_.WriteDurable(path_, JournalHeader(), /*append=*/false);
  return active_;
}

bool JournalWriter::Add(JournalKind kind, const std::string& path, int64_t number) {
  if (!active_) return false;
  std::string line;
  if (!FormatJournalRecord(JournalRecord{kind, number, path}, &line)) return false;
  return files_.WriteDurable(path_, line, /*append=*/true);
}

bool JournalWriter::AddAll(const std::vector<JournalRecord>& records) {
  if (!active_) return false;
  if (records.empty()) return true;
  std::string lines;
  for (const JournalRecord& record : records) {
    std::string line;
    if (!FormatJournalRecord(record, &line)) return false;
    lines += line;
  }
  return files_.WriteDurable(path_, lines, /*append=*/true);
}

bool JournalWriter::Remove() {
  if (!active_) return true;
  active_ = false;
  return files_.DeleteFile(path_);
}

}  // namespace corvane
