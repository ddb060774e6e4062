#include "processing/user_filters.h"

#include "app/comma_text.h"
#include "platform/atomic_file.h"
#include "platform/environment.h"
#include "processing/filter_kernels.h"
#include "processing/value_input.h"

#include <fstream>
#include <iterator>
#include <utility>

namespace vtl::processing {

using platform::TPixelFormat;

namespace {
    std::string JoinPlain(const std::vector<std::string>& fields, size_t first)
    {
        std::string text;
        for (size_t i = first; i < fields.size(); ++i) {
            if (i > first)
                text += ',';
            text += fields[i];
        }
        return text;
    }
}

void TFilter::SetLists(std::vector<std::string> names, std::vector<std::string> data)
{
    const size_t n = std::min(names.size(), data.size());
    names.resize(n);
    data.resize(n);
    m_names = std::move(names);
    m_data = std::move(data);
}

std::filesystem::path TFilter::FilePath() { return platform::DataFolder() / "vtl.fil"; }

bool TFilter::Load(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    const std::string text { std::istreambuf_iterator<char>(in), {} };
    LoadFromText(text);
    return true;
}

void TFilter::LoadFromText(std::string_view text)
{
    std::vector<std::string> names, data;
    for (const std::string& line : app::SplitLines(text)) {
        std::vector<std::string> fields = app::SplitCommaText(line);
        if (fields.size() != 10 && fields.size() != 26)
            continue;
        names.push_back(fields[0]);
        fields.erase(fields.begin());
        // A coefficient written in quotes (it held a blank, a comma or a quote) keeps its quotes,
        // so that the data text splits into the same fields again and the line survives a save.
        data.push_back(app::JoinCommaText(fields));
    }
    m_names = std::move(names);
    m_data = std::move(data);
}

std::string TFilter::SaveToText() const
{
    std::string text;
    for (size_t i = 0; i < m_names.size(); ++i) {
        // The name goes between quotes; a quote inside it is doubled so that it reads back.
        text += '"';
        for (char c : m_names[i]) {
            if (c == '"')
                text += '"';
            text += c;
        }
        text += "\",";
        text += m_data[i];
        text += "\r\n";
    }
    return text;
}

void TFilter::Save(const std::filesystem::path& path) const
{
    platform::WriteFileAtomically(path, SaveToText());
}

std::optional<int> TFilter::GetCoefficients(size_t index)
{
    if (index >= m_data.size())
        return std::nullopt;
    const std::vector<std::string> fields = app::SplitCommaText(m_data[index]);
    if (fields.size() != 9 && fields.size() != 25)
        return std::nullopt;
    std::array<double, 25> parsed {};
    for (size_t i = 0; i < fields.size(); ++i) {
        std::optional<double> value = ParseReal(fields[i]);
        if (!value)
            return std::nullopt;
        parsed[i] = *value;
    }
    m_coefficients = parsed;
    return fields.size() == 9 ? 3 : 5;
}

bool TFilter::Apply(TBitmap& picture, TBitmap* undo, size_t index, const ProcessContext& context)
{
    std::optional<int> size = GetCoefficients(index);
    if (!size)
        return false;
    const int n = *size;
    if (picture.Width() < n || picture.Height() < n)
        return false;
    StatusText status(context, kConvertingText);
    const WorkSource source(picture);
    TBitmap result = TBitmap::ForWriting(source.Width(), source.Height(), TPixelFormat::pf24bit);
    std::vector<uint8_t*> out = RowPointers(result);
    const size_t values = size_t(source.Width()) * 3;
    const std::array<double, 25> coefficients = m_coefficients;
    ForEachWindow24(source, n, out, context.threads, [&] {
        return [&, sums = std::vector<double>(values)](
                   const uint8_t* const* rows, uint8_t* row) mutable {
            kernels::PlainSum(rows, n, coefficients.data(), values, sums.data());
            kernels::RoundRow(sums.data(), row, values);
        };
    });
    ReduceForPaletteDisplay(result, context, status);
    ReplacePicture(picture, undo, std::move(result));
    return true;
}

// ---- The editor's lists ----

FilterListEdit::FilterListEdit(std::vector<std::string> names, std::vector<std::string> data)
    : m_names(std::move(names))
    , m_data(std::move(data))
{
    const size_t n = std::min(m_names.size(), m_data.size());
    m_names.resize(n);
    m_data.resize(n);
}

bool FilterListEdit::CellsValid(
    const std::string& name, const std::vector<std::string>& cells) const
{
    if (name.empty() || (cells.size() != 9 && cells.size() != 25))
        return false;
    for (const std::string& cell : cells)
        if (!ParseReal(cell))
            return false;
    return true;
}

bool FilterListEdit::Add(const std::string& name, const std::vector<std::string>& cells)
{
    if (!CellsValid(name, cells))
        return false;
    m_names.push_back(name);
    m_data.push_back(JoinPlain(cells, 0));
    m_modified = true;
    return true;
}

bool FilterListEdit::Update(
    size_t index, const std::string& name, const std::vector<std::string>& cells)
{
    if (index >= m_names.size() || !CellsValid(name, cells))
        return false;
    m_names[index] = name;
    m_data[index] = JoinPlain(cells, 0);
    m_modified = true;
    return true;
}

bool FilterListEdit::Delete(size_t index)
{
    if (index >= m_names.size())
        return false;
    m_names.erase(m_names.begin() + std::ptrdiff_t(index));
    m_data.erase(m_data.begin() + std::ptrdiff_t(index));
    m_modified = true;
    return true;
}

std::optional<size_t> FilterListEdit::MoveUp(size_t index)
{
    if (index == 0 || index >= m_names.size())
        return std::nullopt;
    std::swap(m_names[index], m_names[index - 1]);
    std::swap(m_data[index], m_data[index - 1]);
    // A new order is a change the file must learn about.
    m_modified = true;
    return index - 1;
}

std::optional<size_t> FilterListEdit::MoveDown(size_t index)
{
    if (index + 1 >= m_names.size())
        return std::nullopt;
    std::swap(m_names[index], m_names[index + 1]);
    std::swap(m_data[index], m_data[index + 1]);
    m_modified = true;
    return index + 1;
}

std::optional<std::vector<std::string>> FilterListEdit::Cells(size_t index) const
{
    if (index >= m_data.size())
        return std::nullopt;
    std::vector<std::string> fields = app::SplitCommaText(m_data[index]);
    if (fields.size() != 9 && fields.size() != 25)
        return std::nullopt;
    return fields;
}

FilterListEdit::Buttons FilterListEdit::ButtonsFor(long selection) const
{
    Buttons b;
    if (selection < 0 || size_t(selection) >= m_names.size())
        return b;
    b.update = b.remove = true;
    b.up = selection > 0;
    b.down = size_t(selection) + 1 < m_names.size();
    return b;
}

bool CoefficientKeyAllowed(char32_t key)
{
    return (key >= '0' && key <= '9') || key == '-' || key == '.' || key == kBackspace;
}

} // namespace vtl::processing
