#pragma once

#include <QtGlobal>

#include "twips/twips.h"

// The window before any row is built, and the row layout, in twips.
namespace rowlayout {
inline constexpr char16_t kProgramTitle[] = u"norvex by Brastel v1.1";
inline constexpr int kClientWidth = 3375;
inline constexpr int kEmptyClientHeight = 645;
inline constexpr int kFirstTop = 40;
inline constexpr int kPitch = 375;
inline constexpr int kBandLeft = 30;
inline constexpr int kBandWidth = 2800;
inline constexpr int kLabelLeft = 100;
inline constexpr int kLabelWidth = 2800;
inline constexpr int kButtonLeft = 1600;
inline constexpr int kButtonWidth = 1750;
inline constexpr int kBottomMargin = 40;

// Positions are 16-bit numbers, so the window's outer height stops at 32,767 twips.
inline constexpr int kMaxOuterHeight = 32767;
inline constexpr int kMaxRows =
    (kMaxOuterHeight - kFirstTop - kBottomMargin - kFrameAllowance) / kPitch;
static_assert(kMaxRows == 86);

// A band's and its button's colour.
struct RowColor {
    int red, green, blue;
    friend constexpr bool operator==(RowColor, RowColor) = default;
};
inline constexpr RowColor kOddRowColor{255, 254, 224};   // light yellow
inline constexpr RowColor kEvenRowColor{216, 236, 255};  // light blue
inline constexpr RowColor rowColor(int n) { return n % 2 == 1 ? kOddRowColor : kEvenRowColor; }

// The button shown before any row exists, which row 1 takes over.
inline constexpr char16_t kPlaceholderAddress[] = u"127.0.0.1";
inline constexpr int kPlaceholderButtonLeft = 1845;
inline constexpr int kPlaceholderButtonTop = 120;
inline constexpr int kPlaceholderButtonWidth = 1380;

// One line of 8-point text centred on the band: top + 375/2 - 210/2.
inline double labelTop(int rowTop) { return (kPitch / 2.0 + rowTop) - 210 / 2.0; }
}  // namespace rowlayout
