// The file list's rows without widgets: six columns, a colour record per row, selection,
// and the counter line under the list. What the file list does with them (Add, Delete, a
// conversion's outcome) is in file_list.h and works through RowAccess.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tonebridge::core {

/// Column indexes.
enum Column : int {
    kColFile = 0,
    kColSize = 1,
    kColType = 2,
    kColStatus = 3,
    kColOutSize = 4,
    kColPath = 5,
};
inline constexpr int kColumnCount = 6;

/// Column headings, by index.
inline constexpr std::array<const char*, kColumnCount> kColumnHeadings = {"File",   "Size", "Type",
                                                                          "Status", "Size", "Path"};

/// Colours in the 0x00BBGGRR form.
inline constexpr uint32_t kColorBlack = 0x000000;
inline constexpr uint32_t kColorWhite = 0xFFFFFF;
inline constexpr uint32_t kColorRed = 0x0000FF;
inline constexpr uint32_t kColorYellow = 0x00FFFF;

/// Counter line texts.
inline constexpr const char* kCounterEmpty = "no file in list";
inline constexpr const char* kCounterInList = " file(s) in list";
inline constexpr const char* kCounterConverted = " file(s) converted successfully";

/// Status texts of the list.
inline constexpr const char* kStatusAdded = "Not Converted";
inline constexpr const char* kStatusRunStart = "not converted";
inline constexpr const char* kStatusCannotOpen = "File cannot be opened !";
inline constexpr const char* kTypeUnknown = "unknow";

/// Colour record every row carries.
struct RowColors {
    RowColors() = default;
    RowColors(uint32_t text, uint32_t background) : textColor(text), backgroundColor(background) {}
    virtual ~RowColors() = default;
    uint32_t textColor = kColorBlack;       ///< system window-text colour by default
    uint32_t backgroundColor = kColorWhite; ///< system window colour by default
};

/// The operations on the file list's rows, whoever holds them: the rows model below, or the
/// desktop program's list control.
class RowAccess {
public:
    virtual ~RowAccess() = default;
    virtual int rowCount() = 0;
    virtual std::string cellText(int row, int column) = 0;
    virtual void setCellText(int row, int column, const std::string& text) = 0;
    /// False (0) when the row has no colour record.
    virtual bool setRowTextColor(int row, uint32_t color) = 0;
    virtual bool setRowBackgroundColor(int row, uint32_t color) = 0;
    virtual void setCounterLine(const std::string& text) = 0;
    /// Scrolls so that the row can be seen.
    virtual void ensureVisible(int row) = 0;
    /// Selects the row alone (its other states cleared), or clears its selected state.
    virtual void setSelected(int row, bool selected) = 0;
    /// Appends a row with empty texts and a fresh colour record; returns its index.
    virtual int insertRow() = 0;
    /// Deletes a row (its colour record with it); later rows move up.
    virtual void deleteRow(int row) = 0;
    virtual void deleteAllRows() = 0;
    /// Lowest selected index, or nullopt.
    virtual std::optional<int> firstSelected() = 0;
};

struct Row {
    std::array<std::string, kColumnCount> cells;
    std::unique_ptr<RowColors> colors;
    bool selected = false;
    bool focused = false;
};

/// The rows themselves, owned by one thread (the GUI's, or the command line's).
class RowsModel : public RowAccess {
public:
    /// defaultColors: the colours a new row receives (the system's window colours).
    explicit RowsModel(RowColors defaultColors = RowColors());

    int rowCount() override { return static_cast<int>(m_rows.size()); }
    std::string cellText(int row, int column) override;
    void setCellText(int row, int column, const std::string& text) override;
    bool setRowTextColor(int row, uint32_t color) override;
    bool setRowBackgroundColor(int row, uint32_t color) override;
    void setCounterLine(const std::string& text) override { m_counterLine = text; }
    void ensureVisible(int) override {}
    void setSelected(int row, bool selected) override;
    int insertRow() override;
    void deleteRow(int row) override;
    void deleteAllRows() override;
    std::optional<int> firstSelected() override;
    const std::string& counterLine() const { return m_counterLine; }
    const Row& row(int index) const { return m_rows.at(static_cast<std::size_t>(index)); }

private:
    RowColors m_defaultColors;
    std::vector<Row> m_rows;
    std::string m_counterLine = kCounterEmpty;
};

} // namespace tonebridge::core
