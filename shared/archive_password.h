// The password of the archives both programs write and read ("update.bin",
// "ui.bin", UI templates). It is put together at run time from two pieces so
// that it never stands whole in the programs' data.
#pragma once

#include <string>

namespace corvane {

std::string ArchivePassword();

}  // namespace corvane
