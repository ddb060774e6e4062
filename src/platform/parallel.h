#pragma once
// Bands of rows run side by side on the machine's cores.
//
// An operation that computes each output row from input rows alone hands its row range to
// ForEachBand, which cuts it into bands and runs them on a few threads, the calling thread among
// them. A band reads only the input and writes only its own rows, so the result is the same byte
// for byte on one thread or many.
//
// An exception in a band (a refused allocation, an image buffer error) stops the bands not yet
// started; the ones running finish, and the first exception is thrown again in the calling thread,
// so that the operation fails as it would on one thread.

#include <cstdint>
#include <functional>

namespace vtl::platform {

// Below this many pixels a picture is done on the calling thread: starting threads would cost
// more than they save.
inline constexpr uint64_t kParallelMinPixels = 65536;

// The number of threads an operation uses: `requested` when it is 1 or more; else the value of
// VTL_THREADS when that is a number of 1 or more; else the machine's cores.
int ThreadCount(int requested = 0);

// Runs band(first, last) for consecutive row ranges that together cover 0..rows, each exactly
// once, on up to ThreadCount(threads) threads. `pixels` is the size of the whole work; small work
// runs as one band on the calling thread. Returns the number of bands run.
int ForEachBand(int32_t rows, uint64_t pixels, int threads,
    const std::function<void(int32_t first, int32_t last)>& band);

// Runs part(0) .. part(parts - 1), each exactly once, on up to ThreadCount(threads) threads (the
// calling thread among them), with the same handling of exceptions as ForEachBand.
void ForEachPart(int parts, int threads, const std::function<void(int part)>& part);

} // namespace vtl::platform
