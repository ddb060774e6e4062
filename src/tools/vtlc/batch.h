#pragma once
// Running one piece of work for many files at once: a fixed number of threads take the files in
// order, and everything a user reads (notes, names, the failures) comes out in input order
// whatever order the threads finish in.

#include "tools/vtlc/output_names.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace vtl::tools {

// Lines for the user about one file that was written (an uncompressed fallback, an operation
// that left the picture as it was).
using Notes = std::vector<std::string>;

// Writes one job's output; throws with the message a user should read when it fails.
using FileWork = std::function<void(const BatchJob&, Notes&)>;

struct BatchSettings {
    unsigned jobs = 1;
    bool verbose = false; // names each file written
    bool quiet = false; // no notes, no progress
    bool progress = false; // an updating line on a terminal
};

// Runs `work` on every job. Prints to `err` each job's notes in input order, the progress line,
// and at the end every failed input with its message. Returns 0 when all succeeded, 1 when any
// failed, 2 when the work met a usage error (then no further file is started).
int RunBatch(const std::vector<BatchJob>& jobs, const FileWork& work, const BatchSettings& settings,
    std::FILE* err);

// The number of threads that -j gives when it isn't set: every core.
unsigned DefaultJobs();

} // namespace vtl::tools
