// The one translation unit that holds stb_image's code (Debian's libstb-dev).
// Only the formats the designer converts, from memory only: file access goes
// through the project's own helpers, which handle the system's path rules.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#define STBI_ONLY_PNG
#define STBI_MAX_DIMENSIONS 16384
#include <stb_image.h>
