#pragma once

// The page asks for a Windows font family by name; elsewhere that family does not exist, and
// without a mapping the Chinese page could fall back to a font without CJK glyphs.
void installFontSubstitutes();
