#pragma once
// User filters: named 3 x 3 or 5 x 5 tables of real coefficients, kept in the data folder's
// "vtl.fil" one per line ("name",c1,c2,...), applied to a picture as a plain weighted sum.

#include "processing/processing_frame.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vtl::processing {

class TFilter {
public:
    // The filters' names in menu order, and for each its coefficients as one comma-separated text
    // of 9 or 25 numbers, top row first. Both lists always have the same length.
    const std::vector<std::string>& Names() const { return m_names; }
    const std::vector<std::string>& Data() const { return m_data; }
    size_t Count() const { return m_names.size(); }
    // Replaces both lists (the editor's OK); lists of different lengths are cut to the shorter.
    void SetLists(std::vector<std::string> names, std::vector<std::string> data);

    // The user filter file in the data folder.
    static std::filesystem::path FilePath();
    // Reads the file when it exists, replacing both lists, and returns true; a missing file leaves
    // everything as it was. Lines that are not a name and 9 or 25 fields are skipped.
    bool Load(const std::filesystem::path& path);
    void LoadFromText(std::string_view text);
    // Replaces the file: one line per filter, ending in CR LF. A failed write keeps the old file
    // and throws.
    void Save(const std::filesystem::path& path) const;
    std::string SaveToText() const;

    // Parses filter `index` into the coefficient buffer; the size N (3 or 5), or nothing when the
    // index is beyond the list, the text does not hold exactly 9 or 25 fields, or a field is no
    // real number.
    std::optional<int> GetCoefficients(size_t index);
    const std::array<double, 25>& Coefficients() const { return m_coefficients; }

    // Applies filter `index`: for each channel the sum of coefficient times value over the N x N
    // window (outside the picture counts as 0), rounded with halves to even and clamped. False,
    // with nothing changed, when the coefficients can't be had or the picture is smaller than N.
    bool Apply(TBitmap& picture, TBitmap* undo, size_t index, const ProcessContext& context);

private:
    std::vector<std::string> m_names;
    std::vector<std::string> m_data;
    std::array<double, 25> m_coefficients {};
};

// The lists behind the editor `TUFilDlg`, with its checks; the dialog shows them.
class FilterListEdit {
public:
    FilterListEdit(std::vector<std::string> names, std::vector<std::string> data);

    const std::vector<std::string>& Names() const { return m_names; }
    const std::vector<std::string>& Data() const { return m_data; }
    bool Modified() const { return m_modified; }

    // "追加": nothing (false) when the name is empty or a cell is not a real number; otherwise the
    // cells (9 or 25, row by row) joined with commas become a new filter at the end.
    bool Add(const std::string& name, const std::vector<std::string>& cells);
    // "更新": the same checks, replacing filter `index`.
    bool Update(size_t index, const std::string& name, const std::vector<std::string>& cells);
    // "削除".
    bool Delete(size_t index);
    // The arrows: exchange with the neighbour above or below; returns the new index of the filter.
    std::optional<size_t> MoveUp(size_t index);
    std::optional<size_t> MoveDown(size_t index);

    // The data text of filter `index` split into its cells (9 or 25), or nothing for other counts.
    std::optional<std::vector<std::string>> Cells(size_t index) const;

    // Which buttons a selection enables (none: -1).
    struct Buttons {
        bool update = false, remove = false, up = false, down = false;
    };
    Buttons ButtonsFor(long selection) const;

private:
    bool CellsValid(const std::string& name, const std::vector<std::string>& cells) const;

    std::vector<std::string> m_names;
    std::vector<std::string> m_data;
    bool m_modified = false;
};

// Keys the coefficient grid lets through: digits, "-", "." and backspace.
bool CoefficientKeyAllowed(char32_t key);

} // namespace vtl::processing
