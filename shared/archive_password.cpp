#include "shared/archive_password.h"

namespace corvane {

namespace {

// Both programs must agree on these; changing either makes every archive
// written before unreadable.
const char kFirstPiece[] = "Cv7q";
const char kSecondPiece[] = "R2xe";

}  // namespace

std::string ArchivePassword() { return std::string(kFirstPiece) + kSecondPiece; }

}  // namespace corvane
