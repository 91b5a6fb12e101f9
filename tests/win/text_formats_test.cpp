// The seven text formats as created: family, size, weight, alignments,
// wrapping and trimming read back from DirectWrite; the family choices
// against what the system collection really holds; and the fallback that
// draws characters the chosen family lacks.
#include "render/text_formats.h"
#include "tests/win/test_support.h"

#include <dwrite_2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

namespace {

bool Installed(const wchar_t* family) {
    ComPtr<IDWriteFontCollection> fonts;
    UINT32 index = 0;
    BOOL exists = FALSE;
    return SUCCEEDED(dwriteFactory->GetSystemFontCollection(&fonts, FALSE)) &&
           SUCCEEDED(fonts->FindFamilyName(family, &index, &exists)) && exists;
}

std::wstring FamilyOf(IDWriteTextFormat* format) {
    wchar_t name[100] = {};
    format->GetFontFamilyName(name, 100);
    return name;
}

// Fresh formats: painters change the alignment of the shared ones.
void RecreateFormats() {
    for (ComPtr<IDWriteTextFormat>* f :
         {std::addressof(titleFormat), std::addressof(bodyFormat), std::addressof(buttonFormat),
          std::addressof(captionFormat), std::addressof(pathFormat), std::addressof(licenseFormat),
          std::addressof(iconFormat)}) {
        f->Reset();
    }
    EnsureTextFormats();
}

TEST(TextFormats, AreCreatedWithTheirSizesAlignmentsWrappingAndTrimming) {
    RecreateFormats();
    const auto none = DWRITE_TRIMMING_GRANULARITY_NONE, character = DWRITE_TRIMMING_GRANULARITY_CHARACTER;
    struct Case {
        const char* name;
        IDWriteTextFormat* format;
        const wchar_t* family;
        float size;
        DWRITE_FONT_WEIGHT weight;
        DWRITE_TEXT_ALIGNMENT text;
        DWRITE_PARAGRAPH_ALIGNMENT paragraph;
        DWRITE_WORD_WRAPPING wrapping;
        DWRITE_TRIMMING_GRANULARITY trimming;
        wchar_t delimiter;
        UINT32 delimiterCount;
    };
    const auto kCenter = DWRITE_TEXT_ALIGNMENT_CENTER, kLeading = DWRITE_TEXT_ALIGNMENT_LEADING;
    const auto kMiddle = DWRITE_PARAGRAPH_ALIGNMENT_CENTER, kNear = DWRITE_PARAGRAPH_ALIGNMENT_NEAR;
    const auto kWrap = DWRITE_WORD_WRAPPING_WRAP, kNoWrap = DWRITE_WORD_WRAPPING_NO_WRAP;
    const Case cases[] = {
        {"title", titleFormat.Get(), uiFontFamily, 19.5f, DWRITE_FONT_WEIGHT(600), kCenter, kMiddle, kNoWrap, none, 0,
         0},
        {"body", bodyFormat.Get(), uiFontFamily, 12.0f, DWRITE_FONT_WEIGHT(400), kCenter, kNear, kWrap, none, 0, 0},
        {"button", buttonFormat.Get(), uiFontFamily, 12.5f, DWRITE_FONT_WEIGHT(600), kCenter, kMiddle, kNoWrap,
         character, 0, 0},
        {"caption", captionFormat.Get(), uiFontFamily, 11.0f, DWRITE_FONT_WEIGHT(400), kCenter, kMiddle, kNoWrap,
         character, 0, 0},
        {"path", pathFormat.Get(), uiFontFamily, 11.0f, DWRITE_FONT_WEIGHT(400), kLeading, kMiddle, kNoWrap, character,
         L'\\', 2},
        {"licence", licenseFormat.Get(), licenseFontFamily, 8.8f, DWRITE_FONT_WEIGHT(400), kLeading, kNear, kWrap, none,
         0, 0},
        {"icon", iconFormat.Get(), iconFontFamily, 13.0f, DWRITE_FONT_WEIGHT(400), kCenter, kMiddle, kNoWrap, none, 0,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.format, nullptr);
        EXPECT_EQ(FamilyOf(c.format), std::wstring(c.family));
        // A monospace stand-in wider than Consolas is set smaller (see below).
        if (c.format == licenseFormat.Get() && c.family != std::wstring(L"Consolas")) {
            EXPECT_LE(c.format->GetFontSize(), c.size);
            EXPECT_GT(c.format->GetFontSize(), c.size * 0.8f);
        } else {
            EXPECT_EQ(c.format->GetFontSize(), c.size);
        }
        EXPECT_EQ(c.format->GetFontWeight(), c.weight);
        EXPECT_EQ(c.format->GetFontStyle(), DWRITE_FONT_STYLE_NORMAL);
        EXPECT_EQ(c.format->GetFontStretch(), DWRITE_FONT_STRETCH_NORMAL);
        wchar_t locale[16] = {};
        c.format->GetLocaleName(locale, 16);
        EXPECT_STREQ(locale, L"en-us");
        EXPECT_EQ(c.format->GetTextAlignment(), c.text);
        EXPECT_EQ(c.format->GetParagraphAlignment(), c.paragraph);
        EXPECT_EQ(c.format->GetWordWrapping(), c.wrapping);
        DWRITE_TRIMMING trimming{};
        ComPtr<IDWriteInlineObject> sign;
        ASSERT_HRESULT_SUCCEEDED(c.format->GetTrimming(&trimming, &sign));
        EXPECT_EQ(trimming.granularity, c.trimming);
        EXPECT_EQ(trimming.delimiter, UINT32(c.delimiter));
        EXPECT_EQ(trimming.delimiterCount, c.delimiterCount);
        EXPECT_EQ(sign != nullptr, c.trimming == character) << "ellipsis sign";
    }
}

// Every family in use is one the system really has, where it has one:
// DirectWrite draws nothing at all with a family it cannot find.
TEST(TextFormats, FamiliesAreInstalledOnesInTheirOrderOfPreference) {
    RecreateFormats();
    const wchar_t* uiExpected = L"Segoe UI";
    for (const wchar_t* family : {L"SF Pro Text", L"Inter", L"Segoe UI Variable Text", L"Segoe UI"}) {
        if (Installed(family)) {
            uiExpected = family;
            break;
        }
    }
    if (!Installed(uiExpected)) {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof(metrics);
        ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0));
        if (Installed(metrics.lfMessageFont.lfFaceName)) uiExpected = metrics.lfMessageFont.lfFaceName;
    }
    EXPECT_STREQ(uiFontFamily, uiExpected);
    EXPECT_TRUE(Installed(uiFontFamily)) << "no installed UI family";

    if (Installed(L"Consolas")) {
        EXPECT_STREQ(licenseFontFamily, L"Consolas");
    }
    EXPECT_TRUE(Installed(licenseFontFamily)) << "no installed monospace family";

    EXPECT_STREQ(iconFontFamily, Installed(L"Segoe Fluent Icons") ? L"Segoe Fluent Icons" : L"Segoe MDL2 Assets");
    EXPECT_EQ(iconGlyphsAvailable, Installed(iconFontFamily));
}

// A character the UI family lacks maps to an installed family that has it,
// instead of the missing-glyph box.
TEST(TextFormats, FallbackMapsCharactersTheFamilyLacks) {
    RecreateFormats();
    ComPtr<IDWriteTextFormat1> format;
    ASSERT_HRESULT_SUCCEEDED(titleFormat.As(&format));
    ComPtr<IDWriteFontFallback> fallback;
    ASSERT_HRESULT_SUCCEEDED(format->GetFontFallback(&fallback));
    ASSERT_NE(fallback, nullptr);

    // U+2B07 (a heavy down arrow) is in DejaVu Sans but not in Inter.
    static const wchar_t kText[] = L"\u2B07";
    struct Source : IDWriteTextAnalysisSource {
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
        ULONG STDMETHODCALLTYPE Release() override { return 1; }
        HRESULT STDMETHODCALLTYPE GetTextAtPosition(UINT32 position, const WCHAR** text, UINT32* length) override {
            *text = position < 1 ? kText + position : nullptr;
            *length = position < 1 ? 1 - position : 0;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE GetTextBeforePosition(UINT32 position, const WCHAR** text, UINT32* length) override {
            *text = position > 0 ? kText : nullptr;
            *length = position > 0 ? position : 0;
            return S_OK;
        }
        DWRITE_READING_DIRECTION STDMETHODCALLTYPE GetParagraphReadingDirection() override {
            return DWRITE_READING_DIRECTION_LEFT_TO_RIGHT;
        }
        HRESULT STDMETHODCALLTYPE GetLocaleName(UINT32, UINT32* length, const WCHAR** locale) override {
            *locale = L"en-us";
            *length = 1;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE GetNumberSubstitution(UINT32, UINT32* length,
                                                        IDWriteNumberSubstitution** substitution) override {
            *substitution = nullptr;
            *length = 1;
            return S_OK;
        }
    } source;
    UINT32 mapped = 0;
    ComPtr<IDWriteFont> font;
    float scale = 0;
    ASSERT_HRESULT_SUCCEEDED(fallback->MapCharacters(&source, 0, 1, nullptr, uiFontFamily, DWRITE_FONT_WEIGHT_NORMAL,
                                                     DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL, &mapped,
                                                     &font, &scale));
    EXPECT_EQ(mapped, 1u);
    ASSERT_NE(font, nullptr) << "no installed family draws U+2B07";
    BOOL has = FALSE;
    ASSERT_HRESULT_SUCCEEDED(font->HasCharacter(0x2B07, &has));
    EXPECT_TRUE(has);
}

}  // namespace

// The licence's lines were broken for Consolas in the licence page's 380 DIPs;
// with whatever family stands in, each still takes one line there.
TEST(TextFormats, EveryLicenceLineFitsTheLicencePageInOneLine) {
    RecreateFormats();
    ASSERT_NE(licenseFormat, nullptr);
    const std::wstring text = Widen(ReadFileBytes(Widen(VT_LICENSE_PATH)));
    ASSERT_FALSE(text.empty());
    size_t longest = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        start = end + 1;
        if (line.empty()) continue;
        longest = std::max(longest, line.size());
        ComPtr<IDWriteTextLayout> layout;
        ASSERT_HRESULT_SUCCEEDED(dwriteFactory->CreateTextLayout(line.c_str(), UINT32(line.size()),
                                                                  licenseFormat.Get(), 380.0f, 1000.0f, &layout));
        DWRITE_TEXT_METRICS metrics{};
        ASSERT_HRESULT_SUCCEEDED(layout->GetMetrics(&metrics));
        EXPECT_EQ(metrics.lineCount, 1u) << Narrow(line);
    }
    EXPECT_GE(longest, 70u) << "the licence file's lines are long ones";
}
