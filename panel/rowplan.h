#pragma once

#include <vector>

#include "panel/hostpanel.h"

// The window's rows, caption and height as start-up would leave them, without any widget:
// for the checker tool, the fuzzer and tests.
class RowPlan : public HostPanel {
public:
    QString caption() const override { return m_caption; }
    void setCaption(const QString &caption) override { m_caption = caption; }

    const std::vector<HostRow> &rows() const { return m_rows; }
    // Outer height in twips; the design-time height until row building sets it.
    int outerHeight() const { return m_outerHeight; }

protected:
    void addRow(const HostRow &row) override { m_rows.push_back(row); }
    void setOuterHeight(Int16 twips) override { m_outerHeight = twips.value(); }

private:
    QString m_caption = QString::fromUtf16(rowlayout::kDesignCaption);
    std::vector<HostRow> m_rows;
    int m_outerHeight = rowlayout::kDesignClientHeight + rowlayout::kFrameAllowance;
};
