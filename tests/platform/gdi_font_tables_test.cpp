// Faces whose tables hold no Windows metrics: an old TrueType face without an
// OS/2 table, or one whose Windows ascent and descent are both zero, is
// measured by its hhea figures, as FreeType reads them. The faces are made
// from Liberation Sans under a family name of their own and added to
// fontconfig for this process only.
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gdi/font.h"

namespace {

std::string liberation_sans_file() {
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("Liberation Sans:style=Regular"));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcChar8* file = nullptr;
  std::string path;
  if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch)
    path = reinterpret_cast<char*>(file);
  if (match != nullptr) FcPatternDestroy(match);
  FcPatternDestroy(pattern);
  return path;
}

void replace_all(std::string& bytes, const std::string& from, const std::string& to) {
  for (size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at + to.size()))
    bytes.replace(at, from.size(), to);
}

std::string utf16be(const std::string& text) {
  std::string wide;
  for (char c : text) wide += std::string(1, '\0') + c;
  return wide;
}

// Liberation Sans renamed to `family` (same length, so no offset moves),
// with `change` applied to the OS/2 table entry or the table itself; added to
// fontconfig's current configuration. The file is read when the face is
// first used: the caller removes it afterwards.
template <typename Change>
void add_face(const std::string& family, Change change, std::vector<std::string>& files) {
  std::ifstream in(liberation_sans_file(), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 1000u);
  replace_all(bytes, "Liberation", family.substr(0, 10));
  replace_all(bytes, utf16be("Liberation"), utf16be(family.substr(0, 10)));
  const size_t entry = bytes.find("OS/2");  // in the table directory, before any table
  ASSERT_NE(entry, std::string::npos);
  change(bytes, entry);
  const std::string path = testing::TempDir() + family + "-" + std::to_string(getpid()) + ".ttf";
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  files.push_back(path);
  ASSERT_TRUE(FcConfigAppFontAddFile(nullptr, reinterpret_cast<const FcChar8*>(path.c_str())));
}

std::uint32_t big_endian(const std::string& bytes, size_t at) {
  std::uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

TEST(FontTables, AFaceWithoutWindowsMetricsIsMeasuredByItsHheaFigures) {
  // Liberation Sans: 2048 units to the em, hhea ascender 1854, descender
  // -434, line gap 67, widest advance 2240.
  std::vector<std::string> files;
  add_face(
      "Noostwotab Sans", [](std::string& bytes, size_t entry) { bytes.replace(entry, 4, "OS/9"); }, files);
  add_face(
      "Zerowinmet Sans",
      [](std::string& bytes, size_t entry) {
        const size_t table = big_endian(bytes, entry + 8);
        bytes.replace(table + 74, 4, std::string(4, '\0'));  // usWinAscent and usWinDescent
      },
      files);
  for (const char* family : {"Noostwotab Sans", "Zerowinmet Sans"}) {
    gdi::FontSpec spec;
    spec.family = family;
    spec.pixel_size = 40;
    const gdi::FontMetrics m = gdi::font_metrics(spec);
    EXPECT_EQ(gdi::resolve_family(family), family);
    const std::vector<int> got{m.ascent, m.descent, m.height, m.internal_leading, m.external_leading, m.average_width};
    EXPECT_EQ(got, (std::vector<int>{36, 8, 44, 5, 1, 22})) << family;
  }
  for (const std::string& file : files) std::remove(file.c_str());
}

}  // namespace

namespace {

// The clipboard's text crosses between Windows-1252 and the desktop's UTF-8.
TEST(TextConversion, Windows1252AndUtf8RoundTripAndWhatHasNoByteBecomesAQuestionMark) {
  const std::string cp1252 = "COM5 \x80 \xE9 \x9F";  // euro sign, e acute, Y diaeresis
  const std::string utf8 = gdi::utf8_from_1252(cp1252);
  EXPECT_EQ(utf8, "COM5 \xE2\x82\xAC \xC3\xA9 \xC5\xB8");
  EXPECT_EQ(gdi::cp1252_from_utf8(utf8), cp1252);
  const struct {
    const char* utf8;
    const char* cp1252;
  } cases[] = {
      {"\xE2\x86\x92", "?"},      // an arrow: no byte in Windows-1252
      {"\xF0\x9F\x98\x80", "?"},  // beyond the basic plane
      {"a\xC0\x80z", "a??z"},     // an overlong NUL is no character
      {"\xC3", "?"},              // cut short
      {"\xFF", "?"},
  };
  for (const auto& c : cases) EXPECT_EQ(gdi::cp1252_from_utf8(c.utf8), c.cp1252) << c.utf8;
}

}  // namespace
