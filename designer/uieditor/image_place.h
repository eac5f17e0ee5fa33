// Where a design's pictures may be read from. A project comes from a
// repository or a colleague, so its image and icon paths are not trusted:
// only files inside the project's folder (or the designer's template folder,
// for a template's design) are opened. A relative path lies in the project
// folder; an absolute path elsewhere, a network path ("\\server\share") or a
// path with ".." is refused, so drawing the UI-Design tab or building never
// reaches out to another folder or a share.
#pragma once

#include <string>
#include <vector>

#include "designer/uieditor/ui_design.h"

namespace corvane {

extern const char kImageOutsideMessage[];  // "The image is not in the project folder: " + path

// The file to read for `source`: itself when it lies inside one of
// `folders` (compared without regard to case, "/" and "\" alike), the first
// folder + `source` for a plain relative path; empty when neither.
std::string PlacedImagePath(const std::string& source, const std::vector<std::string>& folders);

// `path` relative to `folder` when it lies inside it ("images\logo.gif"),
// else `path` as it is.
std::string RelativeToFolder(const std::string& path, const std::string& folder);

// Every image source and the system icon of the design that can be placed
// replaced by its placed path; the others stay as they are. False, with the
// message for the first of those, when any source cannot be placed.
bool PlaceDesignImages(UiDesign* design, const std::vector<std::string>& folders, std::string* error);

// Every source and the icon written relative to the project folder when they
// lie in it, so the project opens the same from another place.
UiDesign DesignRelativeTo(const UiDesign& design, const std::string& project_folder);

// Where a picture chosen from outside the project is copied to:
// project folder + "images" + its file name, or with "_2", "_3", ... before
// the extension when that name is taken (`exists`).
std::string ImageCopyTarget(const std::string& project_folder, const std::string& chosen,
                            bool (*exists)(const std::string&));

}  // namespace corvane
