// The URL group of the System, File and Directory pages: list box, protocol,
// address, FTP user and password, with Add, Update, Delete and the rule that
// enables the FTP fields and Browse. The page owns Browse and the flag.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "designer/url_list.h"

namespace corvane {

class UrlGroup {
 public:
  UrlGroup(std::vector<std::string> protocols, const char* out_of_range_message)
      : protocols_(std::move(protocols)), out_of_range_(out_of_range_message) {}

  void Attach(HWND dialog, HWND message_owner);

  void SetLines(const std::vector<std::string>& lines);
  const std::vector<std::string>& Lines() const { return editor_.Lines(); }
  std::string Packed() const { return editor_.Packed(); }

  int Protocol() const;
  void SetFields(int protocol, const std::string& address, const std::string& user,
                 const std::string& password);
  std::string Address() const;
  std::string User() const;
  std::string Password() const;
  void SetAddress(const std::string& address);
  std::string ProtocolText() const;

  // Handles the group's commands; true when the list changed.
  bool OnCommand(int id, int code);
  void ApplyEnabling();

 private:
  void RefreshList();
  void FillFieldsFromSelection();

  std::vector<std::string> protocols_;
  const char* out_of_range_;
  HWND dialog_ = nullptr;
  HWND owner_ = nullptr;
  UrlListEditor editor_;
};

}  // namespace corvane
