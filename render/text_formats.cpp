// Family choice and creation of the seven text formats.
//
// Where the preferred families are missing (Wine, Proton, stripped Windows
// images) DirectWrite draws nothing at all with a family it cannot find, so
// every choice ends on a family the system collection really holds when it
// has one: the UI family falls back to the system's message font, the licence
// to an installed monospace family, and characters the chosen family lacks
// to a last-resort mapping appended after the system's own font fallback.
#include "render/text_formats.h"

#include "setup/system_library.h"

#include <dwrite_2.h>

#include <cstring>
#include <iterator>
#include <memory>

ComPtr<IDWriteFactory> dwriteFactory;
const wchar_t* uiFontFamily = L"Segoe UI";
const wchar_t* iconFontFamily = L"Segoe Fluent Icons";
const wchar_t* licenseFontFamily = L"Consolas";
bool iconGlyphsAvailable = true;
ComPtr<IDWriteTextFormat> titleFormat;
ComPtr<IDWriteTextFormat> bodyFormat;
ComPtr<IDWriteTextFormat> buttonFormat;
ComPtr<IDWriteTextFormat> captionFormat;
ComPtr<IDWriteTextFormat> pathFormat;
ComPtr<IDWriteTextFormat> licenseFormat;
ComPtr<IDWriteTextFormat> iconFormat;

namespace {

const wchar_t* const kUiFamilies[] = {L"SF Pro Text", L"Inter", L"Segoe UI Variable Text", L"Segoe UI"};
const wchar_t* const kMonospaceFamilies[] = {L"Consolas", L"Cascadia Mono", L"DejaVu Sans Mono", L"Liberation Mono",
                                             L"Courier New"};
// Broad-coverage families for characters the chosen family lacks.
const wchar_t* const kLastResortFamilies[] = {L"Segoe UI", L"DejaVu Sans", L"Noto Sans", L"Liberation Sans", L"Arial"};

enum FamilyRole : uint8_t { FamilyUi, FamilyLicense, FamilyIcon };

struct FormatRecipe {
    ComPtr<IDWriteTextFormat>* format;
    FamilyRole family;
    float size;  // DIPs
    DWRITE_FONT_WEIGHT weight;
    DWRITE_TEXT_ALIGNMENT textAlignment;
    DWRITE_PARAGRAPH_ALIGNMENT paragraphAlignment;
    DWRITE_WORD_WRAPPING wordWrapping;
    bool trimmed;  // character trimming with an ellipsis sign
    wchar_t trimmingDelimiter;
    uint8_t trimmingDelimiterCount;
};

constexpr auto kBold = DWRITE_FONT_WEIGHT_SEMI_BOLD;
constexpr auto kNormal = DWRITE_FONT_WEIGHT_NORMAL;
constexpr auto kCenter = DWRITE_TEXT_ALIGNMENT_CENTER;
constexpr auto kLeading = DWRITE_TEXT_ALIGNMENT_LEADING;
constexpr auto kMiddle = DWRITE_PARAGRAPH_ALIGNMENT_CENTER;
constexpr auto kTop = DWRITE_PARAGRAPH_ALIGNMENT_NEAR;
constexpr auto kWrap = DWRITE_WORD_WRAPPING_WRAP;
constexpr auto kNoWrap = DWRITE_WORD_WRAPPING_NO_WRAP;

// In creation order. The path keeps its last two backslash-separated
// elements visible and puts the ellipsis before them.
const FormatRecipe kFormats[] = {
    {std::addressof(titleFormat), FamilyUi, 19.5f, kBold, kCenter, kMiddle, kNoWrap, false, 0, 0},
    {std::addressof(bodyFormat), FamilyUi, 12.0f, kNormal, kCenter, kTop, kWrap, false, 0, 0},
    {std::addressof(buttonFormat), FamilyUi, 12.5f, kBold, kCenter, kMiddle, kNoWrap, true, 0, 0},
    {std::addressof(captionFormat), FamilyUi, 11.0f, kNormal, kCenter, kMiddle, kNoWrap, true, 0, 0},
    {std::addressof(pathFormat), FamilyUi, 11.0f, kNormal, kLeading, kMiddle, kNoWrap, true, L'\\', 2},
    {std::addressof(licenseFormat), FamilyLicense, 8.8f, kNormal, kLeading, kTop, kWrap, false, 0, 0},
    {std::addressof(iconFormat), FamilyIcon, 13.0f, kNormal, kCenter, kMiddle, kNoWrap, false, 0, 0},
};

// Characters the chosen family lacks; null where the factory has no custom
// fallback (before Windows 8.1).
ComPtr<IDWriteFontFallback> fontFallback;

bool HasFamily(IDWriteFontCollection* fonts, const wchar_t* name) {
    UINT32 index = 0;
    BOOL exists = FALSE;
    return fonts && SUCCEEDED(fonts->FindFamilyName(name, &index, &exists)) && exists;
}

// Consolas's advance, in em. A wider stand-in is set smaller by as much, so
// that the licence's lines keep the length they were written for.
constexpr float kConsolasAdvanceEm = 1126.0f / 2048.0f;
float licenseSizeScale = 1.0f;

// The advance of "0" in the family's regular face, in em; 0 when unknown.
float AdvanceEm(IDWriteFontCollection* fonts, const wchar_t* name) {
    UINT32 index = 0;
    BOOL exists = FALSE;
    ComPtr<IDWriteFontFamily> family;
    ComPtr<IDWriteFont> font;
    ComPtr<IDWriteFontFace> face;
    const UINT32 zero = L'0';
    UINT16 glyph = 0;
    DWRITE_GLYPH_METRICS glyphMetrics{};
    DWRITE_FONT_METRICS metrics{};
    if (!fonts || FAILED(fonts->FindFamilyName(name, &index, &exists)) || !exists ||
        FAILED(fonts->GetFontFamily(index, &family)) ||
        FAILED(family->GetFirstMatchingFont(DWRITE_FONT_WEIGHT_NORMAL, DWRITE_FONT_STRETCH_NORMAL,
                                            DWRITE_FONT_STYLE_NORMAL, &font)) ||
        FAILED(font->CreateFontFace(&face)) || FAILED(face->GetGlyphIndices(&zero, 1, &glyph)) ||
        FAILED(face->GetDesignGlyphMetrics(&glyph, 1, &glyphMetrics, FALSE))) {
        return 0;
    }
    face->GetMetrics(&metrics);
    return metrics.designUnitsPerEm ? float(glyphMetrics.advanceWidth) / float(metrics.designUnitsPerEm) : 0;
}

const wchar_t* FirstInstalled(IDWriteFontCollection* fonts, const wchar_t* const* names, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (HasFamily(fonts, names[i])) return names[i];
    }
    return nullptr;
}

void ChooseFamilies(IDWriteFontCollection* fonts) {
    if (const wchar_t* ui = FirstInstalled(fonts, kUiFamilies, std::size(kUiFamilies))) {
        uiFontFamily = ui;
    } else {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof(metrics);
        static wchar_t messageFont[LF_FACESIZE];
        if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0) &&
            HasFamily(fonts, metrics.lfMessageFont.lfFaceName)) {
            memcpy(messageFont, metrics.lfMessageFont.lfFaceName, sizeof(messageFont));
            uiFontFamily = messageFont;
        }
    }
    if (!HasFamily(fonts, L"Segoe Fluent Icons")) iconFontFamily = L"Segoe MDL2 Assets";
    iconGlyphsAvailable = HasFamily(fonts, iconFontFamily);
    const wchar_t* mono = FirstInstalled(fonts, kMonospaceFamilies, std::size(kMonospaceFamilies));
    licenseFontFamily = mono ? mono : kMonospaceFamilies[0];
    const float advance = mono && mono != kMonospaceFamilies[0] ? AdvanceEm(fonts, mono) : 0;
    licenseSizeScale = advance > kConsolasAdvanceEm ? kConsolasAdvanceEm / advance : 1.0f;
}

// The system's fallback first, so Windows picks exactly what it always
// picks; then every character maps to the installed broad-coverage families,
// for systems whose own fallback names fonts that do not exist.
void CreateFontFallback(IDWriteFontCollection* fonts) {
    ComPtr<IDWriteFactory2> factory;
    ComPtr<IDWriteFontFallbackBuilder> builder;
    if (fontFallback || FAILED(dwriteFactory.As(&factory)) || FAILED(factory->CreateFontFallbackBuilder(&builder))) {
        return;
    }
    ComPtr<IDWriteFontFallback> system;
    if (SUCCEEDED(factory->GetSystemFontFallback(&system)) && system) builder->AddMappings(system.Get());
    const wchar_t* families[std::size(kLastResortFamilies)];
    UINT32 count = 0;
    for (const wchar_t* name : kLastResortFamilies) {
        if (HasFamily(fonts, name)) families[count++] = name;
    }
    // Without a family to map to, the format keeps the system's own.
    const DWRITE_UNICODE_RANGE everything{0, 0x10FFFF};
    if (count && SUCCEEDED(builder->AddMapping(&everything, 1, families, count, fonts, nullptr, nullptr, 1.0f))) {
        builder->CreateFontFallback(&fontFallback);
    }
}

void CreateFormat(const FormatRecipe& recipe, IDWriteFontCollection* fonts) {
    const wchar_t* family = recipe.family == FamilyUi        ? uiFontFamily
                            : recipe.family == FamilyLicense ? licenseFontFamily
                                                             : iconFontFamily;
    ComPtr<IDWriteTextFormat> format;
    if (FAILED(dwriteFactory->CreateTextFormat(
            family, fonts, recipe.weight, DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL,
            recipe.family == FamilyLicense ? recipe.size * licenseSizeScale : recipe.size, L"en-us", &format))) {
        return;
    }
    format->SetTextAlignment(recipe.textAlignment);
    format->SetParagraphAlignment(recipe.paragraphAlignment);
    format->SetWordWrapping(recipe.wordWrapping);
    ComPtr<IDWriteInlineObject> ellipsis;
    if (recipe.trimmed && SUCCEEDED(dwriteFactory->CreateEllipsisTrimmingSign(format.Get(), &ellipsis))) {
        const DWRITE_TRIMMING trimming{DWRITE_TRIMMING_GRANULARITY_CHARACTER, recipe.trimmingDelimiter,
                                       recipe.trimmingDelimiterCount};
        format->SetTrimming(&trimming, ellipsis.Get());
    }
    ComPtr<IDWriteTextFormat1> withFallback;
    if (fontFallback && SUCCEEDED(format.As(&withFallback))) withFallback->SetFontFallback(fontFallback.Get());
    *recipe.format = format;
}

}  // namespace

void EnsureTextFormats() {
    bool complete = true;
    for (const FormatRecipe& recipe : kFormats) complete = complete && *recipe.format;
    if (complete) return;

    if (!dwriteFactory) {
        using CreateFactoryFunction = HRESULT(WINAPI*)(DWRITE_FACTORY_TYPE, REFIID, IUnknown**);
        static const HMODULE dwrite = LoadSystemLibrary(L"dwrite.dll");
        if (const auto create = SystemProc<CreateFactoryFunction>(dwrite, "DWriteCreateFactory")) {
            create(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                   reinterpret_cast<IUnknown**>(dwriteFactory.ReleaseAndGetAddressOf()));
        }
        if (!dwriteFactory) return;
    }
    // A null collection means the system's own; the family lookups then fail
    // and every choice keeps its default.
    ComPtr<IDWriteFontCollection> fonts;
    dwriteFactory->GetSystemFontCollection(&fonts, FALSE);
    ChooseFamilies(fonts.Get());
    CreateFontFallback(fonts.Get());
    for (const FormatRecipe& recipe : kFormats) {
        if (!*recipe.format) CreateFormat(recipe, fonts.Get());
    }
}
