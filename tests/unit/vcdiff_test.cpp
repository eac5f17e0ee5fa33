// The VCDIFF codec against the reference, xdelta3: its patches (without
// secondary compression) decode here byte for byte, ours decode there, and
// hostile patches are refused with a reason and without a stray read or
// write (the suite runs under ASan and UBSan).
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "shared/vcdiff/vcdiff_decoder.h"
#include "shared/vcdiff/vcdiff_encoder.h"
#include "shared/vcdiff/vcdiff_format.h"
#include "tests/unit/zip_test_support.h"

namespace corvane {
namespace {

using ziptest::Quote;
using ziptest::RandomBytes;
using ziptest::ReadFile;
using ziptest::RunCommand;
using ziptest::TempDir;
using ziptest::WriteFile;

ByteSpan Span(const std::string& s) {
  return ByteSpan{reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

constexpr VcdiffLimits kRoomy{uint64_t{1} << 30, size_t{1} << 24};

bool Decode(const std::string& source, const std::string& patch, std::string* out,
            std::string* error, VcdiffLimits limits = kRoomy) {
  return DecodeVcdiffToString(Span(source), Span(patch), limits, out, error);
}

std::string BuildRoot() {
  const char* build = std::getenv("CORVANE_BUILD");
  return build ? build : std::string(CORVANE_SOURCE_DIR) + "/build";
}

// Old and new versions of a file as publishers ship them.
struct Pair {
  std::string name, old_bytes, new_bytes;
};

std::string EditedText(const std::string& text) {
  std::string edited = text;
  edited.replace(1000, 40, "a changed line of the release notes\r\n");
  edited.insert(50000, "[file7]\r\nver=2.0.0\r\nrename=new.dll\r\n");
  edited.erase(120000, 3000);
  return edited;
}

std::vector<Pair> Pairs() {
  std::vector<Pair> pairs;
  const std::string text = ziptest::CompressibleText(200000);
  const std::string noise = RandomBytes(300000, 1);
  pairs.push_back({"text", text, EditedText(text)});
  pairs.push_back({"empty to text", "", text});
  pairs.push_back({"text to empty", text, ""});
  pairs.push_back({"empty to empty", "", ""});
  pairs.push_back({"grown", noise,
                   noise.substr(0, 100000) + RandomBytes(80000, 2) + noise.substr(100000) +
                       RandomBytes(50000, 3)});
  pairs.push_back({"shrunk", noise, noise.substr(20000, 150000) + noise.substr(250000)});
  // Larger than one window, with a long run and a repeated block.
  std::string big = RandomBytes(18 << 20, 4);
  std::string big_new = big;
  big_new.replace(9 << 20, 4096, std::string(4096, '\0'));
  big_new.insert(17 << 20, big.substr(1 << 20, 70000));
  pairs.push_back({"three windows", big, big_new});
  const std::string previous = ReadFile(BuildRoot() + "/pairs/update-previous.exe");
  const std::string current = ReadFile(BuildRoot() + "/win/update.exe");
  if (previous.empty() || current.empty()) {
    ADD_FAILURE() << "two builds of update.exe are needed: run make native win32 and "
                     "tools/update_exe_pair.sh";
  } else {
    pairs.push_back({"update.exe builds", previous, current});
  }
  return pairs;
}

TEST(VcdiffTest, InteroperatesWithXdelta3BothWays) {
  TempDir dir;
  for (const Pair& pair : Pairs()) {
    SCOPED_TRACE(pair.name);
    WriteFile(dir / "old", pair.old_bytes);
    WriteFile(dir / "new", pair.new_bytes);

    // Theirs, here.
    ASSERT_EQ(RunCommand("xdelta3 -f -e -S none -s " + Quote(dir / "old") + " " +
                         Quote(dir / "new") + " " + Quote(dir / "theirs"))
                  .exit_code,
              0);
    std::string decoded, error;
    ASSERT_TRUE(Decode(pair.old_bytes, ReadFile(dir / "theirs"), &decoded, &error)) << error;
    EXPECT_TRUE(decoded == pair.new_bytes);

    // Ours, there and here.
    const std::string ours = EncodeVcdiff(Span(pair.old_bytes), Span(pair.new_bytes));
    WriteFile(dir / "ours", ours);
    const auto applied = RunCommand("xdelta3 -f -d -s " + Quote(dir / "old") + " " +
                                    Quote(dir / "ours") + " " + Quote(dir / "out"));
    ASSERT_EQ(applied.exit_code, 0) << applied.output;
    EXPECT_TRUE(ReadFile(dir / "out") == pair.new_bytes);
    ASSERT_TRUE(Decode(pair.old_bytes, ours, &decoded, &error)) << error;
    EXPECT_TRUE(decoded == pair.new_bytes);
    if (pair.new_bytes.size() > 100000) {
      EXPECT_LT(ours.size(), pair.new_bytes.size() / 2) << "the patch should be small";
    }
  }
}

// A window written field by field, for patches no encoder would write.
struct RawWindow {
  uint8_t indicator = kVcdSource | kVcdAdler32;
  uint64_t segment_size = 0, segment_position = 0;
  uint64_t target_size = 0;
  uint8_t delta_indicator = 0;
  std::string data, inst, addr;
  std::string expected;  // the checksum is taken over this
  int64_t delta_length_adjust = 0;
};

std::string Header(uint8_t indicator = 0) {
  return std::string(reinterpret_cast<const char*>(kVcdiffMagic), 4) + static_cast<char>(indicator);
}

std::string Window(const RawWindow& w) {
  std::string body;
  AppendVcdiffInteger(&body, w.target_size);
  body.push_back(static_cast<char>(w.delta_indicator));
  AppendVcdiffInteger(&body, w.data.size());
  AppendVcdiffInteger(&body, w.inst.size());
  AppendVcdiffInteger(&body, w.addr.size());
  if (w.indicator & kVcdAdler32) {
    const uint32_t adler = static_cast<uint32_t>(
        adler32(1, reinterpret_cast<const Bytef*>(w.expected.data()), static_cast<uInt>(w.expected.size())));
    for (int shift = 24; shift >= 0; shift -= 8) body.push_back(static_cast<char>(adler >> shift));
  }
  body += w.data + w.inst + w.addr;
  std::string out(1, static_cast<char>(w.indicator));
  if (w.indicator & (kVcdSource | kVcdTarget)) {
    AppendVcdiffInteger(&out, w.segment_size);
    AppendVcdiffInteger(&out, w.segment_position);
  }
  AppendVcdiffInteger(&out, static_cast<uint64_t>(static_cast<int64_t>(body.size()) + w.delta_length_adjust));
  return out + body;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

// Codes of the default table used below: ADD size 2 (3), ADD size 0 (1),
// RUN (0), COPY size 0 mode SELF (19) and mode HERE (35).
TEST(VcdiffTest, OverlappingCopiesRepeatTheirPattern) {
  RawWindow w;
  w.indicator = kVcdAdler32;
  w.target_size = 12;
  w.data = "ab";
  w.inst = Bytes({3, 35, 10});  // ADD "ab", COPY 10 bytes from 2 back
  w.addr = Bytes({2});
  w.expected = "abababababab";
  std::string out, error;
  ASSERT_TRUE(Decode("", Header() + Window(w), &out, &error)) << error;
  EXPECT_EQ(out, w.expected);
}

TEST(VcdiffTest, RefusesHostilePatchesWithAReason) {
  const std::string source = "0123456789";
  RawWindow good;
  good.segment_size = 10;
  good.target_size = 6;
  good.inst = Bytes({19, 6});  // COPY 6 from address 2
  good.addr = Bytes({2});
  good.expected = "234567";
  {
    std::string out, error;
    ASSERT_TRUE(Decode(source, Header() + Window(good), &out, &error)) << error;
    ASSERT_EQ(out, "234567");
  }
  auto with = [&](auto change) {
    RawWindow w = good;
    change(w);
    return Header() + Window(w);
  };
  struct Case {
    const char* name;
    std::string patch;
    const char* reason;
    VcdiffLimits limits = kRoomy;
  };
  const std::vector<Case> cases = {
      {"empty", "", "not a VCDIFF patch"},
      {"wrong magic", "\xD6\xC3\xC5" + std::string(1, '\0') + Window(good), "not a VCDIFF patch"},
      {"version 1", std::string(reinterpret_cast<const char*>(kVcdiffMagic), 3) + Bytes({1, 0}),
       "unsupported VCDIFF version"},
      {"secondary compression", Header(kVcdDecompress) + Bytes({2}) + Window(good),
       "secondary compression"},
      {"own code table", Header(kVcdCodeTable) + Bytes({0}), "code table of its own"},
      {"unknown header bit", Header(0x08), "unknown bits"},
      {"application header past the end", Header(kVcdAppHeader) + Bytes({100, 1, 2}),
       "application header runs past"},
      {"source and target", with([](RawWindow& w) { w.indicator |= kVcdTarget; }), "earlier output"},
      {"unknown window bit", with([](RawWindow& w) { w.indicator |= 0x10; }), "unknown indicator"},
      {"segment past the source", with([](RawWindow& w) { w.segment_position = 5; }),
       "outside the installed file"},
      {"huge segment position", with([](RawWindow& w) { w.segment_position = UINT64_MAX; }),
       "outside the installed file"},
      {"delta past the end", with([](RawWindow& w) { w.delta_length_adjust = 5; }), "runs past the end"},
      {"sections longer than the delta", with([](RawWindow& w) { w.delta_length_adjust = -1; }),
       "do not match"},
      {"compressed sections", with([](RawWindow& w) { w.delta_indicator = 1; }), "secondary compression"},
      {"window over the cap", Header() + Window(good), "larger than allowed", VcdiffLimits{1000, 5}},
      {"output over the cap", Header() + Window(good) + Window(good), "output would be larger",
       VcdiffLimits{10, 100}},
      {"copy at the current position", with([](RawWindow& w) { w.addr = Bytes({10}); }),
       "at or after the current position"},
      {"copy before the window", with([](RawWindow& w) {
         w.inst = Bytes({35, 6});
         w.addr = Bytes({11});
       }),
       "before the start"},
      {"overflowing near address", with([](RawWindow& w) {
         // COPY 1 from 2 (near slot 0 becomes 2), then 5 from 2 + 2^64 - 2.
         w.inst = Bytes({19, 1, 19 + 16 * 2, 5});
         w.addr = Bytes({2, 0x81, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7E});
       }),
       "overflows"},
      {"eleven-byte integer", with([](RawWindow& w) {
         w.addr = std::string(10, '\x81') + Bytes({0});
       }),
       "runs past the address section"},
      {"instruction past the window", with([](RawWindow& w) { w.inst = Bytes({19, 7}); }),
       "runs past the window"},
      {"ADD past the data", with([](RawWindow& w) {
         w.inst = Bytes({7});  // ADD 6
         w.data = "abc";
         w.addr.clear();
       }),
       "runs past the data section"},
      {"RUN without its byte", with([](RawWindow& w) {
         w.inst = Bytes({0, 6});
         w.addr.clear();
       }),
       "RUN runs past"},
      {"short window", with([](RawWindow& w) { w.inst = Bytes({19, 5}); }), "end before the window"},
      {"left-over data", with([](RawWindow& w) { w.data = "x"; }), "left over"},
      {"wrong checksum", with([](RawWindow& w) { w.expected = "234568"; }), "checksum"},
      {"truncated size", with([](RawWindow& w) { w.inst = Bytes({19}); }), "truncated instruction"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out, error;
    EXPECT_FALSE(Decode(source, c.patch, &out, &error, c.limits));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
}

// Every prefix and every single-byte change of real patches: refused, or
// (a change the checksum cannot see, such as in xdelta3's file names)
// decoded to exactly the right file.
TEST(VcdiffTest, DamagedPatchesNeverDecodeToSomethingElse) {
  TempDir dir;
  const std::string old_bytes = ziptest::CompressibleText(3000);
  const std::string new_bytes = EditedText(ziptest::CompressibleText(130000)).substr(0, 3500);
  WriteFile(dir / "old", old_bytes);
  WriteFile(dir / "new", new_bytes);
  ASSERT_EQ(RunCommand("xdelta3 -f -e -S none -s " + Quote(dir / "old") + " " + Quote(dir / "new") +
                       " " + Quote(dir / "theirs"))
                .exit_code,
            0);
  for (const std::string& patch :
       {ReadFile(dir / "theirs"), EncodeVcdiff(Span(old_bytes), Span(new_bytes))}) {
    ASSERT_GT(patch.size(), 20u);
    std::string out, error;
    for (size_t n = 0; n < patch.size(); ++n) {
      if (Decode(old_bytes, patch.substr(0, n), &out, &error)) {
        EXPECT_LT(out.size(), new_bytes.size()) << "prefix " << n;  // whole windows only
      }
    }
    for (size_t i = 0; i < patch.size(); ++i) {
      for (int flip : {0x01, 0x80, 0xFF}) {
        std::string damaged = patch;
        damaged[i] = static_cast<char>(damaged[i] ^ flip);
        if (Decode(old_bytes, damaged, &out, &error)) {
          EXPECT_TRUE(out == new_bytes) << "byte " << i << " ^ " << flip;
        } else {
          EXPECT_FALSE(error.empty());
        }
      }
    }
  }
}

TEST(VcdiffTest, SecondaryCompressionFromXdelta3IsRefused) {
  TempDir dir;
  WriteFile(dir / "old", RandomBytes(5000, 7));
  WriteFile(dir / "new", RandomBytes(5000, 7) + ziptest::CompressibleText(5000));
  ASSERT_EQ(RunCommand("xdelta3 -f -e -S djw -s " + Quote(dir / "old") + " " + Quote(dir / "new") +
                       " " + Quote(dir / "djw"))
                .exit_code,
            0);
  std::string out, error;
  EXPECT_FALSE(Decode(ReadFile(dir / "old"), ReadFile(dir / "djw"), &out, &error));
  EXPECT_NE(error.find("secondary compression"), std::string::npos) << error;
}

}  // namespace
}  // namespace corvane
