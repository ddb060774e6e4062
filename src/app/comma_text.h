#pragma once
// The comma-text rule of the program's text files (plug-in list, setting files, user filters):
// fields are separated by commas; a field may be enclosed in double quotes (a doubled quote
// inside stands for one); outside quotes a blank or control character also ends a field.

#include <string>
#include <string_view>
#include <vector>

namespace vtl::app {

std::vector<std::string> SplitCommaText(std::string_view line);

// The inverse: fields joined by commas, each quoted when it holds a blank, a comma, a quote or a
// control character, or is empty.
std::string JoinCommaText(const std::vector<std::string>& fields);

// Splits a text file into lines at CR LF, LF or CR, as the program's list files are read.
std::vector<std::string> SplitLines(std::string_view text);

} // namespace vtl::app
