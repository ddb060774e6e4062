#include "browse/folder_listing.h"

#include "browse/folder_thumbs.h"

#include <algorithm>

namespace vtl::browse {

namespace fs = std::filesystem;

namespace {

    char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }
    bool Digit(char c) { return c >= '0' && c <= '9'; }

    // Names compared as runs of digits (by value) and single other characters (without case);
    // 0 when they differ only in case or in leading zeros. A character that is not a digit never
    // falls between two digits, so a number compares with a character as any of its digits
    // would: the order stays a proper one.
    int CompareNatural(std::string_view a, std::string_view b)
    {
        size_t i = 0, j = 0;
        while (i < a.size() && j < b.size()) {
            if (Digit(a[i]) && Digit(b[j])) {
                size_t startA = i, startB = j;
                while (startA < a.size() && a[startA] == '0')
                    ++startA;
                while (startB < b.size() && b[startB] == '0')
                    ++startB;
                size_t endA = startA, endB = startB;
                while (endA < a.size() && Digit(a[endA]))
                    ++endA;
                while (endB < b.size() && Digit(b[endB]))
                    ++endB;
                // Without leading zeros, more digits is the larger number, whatever their count.
                if (endA - startA != endB - startB)
                    return endA - startA < endB - startB ? -1 : 1;
                if (int c = a.substr(startA, endA - startA).compare(b.substr(startB, endB - startB));
                    c != 0)
                    return c < 0 ? -1 : 1;
                i = endA;
                j = endB;
                continue;
            }
            const auto x = static_cast<unsigned char>(LowerAscii(a[i]));
            const auto y = static_cast<unsigned char>(LowerAscii(b[j]));
            if (x != y)
                return x < y ? -1 : 1;
            ++i;
            ++j;
        }
        if (i < a.size())
            return 1;
        if (j < b.size())
            return -1;
        return 0;
    }

} // namespace

bool ListingOrder(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const char x = LowerAscii(a[i]), y = LowerAscii(b[i]);
        if (x != y)
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

bool NaturalOrder(std::string_view a, std::string_view b)
{
    if (int c = CompareNatural(a, b); c != 0)
        return c < 0;
    return ListingOrder(a, b);
}

std::vector<std::string> ListFolderFiles(const fs::path& folder)
{
    std::vector<std::string> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        // Hidden files are not listed; a name with a line break could not be a cache line.
        if (name.empty() || name[0] == '.' || name.find_first_of("\r\n") != std::string::npos)
            continue;
        std::error_code typeError;
        if (it->is_regular_file(typeError))
            files.push_back(std::move(name));
    }
    std::sort(files.begin(), files.end(),
        [](const std::string& a, const std::string& b) { return ListingOrder(a, b); });
    return files;
}

std::vector<std::string> ListFolderPictures(const fs::path& folder,
    const std::function<int(std::string_view fileName)>& findEntry, bool natural)
{
    std::vector<std::string> names = ListFolderFiles(folder);
    std::erase_if(names, [&findEntry](const std::string& name) {
        const int entry = findEntry ? findEntry(name) : BuiltInPictureEntry(name);
        return entry == kEntryNone || entry == kEntryCache;
    });
    if (natural)
        std::stable_sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return NaturalOrder(a, b); });
    return names;
}

std::optional<size_t> StepIndex(
    const std::vector<std::string>& names, std::string_view current, bool forward, bool natural)
{
    const size_t count = names.size();
    if (count == 0)
        return std::nullopt;
    auto less = [natural](std::string_view a, std::string_view b) {
        return natural ? NaturalOrder(a, b) : ListingOrder(a, b);
    };
    if (auto found = std::find(names.begin(), names.end(), current); found != names.end()) {
        const auto index = static_cast<size_t>(found - names.begin());
        return forward ? (index + 1) % count : (index + count - 1) % count;
    }
    // The first name after the missing one is the next; the one before it the previous.
    const auto place = static_cast<size_t>(
        std::lower_bound(names.begin(), names.end(), current, less) - names.begin());
    if (forward)
        return place == count ? 0 : place;
    return place == 0 ? count - 1 : place - 1;
}

} // namespace vtl::browse
