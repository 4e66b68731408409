#pragma once

#include <QtGlobal>

// The window at design time and the row layout, in twips.
namespace rowlayout {
inline constexpr char16_t kDesignCaption[] = u"norvex by Brastel v1.1";
inline constexpr int kClientWidth = 3375;
inline constexpr int kDesignClientHeight = 645;
inline constexpr int kFrameAllowance = 400;  // title bar and borders, within the outer height
inline constexpr int kFirstTop = 40;
inline constexpr int kPitch = 375;
inline constexpr int kBandLeft = 30;
inline constexpr int kBandWidth = 2800;
inline constexpr int kLabelLeft = 100;
inline constexpr int kLabelWidth = 2800;
inline constexpr int kButtonLeft = 1600;
inline constexpr int kButtonWidth = 1750;
inline constexpr int kBottomMargin = 40;
inline constexpr quint32 kOddColor = 0x00E0FEFF;   // 0x00BBGGRR: 255, 254, 224
inline constexpr quint32 kEvenColor = 0x00FFECD8;  // 216, 236, 255

// The design-time button, which row 1 takes over.
inline constexpr char16_t kDesignAddress[] = u"127.0.0.1";
inline constexpr int kDesignButtonLeft = 1845;
inline constexpr int kDesignButtonTop = 120;
inline constexpr int kDesignButtonWidth = 1380;

// One line of 8-point text centred on the band: top + 375/2 - 210/2.
inline double labelTop(int rowTop) { return (kPitch / 2.0 + rowTop) - 210 / 2.0; }
inline quint32 rowColor(int n) { return n % 2 == 1 ? kOddColor : kEvenColor; }
}  // namespace rowlayout
