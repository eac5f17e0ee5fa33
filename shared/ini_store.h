// Sections-and-keys store for every configuration file of both programs.
//
// The store keeps the text as an ordered array of lines and edits that array
// in place, so a file written by hand keeps its layout, blank lines and
// foreign lines when one value changes. There is no comment syntax, no
// escaping and no quoting; names compare byte for byte, case significant.
//
// A store starts file-backed ("my.ini"): every lookup re-reads the file and
// every change rewrites it before returning. LoadFromText turns it into an
// in-memory store for text that came from an archive member or a download;
// its changes are taken out with ToText.
#pragma once

#include <string>
#include <vector>

namespace corvane {

class IniStore {
 public:
  IniStore() = default;

  void SetFileName(const std::string& name) { file_name_ = name; }
  const std::string& FileName() const { return file_name_; }

  // Reads the file ("\r\n" or "\n" line ends). False when it cannot be
  // opened; the lines are then left as they were.
  bool Load();

  // Takes the lines from text and leaves file-backed mode for good. False
  // (and nothing changed) when the text is empty. One terminating zero byte
  // is dropped, as are empty lines before the first line with content.
  bool LoadFromText(const std::string& text);

  // File-backed: writes every line followed by "\r\n". Text mode: no-op.
  bool Save() const;

  // Text mode: every line followed by "\r\n". File-backed: empty.
  std::string ToText() const;

  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& default_value = std::string(),
                        int occurrence = 1);
  int GetInt(const std::string& section, const std::string& key, int default_value);

  // Sets, inserts or (with an empty value) deletes a key, then saves in
  // file-backed mode. False when a name or the value would break the line
  // structure (line breaks, "=" or a leading "[" in the key, "]" in the
  // section, white space around a name) or when the file cannot be written.
  bool SetString(const std::string& section, const std::string& key,
                 const std::string& value);
  bool SetInt(const std::string& section, const std::string& key, int value);

  bool IsFileBacked() const { return file_backed_; }
  bool LastOpenSucceeded() const { return last_open_ok_; }
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  // Index of the first header naming `section`, or -1.
  long FindSection(const std::string& section) const;
  // Index of the next header after `header_index`, or the line count.
  size_t SectionEnd(size_t header_index) const;

  std::string file_name_ = "my.ini";
  std::vector<std::string> lines_;
  bool file_backed_ = true;
  bool last_open_ok_ = false;
};

// Reads one sub-value of a packed value: pairs of name, "=" and value joined
// by ";;" (the first pair without a leading ";;"). A name is found behind
// ";;" or at the very start; the value runs to the next ";;". Absent -> "".
std::string GetAttribute(const std::string& packed, const std::string& name);

// Cuts text into lines at "\n", dropping trailing "\r"s of each line; the
// piece after the last "\n" is a line only when it is not empty.
std::vector<std::string> SplitIniLines(const std::string& text);

}  // namespace corvane
