#pragma once
// Open requests from outside while the program runs: the desktop's helper `vtl-open` sends an
// execute macro of file names to the running program's local socket, after starting the program
// with "-n" when none answers.

#include <string>
#include <string_view>
#include <vector>

namespace vtl::app {

// The socket's path: in the user's runtime folder (or the temporary folder), named after the
// program, the topic and the user, so that every user reaches only their own program.
std::string OpenGraphicServerName();

// The names of a macro: one a line (LF or CR LF); a line that begins with a double quote loses its
// first and last characters. Empty lines name nothing.
std::vector<std::string> MacroFileNames(std::string_view macro);

// The macro that sends `names`: each in double quotes on a line of its own.
std::string MakeOpenMacro(const std::vector<std::string>& names);

} // namespace vtl::app
