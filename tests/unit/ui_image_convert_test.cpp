// Image conversion for the UI package: pictures made by ImageMagick must come
// out as BMPs the updater accepts, with ImageMagick's own pixels.
#include "designer/uieditor/image_convert.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "designer/uieditor/ui_config_writer.h"
#include "designer/uieditor/ui_design_edit.h"
#include "shared/archive_password.h"
#include "shared/zip_archive.h"
#include "tests/unit/ui_editor_test_support.h"
#include "tests/unit/zip_test_support.h"
#include "updater/ui/skin_bitmap.h"

namespace corvane {
namespace {

using ziptest::Quote;
using ziptest::ReadFile;
using ziptest::RunCommand;
using ziptest::TempDir;
using ziptest::WriteFile;

ByteBuffer Bytes(const std::string& s) { return ByteBuffer(s.begin(), s.end()); }
std::string Text(const ByteBuffer& b) { return std::string(b.begin(), b.end()); }

void Convert(const std::string& arguments) {
  const ziptest::CommandResult result = RunCommand("convert " + arguments);
  ASSERT_EQ(result.exit_code, 0) << arguments << "\n" << result.output;
}

// ImageMagick's own decoding of a file as packed RGB.
std::string MagickPixels(const TempDir& dir, const std::string& file) {
  const std::string raw = dir / (file + ".rgb");
  Convert(Quote(dir / file) + " -depth 8 " + Quote("rgb:" + raw));
  return ReadFile(raw);
}

struct Difference {
  int max = 0;
  double mean = 0;
};
Difference Compare(const std::vector<uint8_t>& ours, const std::string& theirs) {
  Difference d;
  if (ours.size() != theirs.size() || ours.empty()) {
    d.max = 999;
    return d;
  }
  long total = 0;
  for (size_t i = 0; i < ours.size(); ++i) {
    const int diff = std::abs(static_cast<int>(ours[i]) - static_cast<unsigned char>(theirs[i]));
    d.max = std::max(d.max, diff);
    total += diff;
  }
  d.mean = static_cast<double>(total) / static_cast<double>(ours.size());
  return d;
}

TEST(UiImageConvert, GifAndJpegMatchImageMagicksPixels) {
  TempDir dir;
  Convert("-size 37x23 gradient:red-blue -fill yellow -draw 'rectangle 5,5 15,12' " + Quote(dir / "pattern.png"));
  Convert(Quote(dir / "pattern.png") + " -colors 64 " + Quote(dir / "pattern.gif"));
  Convert(Quote(dir / "pattern.png") + " -quality 80 " + Quote(dir / "pattern.jpg"));
  Convert(Quote(dir / "pattern.png") + " -quality 95 -sampling-factor 1x1 " + Quote(dir / "fine.jpg"));
  struct Case {
    const char* file;
    int max_difference;    // a single sample
    double mean_difference;
  };
  // GIF is lossless; JPEG decoders may differ in their inverse DCT and
  // chroma upsampling, by a few levels.
  const Case cases[] = {{"pattern.gif", 0, 0.0}, {"pattern.jpg", 8, 1.0}, {"fine.jpg", 4, 0.5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const ByteBuffer source = Bytes(ReadFile(dir / c.file));
    const std::optional<ByteBuffer> bmp = ConvertToSkinBmp(source.data(), source.size());
    ASSERT_TRUE(bmp);
    ASSERT_TRUE(ParseBmpLayout(bmp->data(), bmp->size())) << "the updater must accept it";
    RgbImage pixels;
    ASSERT_TRUE(uitest::ReadBmp24(*bmp, &pixels));
    EXPECT_EQ(pixels.width, 37);
    EXPECT_EQ(pixels.height, 23);
    const Difference d = Compare(pixels.rgb, MagickPixels(dir, c.file));
    EXPECT_LE(d.max, c.max_difference);
    EXPECT_LE(d.mean, c.mean_difference);
    int width = 0, height = 0;
    ASSERT_TRUE(ReadPictureSize(source.data(), source.size(), &width, &height));
    EXPECT_EQ(width * 100 + height, 3723);
  }
}

TEST(UiImageConvert, JpegWithAnOversizedHuffmanTableIsRefusedBeforeDecoding) {
  TempDir dir;
  Convert("-size 8x8 xc:orange " + Quote(dir / "small.jpg"));
  ByteBuffer jpeg = Bytes(ReadFile(dir / "small.jpg"));
  ASSERT_TRUE(ConvertToSkinBmp(jpeg.data(), jpeg.size()));
  size_t at = 0;
  while (at + 1 < jpeg.size() && !(jpeg[at] == 0xFF && jpeg[at + 1] == 0xC4)) ++at;
  ASSERT_LT(at + 21, jpeg.size());
  // 16 code lengths of 32 symbols each: 512 symbols where 256 is the most.
  for (size_t i = 0; i < 16; ++i) jpeg[at + 5 + i] = 32;
  EXPECT_FALSE(ConvertToSkinBmp(jpeg.data(), jpeg.size()));
  int width = 0, height = 0;
  EXPECT_FALSE(ReadPictureSize(jpeg.data(), jpeg.size(), &width, &height));
}

TEST(UiImageConvert, BmpsTheUpdaterReadsAreCopiedOthersAreRewritten) {
  TempDir dir;
  // An 8-bit palette BMP is what LoadSkinBitmap takes as it is.
  Convert("-size 9x5 gradient:white-black -type Palette " + Quote("BMP3:" + dir / "palette.bmp"));
  const ByteBuffer palette = Bytes(ReadFile(dir / "palette.bmp"));
  ASSERT_TRUE(ParseBmpLayout(palette.data(), palette.size()));
  EXPECT_EQ(ConvertToSkinBmp(palette.data(), palette.size()), palette);

  // A BMP with a file size that lies is refused by the updater, decoded and
  // written afresh here.
  ByteBuffer lying = uitest::MakeBmp(6, 4);
  lying[2] = 0xff;
  lying[3] = 0xff;
  ASSERT_FALSE(ParseBmpLayout(lying.data(), lying.size()));
  const std::optional<ByteBuffer> fixed = ConvertToSkinBmp(lying.data(), lying.size());
  ASSERT_TRUE(fixed);
  EXPECT_TRUE(ParseBmpLayout(fixed->data(), fixed->size()));
  RgbImage a, b;
  ASSERT_TRUE(uitest::ReadBmp24(*fixed, &a));
  ASSERT_TRUE(uitest::ReadBmp24(uitest::MakeBmp(6, 4), &b));
  EXPECT_EQ(a.rgb, b.rgb);

  // Transparent GIF pixels are put on white.
  Convert("-size 3x2 xc:none -fill red -draw 'point 1,0' " + Quote(dir / "clear.gif"));
  const ByteBuffer clear = Bytes(ReadFile(dir / "clear.gif"));
  const std::optional<ByteBuffer> on_white = ConvertToSkinBmp(clear.data(), clear.size());
  ASSERT_TRUE(on_white);
  RgbImage white;
  ASSERT_TRUE(uitest::ReadBmp24(*on_white, &white));
  const std::vector<uint8_t> expected = {255, 255, 255, 255, 0, 0, 255, 255, 255,
                                         255, 255, 255, 255, 255, 255, 255, 255, 255};
  EXPECT_EQ(white.rgb, expected);

  for (const std::string& junk : {std::string(), std::string("GIF89a"), std::string(200, 'x')}) {
    const ByteBuffer bytes = Bytes(junk);
    EXPECT_FALSE(ConvertToSkinBmp(bytes.data(), bytes.size()));
  }
}

TEST(UiImageConvert, SystemIconStripsMustBeSixteenHighAndWholeFrames) {
  struct Case {
    ByteBuffer bytes;
    SysIconCheck expected;
    int frames;
  };
  const Case cases[] = {
      {uitest::MakeBmp(64, 16), SysIconCheck::kAccepted, 4},
      {uitest::MakeBmp(16, 16), SysIconCheck::kAccepted, 1},
      {uitest::MakeBmp(64, 32), SysIconCheck::kWrongSize, 0},
      {uitest::MakeBmp(40, 16), SysIconCheck::kWrongSize, 0},
      {uitest::MakeBmp(8, 16), SysIconCheck::kWrongSize, 0},
      {Bytes("GIF89a not a bitmap"), SysIconCheck::kWrongFormat, 0},
  };
  for (const Case& c : cases) {
    int frames = 0;
    EXPECT_EQ(CheckSysIconBitmap(c.bytes.data(), c.bytes.size(), &frames), c.expected);
    EXPECT_EQ(frames, c.frames);
  }
  EXPECT_STREQ(SysIconMessage(SysIconCheck::kWrongSize), "Image size does not meet the requirements.");
  EXPECT_STREQ(SysIconMessage(SysIconCheck::kWrongFormat), "Image format does not meet the requirements.");
}

TEST(UiImageConvert, IconsBecomeOneFrameOnCyan) {
  TempDir dir;
  // 16x16 red square on transparent, 32x32 blue square; a 256 image is
  // stored as PNG inside the icon.
  Convert("-size 16x16 xc:none -fill red -draw 'rectangle 4,4 11,11' " + Quote(dir / "s16.png"));
  Convert("-size 32x32 xc:none -fill blue -draw 'rectangle 8,8 23,23' " + Quote(dir / "s32.png"));
  Convert("-size 256x256 xc:none -fill lime -draw 'rectangle 64,64 191,191' " + Quote(dir / "s256.png"));
  Convert(Quote(dir / "s32.png") + " " + Quote(dir / "s16.png") + " " + Quote(dir / "both.ico"));
  Convert(Quote(dir / "s32.png") + " " + Quote(dir / "only32.ico"));
  Convert(Quote(dir / "s256.png") + " " + Quote(dir / "png256.ico"));
  struct Case {
    const char* file;
    uint8_t r, g, b;  // the square's colour
  };
  const Case cases[] = {{"both.ico", 255, 0, 0}, {"only32.ico", 0, 0, 255}, {"png256.ico", 0, 255, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const ByteBuffer icon = Bytes(ReadFile(dir / c.file));
    const std::optional<ByteBuffer> strip = IconToSysIconStrip(icon.data(), icon.size());
    ASSERT_TRUE(strip);
    int frames = 0;
    EXPECT_EQ(CheckSysIconBitmap(strip->data(), strip->size(), &frames), SysIconCheck::kAccepted);
    EXPECT_EQ(frames, 1);
    RgbImage pixels;
    ASSERT_TRUE(uitest::ReadBmp24(*strip, &pixels));
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        const bool inside = x >= 4 && x <= 11 && y >= 4 && y <= 11;
        const uint8_t* p = &pixels.rgb[static_cast<size_t>(y * 16 + x) * 3];
        const uint8_t want[3] = {inside ? c.r : uint8_t{0}, inside ? c.g : uint8_t{255}, inside ? c.b : uint8_t{255}};
        ASSERT_TRUE(p[0] == want[0] && p[1] == want[1] && p[2] == want[2]) << x << "," << y;
      }
    }
  }
  const ByteBuffer not_icon = Bytes(ReadFile(dir / "s16.png"));
  EXPECT_FALSE(IconToSysIconStrip(not_icon.data(), not_icon.size()));
}

TEST(UiImageConvert, SharedSourcesAreConvertedAndPackedOnce) {
  TempDir dir;
  WriteFile(dir / "a/logo.bmp", Text(uitest::MakeBmp(4, 4, 1)));
  WriteFile(dir / "b/logo.bmp", Text(uitest::MakeBmp(4, 4, 2)));
  WriteFile(dir / "sysicon.bmp", Text(uitest::MakeBmp(5, 5, 3)));
  UiDesign design = NewUiDesign();
  for (int n = 0; n < kWizardWindows; ++n) design.windows[n].images[0].source = dir / "a/logo.bmp";
  design.windows[2].images[1].source = dir / "b/logo.bmp";     // same base name, another file
  design.windows[3].images[1].source = dir / "sysicon.bmp";    // must not take the icon's name
  UiPackage package;
  std::string error;
  ASSERT_TRUE(BuildUiPackage(design, "1.0", &package, &error)) << error;
  ASSERT_EQ(package.files.size(), 3u);
  EXPECT_EQ(package.files[0].entry, "res\\logo.bmp");
  EXPECT_EQ(package.files[1].entry, "res\\logo_2.bmp");
  EXPECT_EQ(package.files[2].entry, "res\\sysicon_2.bmp");

  const std::string archive = dir / "ui.bin";
  ASSERT_TRUE(PackUiPackage(package, archive, "ui.dat", ""));
  ZipArchive zip;
  ASSERT_TRUE(zip.Open(archive));
  EXPECT_EQ(zip.GetEntryCount(), 4);
  const auto logo2 = ReadArchiveEntry(archive, "res\\logo_2.bmp", ArchivePassword());
  ASSERT_TRUE(logo2);
  EXPECT_EQ(std::string(logo2->data(), logo2->size() - 1), Text(uitest::MakeBmp(4, 4, 2)));

  // The build's folder form.
  ASSERT_TRUE(WriteUiPackageToFolder(package, dir / "out", "ui.dat", &error)) << error;
  EXPECT_EQ(ReadFile(dir / "out/res/logo.bmp"), Text(uitest::MakeBmp(4, 4, 1)));
  EXPECT_EQ(ReadFile(dir / "out/ui.dat"), package.text);
}

// About a kilobyte of RLE8 that declares 16384 x 16384 pixels: neither
// copied as it is nor decoded, so it never reaches the package.
TEST(UiImageConvert, RleBmpsLargerThanThePixelBoundAreRefused) {
  ByteBuffer b(14 + 40 + 1024 + 2, 0);
  auto put32 = [&b](size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i)); };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, static_cast<uint32_t>(b.size()));
  put32(10, 14 + 40 + 1024);
  put32(14, 40);
  put32(18, 16384);
  put32(22, 16384);
  b[26] = 1;
  b[28] = 8;
  put32(30, 1);  // RLE8
  put32(34, 2);
  b[b.size() - 1] = 1;  // end of bitmap
  EXPECT_EQ(b.size(), 1080u);
  EXPECT_FALSE(ConvertToSkinBmp(b.data(), b.size()));
  int width = 0, height = 0;
  EXPECT_FALSE(ReadPictureSize(b.data(), b.size(), &width, &height));
  TempDir dir;
  WriteFile(dir / "huge.bmp", Text(b));
  EXPECT_EQ(CheckImageFile(dir / "huge.bmp"), "Image file format error:" + dir / "huge.bmp");
  put32(18, 64);
  put32(22, 64);
  EXPECT_TRUE(ConvertToSkinBmp(b.data(), b.size())) << "the same file at a sane size is copied";
}

TEST(UiImageConvert, BadSourcesGiveTheWritersMessages) {
  TempDir dir;
  WriteFile(dir / "junk.gif", "not a picture");
  WriteFile(dir / "pic.png", Text(uitest::MakeBmp(4, 4)));
  WriteFile(dir / "tall.bmp", Text(uitest::MakeBmp(16, 32)));
  struct Case {
    std::string image;
    std::string icon;
    std::string message;
  };
  const Case cases[] = {
      {dir / "junk.gif", "", "Image file format error:" + dir / "junk.gif"},
      {dir / "pic.png", "", "Image file format error:" + dir / "pic.png"},
      {dir / "gone.jpg", "", "Failed to copy image file:" + dir / "gone.jpg"},
      {"", dir / "tall.bmp", "Image size does not meet the requirements."},
      {"", dir / "junk.gif", "Image file format error:" + dir / "junk.gif"},
  };
  for (const Case& c : cases) {
    UiDesign design = NewUiDesign();
    design.windows[1].images[0].source = c.image;
    design.sysicon = c.icon;
    UiPackage package;
    package.text = "untouched";
    std::string error;
    EXPECT_FALSE(BuildUiPackage(design, "1.0", &package, &error));
    EXPECT_EQ(error, c.message);
    EXPECT_EQ(package.text, "untouched");
  }
}

TEST(UiImageConvert, BrowseChecksOfImagesAndTheSystemIcon) {
  TempDir dir;
  WriteFile(dir / "ok.bmp", Text(uitest::MakeBmp(64, 16)));
  WriteFile(dir / "tall.bmp", Text(uitest::MakeBmp(64, 32)));
  WriteFile(dir / "fake.bmp", "BM but nothing else");
  WriteFile(dir / "any.ico", "not even an icon");
  WriteFile(dir / "pic.gif", "GIF89a broken");
  struct Case {
    std::string path;
    std::string image_message;
    std::string icon_message;
  };
  const std::string size = "Image size does not meet the requirements.";
  const std::string format = "Image format does not meet the requirements.";
  const Case cases[] = {
      {dir / "ok.bmp", "", ""},
      {dir / "tall.bmp", "", size},
      {dir / "fake.bmp", "Image file format error:" + dir / "fake.bmp", format},
      {dir / "any.ico", "Image file format error:" + dir / "any.ico", ""},  // icons are taken as they are
      {dir / "pic.gif", "Image file format error:" + dir / "pic.gif", format},
      {dir / "none.bmp", "Image file format error:" + dir / "none.bmp", format},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckImageFile(c.path), c.image_message) << c.path;
    EXPECT_EQ(CheckSystemIconFile(c.path), c.icon_message) << c.path;
  }
}

}  // namespace
}  // namespace corvane
