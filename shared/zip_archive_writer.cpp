// Writing a whole archive: local headers and data of every entry, then the
// central directory and the end record. Entries taken over from the source
// archive are copied byte for byte (still compressed, still encrypted).
#include <algorithm>

#include "shared/zip_archive_internal.h"
#include "shared/zip_format.h"

namespace corvane {
namespace zipdetail {

using namespace zipfmt;

namespace {

constexpr size_t kCopyPieceSize = 1u << 20;

class ArchiveWriter {
 public:
  explicit ArchiveWriter(zipfs::StagedFile& out) : out_(out) {}

  bool Write(const std::vector<unsigned char>& bytes) { return Write(bytes.data(), bytes.size()); }

  bool Write(const unsigned char* data, size_t size) {
    if (!out_.Write(data, size)) return false;
    position_ += size;
    return true;
  }

  uint64_t position() const { return position_; }

 private:
  zipfs::StagedFile& out_;
  uint64_t position_ = 0;
};

std::vector<unsigned char> LocalHeader(const EntryRecord& entry) {
  const ZipEntryHeader& header = entry.header;
  // With a data descriptor the values follow the data; the local header
  // carries zeros as the format asks.
  bool descriptor = (entry.flags & kFlagDataDescriptor) != 0;
  std::vector<unsigned char> bytes;
  bytes.reserve(kLocalHeaderSize + header.name.size());
  Put32(bytes, kLocalHeaderSignature);
  Put16(bytes, entry.version_needed);
  Put16(bytes, entry.flags);
  Put16(bytes, header.method);
  Put16(bytes, header.dos_time);
  Put16(bytes, header.dos_date);
  Put32(bytes, descriptor ? 0 : header.crc32);
  Put32(bytes, descriptor ? 0 : header.compressed_size);
  Put32(bytes, descriptor ? 0 : header.uncompressed_size);
  Put16(bytes, static_cast<uint16_t>(header.name.size()));
  Put16(bytes, 0);
  PutBytes(bytes, header.name);
  return bytes;
}

std::vector<unsigned char> DataDescriptor(const ZipEntryHeader& header) {
  std::vector<unsigned char> bytes;
  Put32(bytes, kDataDescriptorSignature);
  Put32(bytes, header.crc32);
  Put32(bytes, header.compressed_size);
  Put32(bytes, header.uncompressed_size);
  return bytes;
}

void AppendCentralHeader(const EntryRecord& entry, uint32_t local_offset, std::vector<unsigned char>& bytes) {
  const ZipEntryHeader& header = entry.header;
  Put32(bytes, kCentralHeaderSignature);
  Put16(bytes, entry.version_made_by);
  Put16(bytes, entry.version_needed);
  Put16(bytes, entry.flags);
  Put16(bytes, header.method);
  Put16(bytes, header.dos_time);
  Put16(bytes, header.dos_date);
  Put32(bytes, header.crc32);
  Put32(bytes, header.compressed_size);
  Put32(bytes, header.uncompressed_size);
  Put16(bytes, static_cast<uint16_t>(header.name.size()));
  Put16(bytes, static_cast<uint16_t>(entry.central_extra.size()));
  Put16(bytes, static_cast<uint16_t>(entry.comment.size()));
  Put16(bytes, 0);  // disk number
  Put16(bytes, entry.internal_attributes);
  Put32(bytes, header.attributes);
  Put32(bytes, local_offset);
  PutBytes(bytes, header.name);
  PutBytes(bytes, entry.central_extra);
  PutBytes(bytes, entry.comment);
}

bool CopyRange(zipfs::ByteSource& source, uint64_t offset, uint64_t size, ArchiveWriter& writer) {
  std::vector<unsigned char> piece(static_cast<size_t>(std::min<uint64_t>(size, kCopyPieceSize)));
  while (size > 0) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(size, piece.size()));
    if (!source.ReadAt(offset, piece.data(), n) || !writer.Write(piece.data(), n)) return false;
    offset += n;
    size -= n;
  }
  return true;
}

bool WriteEntry(zipfs::ByteSource* source, uint64_t directory_offset, const EntryRecord& entry,
                ArchiveWriter& writer) {
  if (!writer.Write(LocalHeader(entry))) return false;
  if (entry.is_new) return writer.Write(entry.payload);
  uint64_t data_offset = 0;
  if (!source || !LocateEntryData(*source, entry, directory_offset, data_offset)) return false;
  if (!CopyRange(*source, data_offset, entry.header.compressed_size, writer)) return false;
  if (entry.flags & kFlagDataDescriptor) return writer.Write(DataDescriptor(entry.header));
  return true;
}

}  // namespace

bool WriteArchive(zipfs::ByteSource* source, uint64_t directory_offset, const std::vector<EntryRecord>& entries,
                  const std::string& comment, zipfs::StagedFile& out) {
  if (entries.size() > static_cast<size_t>(ZipArchive::kMaxEntries)) return false;
  ArchiveWriter writer(out);
  std::vector<uint32_t> local_offsets;
  local_offsets.reserve(entries.size());
  for (const EntryRecord& entry : entries) {
    // Without ZIP64 records every offset must fit in 32 bits.
    if (writer.position() > UINT32_MAX) return false;
    local_offsets.push_back(static_cast<uint32_t>(writer.position()));
    if (!WriteEntry(source, directory_offset, entry, writer)) return false;
  }

  uint64_t directory_start = writer.position();
  std::vector<unsigned char> directory;
  for (size_t i = 0; i < entries.size(); ++i) AppendCentralHeader(entries[i], local_offsets[i], directory);
  if (directory_start > UINT32_MAX || directory.size() > UINT32_MAX - directory_start) return false;

  uint32_t directory_size = static_cast<uint32_t>(directory.size());
  std::string kept_comment = comment.substr(0, std::min(comment.size(), kMaxCommentSize));
  Put32(directory, kEndOfCentralDirSignature);
  Put16(directory, 0);
  Put16(directory, 0);
  Put16(directory, static_cast<uint16_t>(entries.size()));
  Put16(directory, static_cast<uint16_t>(entries.size()));
  Put32(directory, directory_size);
  Put32(directory, static_cast<uint32_t>(directory_start));
  Put16(directory, static_cast<uint16_t>(kept_comment.size()));
  PutBytes(directory, kept_comment);
  return writer.Write(directory);
}

}  // namespace zipdetail
}  // namespace corvane
