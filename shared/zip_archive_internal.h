// Internals shared by the files of the archive module: the in-memory entry
// record, the central-directory reader, the entry decoder and the writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "shared/zip_archive.h"
#include "shared/zip_file_system.h"

namespace corvane {
namespace zipdetail {

struct EntryRecord {
  ZipEntryHeader header;
  uint16_t version_made_by = 0;
  uint16_t version_needed = 0;
  uint16_t flags = 0;
  uint16_t internal_attributes = 0;
  std::string central_extra;
  std::string comment;
  uint32_t local_header_offset = 0;  // in the source archive, for entries read from it
  bool is_new = false;
  std::vector<unsigned char> payload;  // new entries: the data exactly as they will be written
};

struct CentralDirectory {
  std::vector<EntryRecord> entries;
  uint64_t offset = 0;  // entry data of the source archive must end before this
  std::string comment;
};

// Reads the end record and the central directory of a single-volume archive;
// false for anything unsound (bad signatures, sizes or offsets that do not
// fit inside the source, more entries than the directory can hold).
bool ReadCentralDirectory(zipfs::ByteSource& source, CentralDirectory& out);

// Finds the data of an entry behind its local header and checks that header
// against the central record.
bool LocateEntryData(zipfs::ByteSource& source, const EntryRecord& entry, uint64_t directory_offset,
                     uint64_t& data_offset);

// Receives an entry's data as it is decoded.
class DataSink {
 public:
  virtual ~DataSink() = default;
  virtual bool Write(const unsigned char* data, size_t size) = 0;
};

// Decrypts, inflates and verifies (size and CRC-32) an entry's data into the
// sink, in pieces of at most `buffer_size`. Output beyond the declared size
// stops the decoding at once.
bool DecodeEntry(zipfs::ByteSource& source, const EntryRecord& entry, uint64_t directory_offset,
                 const std::string& password, size_t buffer_size, DataSink& sink);

// A new entry, deflated and, with a non-empty password, encrypted.
bool BuildNewEntry(const std::string& stored_name, const unsigned char* data, size_t size, time_t modified,
                   const std::string& password, EntryRecord& out);

// Writes a complete archive into `out` (already created): new entries from
// their payload, the others copied unchanged from `source`.
bool WriteArchive(zipfs::ByteSource* source, uint64_t directory_offset, const std::vector<EntryRecord>& entries,
                  const std::string& comment, zipfs::StagedFile& out);

}  // namespace zipdetail

struct ZipArchive::State {
  std::string path;
  ZipOpenMode mode = ZipOpenMode::kRead;
  bool changed = false;
  std::string password;
  std::unique_ptr<zipfs::ByteSource> source;
  zipdetail::CentralDirectory directory;
};

}  // namespace corvane
