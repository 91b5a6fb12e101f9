// The seven shared DirectWrite text formats of the setup window, and the
// families they use. Created lazily by the first paint and kept for the life
// of the process; a format whose creation failed stays null, and every
// painter skips the text it would have drawn with it.
#pragma once

#include "setup/owners.h"

#include <dwrite.h>

extern ComPtr<IDWriteFactory> dwriteFactory;
// Family names: constants, or the system's message font family.
extern const wchar_t* uiFontFamily;
extern const wchar_t* iconFontFamily;
extern ComPtr<IDWriteTextFormat> titleFormat;
extern ComPtr<IDWriteTextFormat> bodyFormat;
extern ComPtr<IDWriteTextFormat> buttonFormat;
extern ComPtr<IDWriteTextFormat> captionFormat;
extern ComPtr<IDWriteTextFormat> pathFormat;
extern ComPtr<IDWriteTextFormat> licenseFormat;
extern ComPtr<IDWriteTextFormat> iconFormat;

// The family licenseFormat was created with: "Consolas", or an installed
// monospace family where the system has no Consolas (Wine, stripped images).
extern const wchar_t* licenseFontFamily;
// False when the system has neither icon font: the painters then draw the
// button icons as geometry instead of glyphs.
extern bool iconGlyphsAvailable;

// Creates the factory and whichever formats are missing; returns at once
// when all seven exist. Called at the start of every paint.
void EnsureTextFormats();
