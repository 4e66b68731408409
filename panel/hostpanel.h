#pragma once

#include <QString>

#include "app/int16.h"
#include "app/startup.h"

// The window at design time and the row layout, in twips.
namespace rowlayout {
inline constexpr char16_t kDesignCaption[] = u"norvex by Brastel v1.1";
inline constexpr int kClientWidth = 3375;
inline constexpr int kDesignClientHeight = 645;
inline constexpr int kFirstTop = 40;
inline constexpr int kPitch = 375;
inline constexpr int kBandLeft = 30;
inline constexpr int kBandWidth = 2800;
inline constexpr int kLabelLeft = 100;
inline constexpr int kLabelWidth = 2800;
inline constexpr int kButtonLeft = 1600;
inline constexpr int kButtonWidth = 1750;
inline constexpr int kBottomMargin = 40;
inline constexpr int kFrameAllowance = 400;
inline constexpr quint32 kOddColor = 0x00E0FEFF;
inline constexpr quint32 kEvenColor = 0x00FFECD8;

// One line of 8-point text centred on the band: top + 375/2 - 210/2.
inline double labelTop(int rowTop) { return (kPitch / 2.0 + rowTop) - 210 / 2.0; }
inline quint32 rowColor(int n) { return n % 2 == 1 ? kOddColor : kEvenColor; }
}  // namespace rowlayout

// One row as row building hands it to the window.
struct HostRow {
    int number;        // from 1
    QString label;     // label text of the entry line
    QString address;   // address text, exactly as read
    int top;           // band and button top in twips
    qint32 lineIndex;  // the 0-based line it came from
};

// Row building, shared by the real window and by anything that only needs to know the rows.
class HostPanel : public ListWindow {
public:
    // Adds a row per entry line from startIndex on, then sets the outer height to fit them.
    // Throws ListError at the row limit; rows added before it stay and the height is not set.
    void BuildHostRows(Int16 startIndex) final;

    // Rows built so far.
    Int16 RowCount;

protected:
    virtual void addRow(const HostRow &row) = 0;
    virtual void setOuterHeight(Int16 twips) = 0;
};
