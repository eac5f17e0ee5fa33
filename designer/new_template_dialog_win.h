// "Create A New Template": asks for the template's name and author before
// "Save as template" asks for the file.
#pragma once

#include <string>

#include "win32/dialog.h"

namespace corvane {

class NewTemplateDialog : public Dialog {
 public:
  const std::string& Name() const { return name_; }
  const std::string& Author() const { return author_; }

 protected:
  bool OnCommand(int id, int code, HWND control) override;

 private:
  std::string name_;
  std::string author_;
};

}  // namespace corvane
