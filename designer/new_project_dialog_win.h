// "Create A New Project": asks for a name and a folder and creates the
// project folder with its first project file.
#pragma once

#include <string>

#include "designer/project_files.h"
#include "win32/dialog.h"

namespace corvane {

class NewProjectDialog : public Dialog {
 public:
  // `browse_folder` is the folder current when Browse was last pressed; it
  // is updated when Browse is pressed again.
  explicit NewProjectDialog(std::string* browse_folder) : browse_folder_(browse_folder) {}

  const ProjectLocation& Created() const { return created_; }

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;

 private:
  bool TryCreate();
  void Refuse(const char* text, int focus_id);

  std::string* browse_folder_;
  ProjectLocation created_;
};

}  // namespace corvane
