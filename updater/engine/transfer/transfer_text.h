// The texts and small rules of the transfer engine that need no Windows:
// size and rate texts, the file-name filter, the names that folder listings
// give their entries, and the progress arithmetic.
#pragma once

#include <cstdint>
#include <string>

namespace corvane {

// "%.1fKB" of size/1024, or "%.1fMB" of size/1048576 once size/1024 exceeds 1024.
std::string FormatSizeText(uint64_t bytes);

// Rate texts. HTTP and FTP show KB/s, switching to MB/s above 1024 KB/s;
// local copies measure and show MB/s only.
std::string FormatRateText(double kilobytes_per_second);
std::string FormatCopyRateText(double megabytes_per_second);

// bytes / (elapsed_ticks * seconds_per_tick * unit_bytes); 0 when no tick
// has elapsed yet. unit_bytes is 1024 for KB/s and 1048576 for MB/s.
double ComputeRate(uint64_t bytes, int64_t elapsed_ticks, double seconds_per_tick,
                   double unit_bytes);

// Rate text after a chunk: replaced only by a positive rate, so the previous
// text stays while the counter has not moved. `copy_rate` selects the MB/s
// measure of local copies.
void UpdateRateText(std::string* rate_text, uint64_t bytes, int64_t elapsed_ticks,
                    double seconds_per_tick, bool copy_rate);

// bytes * 100 / total truncated, kept within 0..100 (0 when total is 0, e.g.
// an FTP file whose length could not be learnt).
int TransferPercent(uint64_t bytes, uint64_t total);

// Rate line of the download page: size text + " (" + rate text + ")".
std::string RateLineText(uint64_t total, const std::string& rate_text);
// Tray tooltip during a download.
std::string DownloadTooltipText(const std::string& title, uint64_t total, int percent,
                                const std::string& rate_text);
// Label of an item-list row with the size appended, as "(" + size text + ")".
std::string AnnotatedRowLabel(const std::string& label, uint64_t size);
// Directory items are listed as "<name>": their rows show the progress of
// the whole item, not of one file.
bool IsDirectoryRowLabel(const std::string& label);

// A comma-separated list of wildcard patterns ("*" any run, "?" one
// character, ASCII case folded); blanks around the whole filter are
// trimmed, empty patterns ignored; an empty filter passes every name.
bool MatchFileFilter(const std::string& file_name, const std::string& filter);
bool MatchWildcard(const std::string& name, const std::string& pattern);

// Subfolder of a listed folder relative to the listing root: the folder
// without the root's length of leading characters, then without one leading
// and one trailing "\" or "/".
std::string ListingSubfolder(const std::string& root, const std::string& folder);
// Flat name in the temporary folder: folder + "." + name with "\" and "/"
// (and, for local listings, ":") replaced by "_".
std::string FtpTemporaryName(const std::string& folder, const std::string& name);
std::string LocalTemporaryName(const std::string& folder, const std::string& name);

// Splits an FTP remote path at its last "/": directory up to and including
// it, file name after it. Without "/" the directory is "/".
void SplitFtpRemotePath(const std::string& remote_path, std::string* directory,
                        std::string* file_name);

// Folder part of a local path: everything up to its last "\" (empty when
// there is none).
std::string LocalFolderOf(const std::string& path);

}  // namespace corvane
