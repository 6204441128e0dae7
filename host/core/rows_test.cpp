#include "tonebridge/core/conversion.h"
#include "tonebridge/core/file_list.h"
#include "tonebridge/core/rows.h"

#include <gtest/gtest.h>

namespace tonebridge::core {
namespace {

TEST(RowsModel, NewRowsCarryTheDefaultColoursAndEmptyCells) {
    RowsModel plain;
    EXPECT_EQ(plain.counterLine(), kCounterEmpty);
    const int row = plain.insertRow();
    EXPECT_EQ(row, 0);
    ASSERT_NE(plain.row(0).colors, nullptr);
    EXPECT_EQ(plain.row(0).colors->textColor, kColorBlack);
    EXPECT_EQ(plain.row(0).colors->backgroundColor, kColorWhite);
    for (int c = 0; c < kColumnCount; ++c) {
        EXPECT_EQ(plain.cellText(0, c), "");
    }

    RowsModel themed(RowColors(0x111111, 0x222222));
    themed.insertRow();
    EXPECT_EQ(themed.row(0).colors->textColor, 0x111111u);
    EXPECT_EQ(themed.row(0).colors->backgroundColor, 0x222222u);
}

TEST(RowsModel, ColoursSelectionAndOutOfRangeAccess) {
    RowsModel rows;
    rows.insertRow();
    rows.insertRow();
    EXPECT_TRUE(rows.setRowTextColor(1, kColorRed));
    EXPECT_TRUE(rows.setRowBackgroundColor(1, kColorYellow));
    EXPECT_EQ(rows.row(1).colors->textColor, kColorRed);
    EXPECT_EQ(rows.row(0).colors->textColor, kColorBlack);
    EXPECT_FALSE(rows.setRowTextColor(5, kColorRed));
    EXPECT_FALSE(rows.setRowBackgroundColor(-1, kColorRed));
    rows.setCellText(9, kColFile, "ignored");
    rows.setCellText(0, kColumnCount, "ignored");
    EXPECT_EQ(rows.cellText(9, kColFile), "");

    EXPECT_FALSE(rows.firstSelected().has_value());
    rows.setSelected(1, true);
    rows.setSelected(0, true);
    EXPECT_EQ(rows.firstSelected(), 0);
    rows.setSelected(0, false);
    EXPECT_EQ(rows.firstSelected(), 1);
}

TEST(RowsModel, DeleteFilesRemovesTheSelectionOrEverything) {
    RowsModel rows;
    for (int i = 0; i < 4; ++i) {
        rows.setCellText(rows.insertRow(), kColFile, "f" + std::to_string(i));
    }
    rows.setSelected(1, true);
    rows.setSelected(3, true);
    deleteFiles(rows);
    ASSERT_EQ(rows.rowCount(), 2);
    EXPECT_EQ(rows.cellText(0, kColFile), "f0");
    EXPECT_EQ(rows.cellText(1, kColFile), "f2");
    EXPECT_EQ(rows.counterLine(), std::string("2") + kCounterInList);

    rows.setSelected(0, true);
    rows.setSelected(1, true);
    deleteFiles(rows);
    EXPECT_EQ(rows.rowCount(), 0);
    EXPECT_EQ(rows.counterLine(), std::string("0") + kCounterInList);

    rows.insertRow();
    rows.insertRow();
    deleteFiles(rows); // nothing selected: the whole list goes
    EXPECT_EQ(rows.rowCount(), 0);
    EXPECT_EQ(rows.counterLine(), kCounterEmpty);

    rows.setCounterLine("unchanged");
    deleteFiles(rows); // empty list: nothing happens
    EXPECT_EQ(rows.counterLine(), "unchanged");
}

} // namespace
} // namespace tonebridge::core
