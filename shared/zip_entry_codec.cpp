// Entry data in both directions: decoding (decryption, inflate, size and
// CRC-32 checks) and building new entries (deflate, encryption).
#include <algorithm>
#include <cstring>

#include <zlib.h>

#include "shared/zip_archive_internal.h"
#include "shared/zip_crypto.h"
#include "shared/zip_format.h"

namespace corvane {
namespace zipdetail {

using namespace zipfmt;

namespace {

constexpr size_t kMinBufferSize = 1024;
constexpr size_t kMaxBufferSize = 16u << 20;

class Inflater {
 public:
  Inflater() {
    std::memset(&stream_, 0, sizeof stream_);
    ready_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK;
  }
  ~Inflater() {
    if (ready_) inflateEnd(&stream_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  bool ready() const { return ready_; }
  z_stream& stream() { return stream_; }

 private:
  z_stream stream_;
  bool ready_ = false;
};

class Deflater {
 public:
  Deflater() {
    std::memset(&stream_, 0, sizeof stream_);
    ready_ = deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
  }
  ~Deflater() {
    if (ready_) deflateEnd(&stream_);
  }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  bool ready() const { return ready_; }
  z_stream& stream() { return stream_; }

 private:
  z_stream stream_;
  bool ready_ = false;
};

// Counts, checksums and forwards decoded data, refusing anything beyond the
// declared size: an entry that inflates further than it claims is hostile.
class VerifiedOutput {
 public:
  VerifiedOutput(uint32_t declared_size, DataSink& sink) : declared_size_(declared_size), sink_(sink) {}

  bool Write(const unsigned char* data, size_t size) {
    if (size == 0) return true;
    if (size > declared_size_ - produced_) return false;
    produced_ += static_cast<uint32_t>(size);
    crc_ = static_cast<uint32_t>(crc32(crc_, data, static_cast<uInt>(size)));
    return sink_.Write(data, size);
  }

  bool Matches(uint32_t expected_crc) const { return produced_ == declared_size_ && crc_ == expected_crc; }

 private:
  uint32_t declared_size_;
  uint32_t produced_ = 0;
  uint32_t crc_ = 0;
  DataSink& sink_;
};

// Feeds one piece of compressed input through the inflater. Sets `finished`
// when the deflate stream has ended.
bool InflatePiece(z_stream& stream, unsigned char* input, size_t input_size, std::vector<unsigned char>& output,
                  VerifiedOutput& verified, bool& finished) {
  stream.next_in = input;
  stream.avail_in = static_cast<uInt>(input_size);
  do {
    stream.next_out = output.data();
    stream.avail_out = static_cast<uInt>(output.size());
    int result = inflate(&stream, Z_NO_FLUSH);
    size_t produced = output.size() - stream.avail_out;
    if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) return false;
    if (!verified.Write(output.data(), produced)) return false;
    if (result == Z_STREAM_END) {
      finished = true;
      return true;
    }
    if (result == Z_BUF_ERROR && produced == 0) break;  // needs more input
  } while (stream.avail_in > 0 || stream.avail_out == 0);
  return true;
}

}  // namespace

bool DecodeEntry(zipfs::ByteSource& source, const EntryRecord& entry, uint64_t directory_offset,
                 const std::string& password, size_t buffer_size, DataSink& sink) {
  const ZipEntryHeader& header = entry.header;
  if (entry.flags & kFlagStrongEncryption) return false;
  if (header.method != kMethodStored && header.method != kMethodDeflate) return false;

  uint64_t offset = 0;
  if (!LocateEntryData(source, entry, directory_offset, offset)) return false;
  uint64_t remaining = header.compressed_size;

  std::unique_ptr<ZipCrypto> crypto;
  if (entry.flags & kFlagEncrypted) {
    if (password.empty() || remaining < kEncryptionHeaderSize) return false;
    unsigned char encryption_header[kEncryptionHeaderSize];
    if (!source.ReadAt(offset, encryption_header, sizeof encryption_header)) return false;
    // Entries whose CRC follows the data are checked against the time instead.
    unsigned char check = (entry.flags & kFlagDataDescriptor) ? static_cast<unsigned char>(header.dos_time >> 8)
                                                              : static_cast<unsigned char>(header.crc32 >> 24);
    crypto.reset(new ZipCrypto(password));
    if (!crypto->DecryptHeader(encryption_header, check)) return false;
    offset += kEncryptionHeaderSize;
    remaining -= kEncryptionHeaderSize;
  }

  if (header.method == kMethodStored && remaining != header.uncompressed_size) return false;
  if (header.method == kMethodDeflate && header.uncompressed_size > remaining * kMaxDeflateRatio) return false;

  if (buffer_size == 0) buffer_size = ZipArchive::kDefaultBufferSize;
  buffer_size = std::min(std::max(buffer_size, kMinBufferSize), kMaxBufferSize);
  std::vector<unsigned char> input(static_cast<size_t>(std::min<uint64_t>(buffer_size, std::max<uint64_t>(remaining, 1))));
  VerifiedOutput verified(header.uncompressed_size, sink);

  Inflater inflater;
  std::vector<unsigned char> output;
  if (header.method == kMethodDeflate) {
    if (!inflater.ready()) return false;
    output.resize(buffer_size);
  }
  bool finished = header.method == kMethodStored;
  while (remaining > 0) {
    size_t piece = static_cast<size_t>(std::min<uint64_t>(remaining, input.size()));
    if (!source.ReadAt(offset, input.data(), piece)) return false;
    offset += piece;
    remaining -= piece;
    if (crypto) crypto->Decrypt(input.data(), piece);
    if (header.method == kMethodStored) {
      if (!verified.Write(input.data(), piece)) return false;
    } else {
      if (!InflatePiece(inflater.stream(), input.data(), piece, output, verified, finished)) return false;
      if (finished) break;  // bytes after the end of the deflate stream are ignored
    }
  }
  return finished && verified.Matches(header.crc32);
}

bool BuildNewEntry(const std::string& stored_name, const unsigned char* data, size_t size, time_t modified,
                   const std::string& password, EntryRecord& out) {
  out = EntryRecord();
  if (stored_name.empty() || stored_name.size() > 0xffff) return false;
  if (size >= UINT32_MAX - kEncryptionHeaderSize) return false;
  bool is_directory = stored_name.back() == '/';
  if (is_directory && size != 0) return false;

  ZipEntryHeader& header = out.header;
  header.name = stored_name;
  header.is_directory = is_directory;
  header.attributes = is_directory ? kDosDirectory : kDosArchive;
  zipfs::TimeToDosDateTime(modified, header.dos_date, header.dos_time);
  header.crc32 = static_cast<uint32_t>(crc32(0L, data, static_cast<uInt>(size)));
  header.uncompressed_size = static_cast<uint32_t>(size);
  out.version_made_by = kVersionMadeByDos;
  out.version_needed = kVersionNeeded;
  out.is_new = true;

  std::vector<unsigned char> compressed;
  if (is_directory) {
    header.method = kMethodStored;
  } else {
    header.method = kMethodDeflate;
    Deflater deflater;
    if (!deflater.ready()) return false;
    z_stream& stream = deflater.stream();
    compressed.resize(deflateBound(&stream, static_cast<uLong>(size)));
    stream.next_in = const_cast<unsigned char*>(data);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = compressed.data();
    stream.avail_out = static_cast<uInt>(compressed.size());
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END) return false;
    compressed.resize(compressed.size() - stream.avail_out);
  }

  if (!password.empty() && !is_directory) {
    out.flags |= kFlagEncrypted;
    header.is_encrypted = true;
    ZipCrypto crypto(password);
    out.payload.resize(kEncryptionHeaderSize);
    crypto.MakeHeader(out.payload.data(), static_cast<unsigned char>(header.crc32 >> 24));
    crypto.Encrypt(compressed.data(), compressed.size());
    out.payload.insert(out.payload.end(), compressed.begin(), compressed.end());
  } else {
    out.payload.swap(compressed);
  }
  if (out.payload.size() > UINT32_MAX) return false;
  header.compressed_size = static_cast<uint32_t>(out.payload.size());
  return true;
}

}  // namespace zipdetail
}  // namespace corvane
