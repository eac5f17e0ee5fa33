#include "updater/ui/skin_bitmap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace corvane {
namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Builds a BMP file the way common writers do: file header, 40-byte
// information header, masks for bit fields, colour table, rows padded to 4
// bytes. Tests then damage single fields.
struct BmpRecipe {
  int32_t width = 4;
  int32_t height = 2;
  uint16_t bits = 24;
  uint32_t compression = 0;
  uint32_t used_colors = 0;
  uint32_t table_entries = 0;  // stored colour entries
  std::vector<uint8_t> rle;    // pixel data for RLE images
};

std::vector<uint8_t> MakeBmp(const BmpRecipe& recipe) {
  const size_t masks = recipe.compression == 3 ? 12 : 0;
  const size_t offset = 14 + 40 + masks + recipe.table_entries * 4;
  size_t pixel_bytes;
  if (!recipe.rle.empty()) {
    pixel_bytes = recipe.rle.size();
  } else {
    const size_t stride = ((static_cast<size_t>(recipe.width) * recipe.bits + 31) / 32) * 4;
    pixel_bytes = stride * static_cast<size_t>(recipe.height < 0 ? -recipe.height : recipe.height);
  }
  std::vector<uint8_t> b(offset + pixel_bytes, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, static_cast<uint32_t>(b.size()));
  Put32(b, 10, static_cast<uint32_t>(offset));
  Put32(b, 14, 40);
  Put32(b, 18, static_cast<uint32_t>(recipe.width));
  Put32(b, 22, static_cast<uint32_t>(recipe.height));
  Put16(b, 26, 1);
  Put16(b, 28, recipe.bits);
  Put32(b, 30, recipe.compression);
  Put32(b, 34, static_cast<uint32_t>(pixel_bytes));
  Put32(b, 46, recipe.used_colors);
  for (size_t i = 0; i < recipe.table_entries; ++i) {
    b[14 + 40 + masks + i * 4] = static_cast<uint8_t>(i);  // blue ramp
  }
  for (size_t i = 0; i < recipe.rle.size(); ++i) b[offset + i] = recipe.rle[i];
  for (size_t i = offset; i < b.size() && recipe.rle.empty(); ++i) b[i] = static_cast<uint8_t>(i * 7);
  return b;
}

std::optional<BmpLayout> Layout(const std::vector<uint8_t>& b) { return ParseBmpLayout(b.data(), b.size()); }

TEST(SkinBitmapAccepts, TwentyFourBitWithoutColourTable) {
  BmpRecipe recipe;
  recipe.width = 5;  // 15 bytes per row, padded to 16
  recipe.height = 3;
  const auto b = MakeBmp(recipe);
  const auto layout = Layout(b);
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->bits_offset, 54u);
  EXPECT_EQ(layout->bits_size, 48u);
  EXPECT_EQ(layout->stored_colors, 0u);
  EXPECT_EQ(layout->table_length, uint64_t{1} << 24);
  EXPECT_FALSE(layout->WantsPalette());
  EXPECT_EQ(layout->InfoSize(), 40u);
}

TEST(SkinBitmapAccepts, EightBitWithFullAndShortPalettes) {
  BmpRecipe recipe;
  recipe.bits = 8;
  recipe.width = 3;
  recipe.table_entries = 256;
  auto layout = Layout(MakeBmp(recipe));
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->colors_offset, 54u);
  EXPECT_EQ(layout->bits_offset, 54u + 1024u);
  EXPECT_EQ(layout->stored_colors, 256u);
  EXPECT_TRUE(layout->WantsPalette());
  EXPECT_EQ(layout->InfoSize(), 40u + 1024u);

  recipe.used_colors = 16;
  recipe.table_entries = 16;
  layout = Layout(MakeBmp(recipe));
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->bits_offset, 54u + 64u);
  EXPECT_EQ(layout->table_length, 16u);
}

TEST(SkinBitmapAccepts, OtherDepthsLayoutsAndCompressions) {
  BmpRecipe mono;
  mono.bits = 1;
  mono.width = 33;  // 5 bytes of bits, padded to 8
  mono.table_entries = 2;
  auto layout = Layout(MakeBmp(mono));
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->bits_offset, 62u);
  EXPECT_EQ(layout->bits_size, 16u);

  BmpRecipe fields;
  fields.bits = 16;
  fields.compression = 3;
  layout = Layout(MakeBmp(fields));
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->colors_offset, 66u);  // after the three masks
  EXPECT_EQ(layout->bits_offset, 66u);
  EXPECT_EQ(layout->InfoSize(), 52u);

  BmpRecipe top_down;
  top_down.height = -2;
  EXPECT_TRUE(Layout(MakeBmp(top_down)));

  BmpRecipe rle;
  rle.bits = 8;
  rle.compression = 1;
  rle.table_entries = 256;
  rle.rle = {4, 1, 0, 0, 4, 2, 0, 1};  // two rows of four pixels, end of bitmap
  layout = Layout(MakeBmp(rle));
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->bits_size, 8u);

  // A gap between the colour table and the pixels is allowed: the pixels
  // start where the file header says.
  auto gap = MakeBmp(BmpRecipe());
  gap.insert(gap.begin() + 54, 10, 0xEE);
  Put32(gap, 10, 64);
  Put32(gap, 2, static_cast<uint32_t>(gap.size()));
  layout = Layout(gap);
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->bits_offset, 64u);
}

TEST(SkinBitmapAccepts, TheBuiltInIconStrip) {
  std::ifstream in(std::string(CORVANE_SOURCE_DIR) + "/updater/res/icon_strip.bmp", std::ios::binary);
  std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto layout = Layout(b);
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->width, 64);
  EXPECT_EQ(layout->height, 16);
}

TEST(SkinBitmapRejects, EveryTruncation) {
  BmpRecipe recipe;
  recipe.bits = 8;
  recipe.table_entries = 256;
  const auto full = MakeBmp(recipe);
  ASSERT_TRUE(Layout(full));
  for (size_t n = 0; n < full.size(); ++n) {
    std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(n));
    EXPECT_FALSE(Layout(cut)) << "length " << n;
  }
  // The same with a file size of 0 in the header, which some writers leave:
  // the pixel rows themselves must still be complete.
  auto unsized = full;
  Put32(unsized, 2, 0);
  EXPECT_TRUE(Layout(unsized));
  unsized.pop_back();
  EXPECT_FALSE(Layout(unsized));
  EXPECT_FALSE(ParseBmpLayout(nullptr, 100));
}

TEST(SkinBitmapRejects, DamagedHeaderFields) {
  const BmpRecipe base;
  struct Case {
    const char* what;
    size_t at;
    uint32_t value;
    bool wide;
  };
  const Case cases[] = {
      {"not BM", 0, 'B' | ('A' << 8), false},
      {"file size beyond the buffer", 2, 100000, true},
      {"pixel offset inside the header", 10, 40, true},
      {"pixel offset zero", 10, 0, true},
      {"pixel offset beyond the file", 10, 100000, true},
      {"core header", 14, 12, true},
      {"header of unknown size", 14, 64, true},
      {"header larger than the file", 14, 124, true},
      {"zero width", 18, 0, true},
      {"negative width", 18, 0xFFFFFFFF, true},
      {"huge width", 18, 16385, true},
      {"width far beyond the data", 18, 16000, true},
      {"zero height", 22, 0, true},
      {"huge height", 22, 1000000, true},
      {"huge top-down height", 22, static_cast<uint32_t>(-1000000), true},
      {"two planes", 26, 2, false},
      {"odd bit count", 28, 7, false},
      {"JPEG compression", 30, 4, true},
      {"bit fields on 24 bits", 30, 3, true},
      {"RLE8 on 24 bits", 30, 1, true},
      {"image size beyond the data", 34, 100000, true},
      {"absurd colour count", 46, 0xFFFFFFFF, true},
      {"colour table beyond the file", 46, 200, true},
  };
  for (const Case& c : cases) {
    auto b = MakeBmp(base);
    ASSERT_TRUE(Layout(b));
    if (c.wide) {
      Put32(b, c.at, c.value);
    } else {
      Put16(b, c.at, c.value);
    }
    EXPECT_FALSE(Layout(b)) << c.what;
  }
}

TEST(SkinBitmapRejects, ColourCountsAndOffsetsThatDoNotFitTheDepth) {
  BmpRecipe recipe;
  recipe.bits = 8;
  recipe.table_entries = 256;
  auto b = MakeBmp(recipe);
  Put32(b, 46, 257);  // more colours than 8 bits can index
  EXPECT_FALSE(Layout(b));

  b = MakeBmp(recipe);
  Put32(b, 10, 54 + 512);  // pixels claimed to start inside the colour table
  EXPECT_FALSE(Layout(b));

  BmpRecipe four;
  four.bits = 4;
  four.table_entries = 16;
  b = MakeBmp(four);
  Put32(b, 46, 17);
  EXPECT_FALSE(Layout(b));

  BmpRecipe rle;
  rle.bits = 8;
  rle.compression = 1;
  rle.table_entries = 256;
  rle.rle = {0, 1};
  b = MakeBmp(rle);
  ASSERT_TRUE(Layout(b));
  Put32(b, 22, static_cast<uint32_t>(-2));  // RLE cannot be top-down
  EXPECT_FALSE(Layout(b));
  b = MakeBmp(rle);
  Put32(b, 34, 0);  // RLE without its length
  EXPECT_FALSE(Layout(b));
}

TEST(SkinBitmapRejects, ProfileDataOutsideTheHeader) {
  // A 124-byte header whose colour space points at an embedded profile.
  BmpRecipe recipe;
  auto b = MakeBmp(recipe);
  b.insert(b.begin() + 54, 124 - 40, 0);
  Put32(b, 14, 124);
  Put32(b, 10, 14 + 124);
  Put32(b, 2, static_cast<uint32_t>(b.size()));
  ASSERT_TRUE(Layout(b));
  Put32(b, 14 + 56, 0x4D424544);  // "MBED"
  EXPECT_FALSE(Layout(b));
}

// The pixel bound holds however few bytes the pixels take: an RLE8 file of
// about a kilobyte may declare 16384 x 16384 pixels.
TEST(SkinBitmapRejects, MorePixelsThanTheBoundEvenWhenCompressed) {
  struct Case {
    int32_t width, height;
    bool accepted;
  };
  const Case cases[] = {{4096, 4096, true}, {16384, 1024, true}, {4097, 4096, false},
                        {16384, 16384, false}, {4096, 4097, false}};
  for (const Case& c : cases) {
    BmpRecipe rle;
    rle.width = c.width;
    rle.height = c.height;
    rle.bits = 8;
    rle.compression = 1;
    rle.table_entries = 256;
    rle.rle = {0, 1};  // end of bitmap
    EXPECT_EQ(Layout(MakeBmp(rle)).has_value(), c.accepted) << c.width << "x" << c.height;
  }
  EXPECT_EQ(kMaxSkinBitmapPixels, uint64_t{4096} * 4096);
}

}  // namespace
}  // namespace corvane
