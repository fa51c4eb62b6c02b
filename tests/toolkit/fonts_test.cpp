// Loading fonts by number and freeing them.
#include <gtest/gtest.h>
#include <windows.h>

#include "fonts.h"
#include "ui_support.h"
#include "toolkit_internal.h"

namespace {

class FontsTest : public ::testing::Test {
 protected:
  void TearDown() override { free_all_fonts(); }

  static LOGFONTA described(HFONT font) {
    LOGFONTA description{};
    EXPECT_EQ(GetObjectA(font, sizeof description, &description), static_cast<int>(sizeof description));
    return description;
  }
  static int screen_pixels_per_inch() {
    HDC screen = GetDC(nullptr);
    int pixels = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return pixels;
  }
};

TEST_F(FontsTest, ThirtyPointArialIsAskedForByItsEmHeightAtTheScreenResolution) {
  ObjectNumber result = load_font(0, "Arial", 30);
  ASSERT_NE(result, 0);
  HFONT font = font_handle(0);
  EXPECT_EQ(result, reinterpret_cast<ObjectNumber>(font));
  LOGFONTA description = described(font);
  ASSERT_EQ(screen_pixels_per_inch(), 96) << "the test display's resolution";
  EXPECT_EQ(description.lfHeight, -40);
  EXPECT_EQ(description.lfWidth, 0);
  EXPECT_EQ(description.lfEscapement, 0);
  EXPECT_EQ(description.lfOrientation, 0);
  EXPECT_EQ(description.lfWeight, FW_NORMAL);
  EXPECT_EQ(description.lfItalic, 0);
  EXPECT_EQ(description.lfUnderline, 0);
  EXPECT_EQ(description.lfStrikeOut, 0);
  EXPECT_EQ(description.lfCharSet, DEFAULT_CHARSET);
  EXPECT_EQ(description.lfOutPrecision, OUT_DEFAULT_PRECIS);
  EXPECT_EQ(description.lfClipPrecision, CLIP_DEFAULT_PRECIS);
  EXPECT_EQ(description.lfPitchAndFamily, DEFAULT_PITCH | FF_DONTCARE);
  EXPECT_EQ(description.lfQuality, DEFAULT_QUALITY);
  EXPECT_STREQ(description.lfFaceName, "Arial");
}

TEST_F(FontsTest, StyleFlagsSetOnlyTheirOwnAttributes) {
  LOGFONTA bold_underlined = described(reinterpret_cast<HFONT>(load_font(1, "Arial", 10, FONT_BOLD | FONT_UNDERLINE)));
  EXPECT_EQ(bold_underlined.lfWeight, FW_BOLD);
  EXPECT_EQ(bold_underlined.lfUnderline, 1);
  EXPECT_EQ(bold_underlined.lfItalic, 0);
  EXPECT_EQ(bold_underlined.lfStrikeOut, 0);
  EXPECT_EQ(bold_underlined.lfQuality, DEFAULT_QUALITY);

  LOGFONTA proof = described(reinterpret_cast<HFONT>(load_font(2, "Arial", 10, FONT_HIGH_QUALITY)));
  EXPECT_EQ(proof.lfQuality, PROOF_QUALITY);
  EXPECT_EQ(proof.lfWeight, FW_NORMAL);
  EXPECT_EQ(proof.lfUnderline, 0);

  LOGFONTA slanted = described(reinterpret_cast<HFONT>(load_font(3, "Arial", 10, FONT_ITALIC | FONT_STRIKEOUT | 0x1)));
  EXPECT_EQ(slanted.lfItalic, 1);
  EXPECT_EQ(slanted.lfStrikeOut, 1);
  EXPECT_EQ(slanted.lfWeight, FW_NORMAL);
}

TEST_F(FontsTest, LoadingANumberAgainDeletesTheFirstFont) {
  HFONT first = reinterpret_cast<HFONT>(load_font(0, "Arial", 30));
  ASSERT_NE(first, nullptr);
  HFONT second = reinterpret_cast<HFONT>(load_font(0, "Arial", 12));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(font_handle(0), second);
  LOGFONTA gone;
  EXPECT_EQ(GetObjectA(first, sizeof gone, &gone), 0) << "the first font was deleted";
  EXPECT_EQ(described(second).lfHeight, -MulDiv(12, screen_pixels_per_inch(), 72));
}

TEST_F(FontsTest, AHighNumberGrowsTheRegistryAndLoads) {
  EXPECT_NE(load_font(40, "Arial", 8), 0);
  EXPECT_EQ(font_registry->capacity, 56);
  EXPECT_NE(font_handle(40), nullptr);
}

TEST_F(FontsTest, AnUnnumberedFontIsKnownByItsIdentifierUntilFreed) {
  ObjectNumber id = load_font(ANY_NUMBER, "Arial", 9);
  ASSERT_NE(id, 0);
  HFONT font = font_handle(id);
  ASSERT_NE(font, nullptr);
  EXPECT_NE(id, reinterpret_cast<ObjectNumber>(font));
  EXPECT_NE(free_font(id), 0);
  EXPECT_EQ(font_handle(id), nullptr);
  EXPECT_EQ(free_font(id), 0);
}

TEST_F(FontsTest, FreeingAllFontsDeletesEveryOneAndAnEmptyRegistryIsNoMatter) {
  free_all_fonts();
  HFONT fonts[] = {reinterpret_cast<HFONT>(load_font(0, "Arial", 30)),
                   reinterpret_cast<HFONT>(load_font(5, "Arial", 8)), font_handle(load_font(ANY_NUMBER, "Arial", 9))};
  free_all_fonts();
  for (HFONT font : fonts) {
    LOGFONTA gone;
    EXPECT_EQ(GetObjectA(font, sizeof gone, &gone), 0);
  }
  EXPECT_EQ(font_handle(0), nullptr);
  EXPECT_EQ(font_handle(5), nullptr);
  EXPECT_EQ(free_font(0), 0);
  registry_enum_begin(font_registry);
  ObjectNumber value;
  EXPECT_EQ(registry_enum_next(font_registry, &value), nullptr) << "no unnumbered record is left behind";
}

TEST_F(FontsTest, AnUnknownFaceIsNoFailure) {
  EXPECT_NE(load_font(0, "No Such Face At All", 12), 0);
  EXPECT_NE(load_font(1, nullptr, 12), 0);
}

}  // namespace
