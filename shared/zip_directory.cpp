// Reading the central directory and the local headers of an archive. Every
// size and offset is checked against the real size of the source before it
// is used, so a hostile archive can neither make us read past its end nor
// allocate more than it really holds.
#include <algorithm>

#include "shared/zip_archive_internal.h"
#include "shared/zip_format.h"

namespace corvane {
namespace zipdetail {

using namespace zipfmt;

namespace {

struct EndRecord {
  uint64_t offset = 0;
  uint16_t entry_count = 0;
  uint32_t directory_size = 0;
  uint32_t directory_offset = 0;
  std::string comment;
};

bool FindEndRecord(zipfs::ByteSource& source, EndRecord& end) {
  uint64_t size = source.Size();
  if (size < kEndOfCentralDirSize) return false;
  size_t tail_size = static_cast<size_t>(std::min<uint64_t>(size, kEndOfCentralDirSize + kMaxCommentSize));
  std::vector<unsigned char> tail(tail_size);
  uint64_t tail_start = size - tail_size;
  if (!source.ReadAt(tail_start, tail.data(), tail_size)) return false;

  // The record is searched backwards because the archive comment behind it
  // may be up to 64 KiB long; the last record whose comment fits wins.
  for (size_t pos = tail_size - kEndOfCentralDirSize + 1; pos-- > 0;) {
    const unsigned char* p = tail.data() + pos;
    if (Get32(p) != kEndOfCentralDirSignature) continue;
    uint16_t comment_size = Get16(p + 20);
    if (pos + kEndOfCentralDirSize + comment_size > tail_size) continue;

    uint16_t disk = Get16(p + 4);
    uint16_t directory_disk = Get16(p + 6);
    uint16_t entries_on_disk = Get16(p + 8);
    // Archives spanning several volumes are not supported.
    if (disk != 0 || directory_disk != 0 || entries_on_disk != Get16(p + 10)) return false;
    end.offset = tail_start + pos;
    end.entry_count = Get16(p + 10);
    end.directory_size = Get32(p + 12);
    end.directory_offset = Get32(p + 16);
    end.comment.assign(reinterpret_cast<const char*>(p + kEndOfCentralDirSize), comment_size);

    // A ZIP64 locator right before the record means the real sizes live in
    // records this module does not read.
    if (pos >= kZip64LocatorSize && Get32(p - kZip64LocatorSize) == kZip64LocatorSignature) return false;
    return true;
  }
  return false;
}

bool IsDirectoryEntry(const EntryRecord& entry) {
  const std::string& name = entry.header.name;
  if (!name.empty() && (name.back() == '/' || name.back() == '\\')) return true;
  if (entry.header.attributes & kDosDirectory) return true;
  uint8_t host = static_cast<uint8_t>(entry.version_made_by >> 8);
  return host == kHostUnix && ((entry.header.attributes >> 16) & 0170000) == 0040000;
}

}  // namespace

bool ReadCentralDirectory(zipfs::ByteSource& source, CentralDirectory& out) {
  out = CentralDirectory();
  EndRecord end;
  if (!FindEndRecord(source, end)) return false;
  uint64_t directory_offset = end.directory_offset;
  uint64_t directory_size = end.directory_size;
  if (directory_offset > end.offset || directory_size > end.offset - directory_offset) return false;
  if (static_cast<uint64_t>(end.entry_count) * kCentralHeaderSize > directory_size) return false;

  std::vector<unsigned char> directory(static_cast<size_t>(directory_size));
  if (!source.ReadAt(directory_offset, directory.data(), directory.size())) return false;

  out.entries.reserve(end.entry_count);
  size_t pos = 0;
  for (unsigned i = 0; i < end.entry_count; ++i) {
    if (directory.size() - pos < kCentralHeaderSize) return false;
    const unsigned char* p = directory.data() + pos;
    if (Get32(p) != kCentralHeaderSignature) return false;
    size_t name_size = Get16(p + 28);
    size_t extra_size = Get16(p + 30);
    size_t comment_size = Get16(p + 32);
    size_t record_size = kCentralHeaderSize + name_size + extra_size + comment_size;
    if (directory.size() - pos < record_size) return false;

    EntryRecord entry;
    entry.version_made_by = Get16(p + 4);
    entry.version_needed = Get16(p + 6);
    entry.flags = Get16(p + 8);
    entry.header.method = Get16(p + 10);
    entry.header.dos_time = Get16(p + 12);
    entry.header.dos_date = Get16(p + 14);
    entry.header.crc32 = Get32(p + 16);
    entry.header.compressed_size = Get32(p + 20);
    entry.header.uncompressed_size = Get32(p + 24);
    entry.internal_attributes = Get16(p + 36);
    entry.header.attributes = Get32(p + 38);
    entry.local_header_offset = Get32(p + 42);
    const char* text = reinterpret_cast<const char*>(p + kCentralHeaderSize);
    entry.header.name.assign(text, name_size);
    entry.central_extra.assign(text + name_size, extra_size);
    entry.comment.assign(text + name_size + extra_size, comment_size);
    entry.header.is_encrypted = (entry.flags & kFlagEncrypted) != 0;
    entry.header.is_directory = IsDirectoryEntry(entry);

    // The local header and the data must lie before the central directory.
    uint64_t local = entry.local_header_offset;
    if (local > directory_offset || directory_offset - local < kLocalHeaderSize) return false;
    if (entry.header.compressed_size > directory_offset - local - kLocalHeaderSize) return false;

    out.entries.push_back(std::move(entry));
    pos += record_size;
  }
  out.offset = directory_offset;
  out.comment = end.comment;
  return true;
}

bool LocateEntryData(zipfs::ByteSource& source, const EntryRecord& entry, uint64_t directory_offset,
                     uint64_t& data_offset) {
  unsigned char local[kLocalHeaderSize];
  uint64_t offset = entry.local_header_offset;
  if (offset > directory_offset || directory_offset - offset < kLocalHeaderSize) return false;
  if (!source.ReadAt(offset, local, sizeof local)) return false;
  if (Get32(local) != kLocalHeaderSignature) return false;

  uint16_t flags = Get16(local + 6);
  if (Get16(local + 8) != entry.header.method) return false;
  if ((flags & kFlagEncrypted) != (entry.flags & kFlagEncrypted)) return false;
  // Without a data descriptor the local header carries the real values, and
  // they must be the ones the central directory promised.
  if (!(flags & kFlagDataDescriptor)) {
    if (Get32(local + 14) != entry.header.crc32 || Get32(local + 18) != entry.header.compressed_size ||
        Get32(local + 22) != entry.header.uncompressed_size) {
      return false;
    }
  }
  size_t name_size = Get16(local + 26);
  size_t extra_size = Get16(local + 28);
  if (name_size != entry.header.name.size()) return false;
  uint64_t start = offset + kLocalHeaderSize + name_size + extra_size;
  if (start > directory_offset || directory_offset - start < entry.header.compressed_size) return false;

  std::string local_name(name_size, '\0');
  if (name_size > 0 && !source.ReadAt(offset + kLocalHeaderSize, &local_name[0], name_size)) return false;
  if (local_name != entry.header.name) return false;
  data_offset = start;
  return true;
}

}  // namespace zipdetail
}  // namespace corvane
