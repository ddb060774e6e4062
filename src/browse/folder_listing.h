#pragma once
// Which files of a folder the thumbnail browser lists, and in what order, without the window.
// The browser's scan and the stepping of a document through its own folder both list a folder
// this way, so that ◀ ▶ meet the pictures the browser would show, in the order it shows new ones.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vtl::browse {

// The listing's order: the system lists a folder in no particular order, so names are sorted as a
// folder listing shows them, letters compared without case, a name before the longer names it
// begins, and ties broken by the bytes.
bool ListingOrder(std::string_view a, std::string_view b);

// Natural order: runs of digits compared by their value ("img2" before "img10", "7" beside
// "007"), everything else as in ListingOrder; names that differ only in the spelling of equal
// numbers or in case fall back to ListingOrder, so that the order is total.
bool NaturalOrder(std::string_view a, std::string_view b);

// The names of the regular files of `folder` that a listing shows: no hidden files (a leading
// dot) and no names with a line break (they could not be a cache line), sorted in ListingOrder.
// Nothing when the folder can't be read.
std::vector<std::string> ListFolderFiles(const std::filesystem::path& folder);

// The pictures of `folder`: the listed files whose entry in the picture extension list
// (`findEntry`, Find entry from 0) is a picture's, that is neither no entry nor the thumbnail
// cache's "*.snx"; in natural order when `natural` is set, else in ListingOrder.
std::vector<std::string> ListFolderPictures(const std::filesystem::path& folder,
    const std::function<int(std::string_view fileName)>& findEntry, bool natural);

// The index a step from `current` reaches in `names` (sorted as `natural` says), wrapping from
// the last name to the first and back. A name that is not in the list (its file was renamed or
// deleted) steps from the place it would have. Nothing for an empty list.
std::optional<size_t> StepIndex(
    const std::vector<std::string>& names, std::string_view current, bool forward, bool natural);

} // namespace vtl::browse
