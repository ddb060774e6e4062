#pragma once
// Owners of libjpeg's compress and decompress state. libjpeg reports fatal errors through an
// error_exit that must not return; ours longjmps back into one of the small Try* functions of
// jpeg_lib.cpp, which hold no C++ objects, and the caller turns the failure into EJpegError.

#include "platform/progress.h"
#include "platform/stream.h"

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace vtl::codecs {

// libjpeg refused or could not finish a picture; the text is libjpeg's own message.
class EJpegError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace jpeg_detail {

    // libjpeg's error manager plus the place its error_exit jumps back to.
    struct ErrorManager {
        jpeg_error_mgr pub {};
        std::jmp_buf jump {};
        int warnings = 0;
    };

    // Feeds libjpeg from a byte span or from an open file. A source that runs dry hands libjpeg
    // an end-of-image marker, so a truncated file decodes as far as its data goes (the rest of
    // the picture stays grey), as the common viewers do.
    struct SourceManager {
        jpeg_source_mgr pub {};
        std::FILE* file = nullptr;
        JOCTET buffer[4096] {};
        bool insertedEoi = false;
    };

    // Turns libjpeg's pass counters into stages and whole percents for a ProgressHandler.
    struct ProgressMonitor {
        jpeg_progress_mgr pub {};
        const platform::ProgressHandler* handler = nullptr;
        int lastPercent = -1;
        bool cancelled = false; // the handler threw ELoadCancelled
    };

    // Collects compressed bytes in a vector that doubles as it fills, or passes them to a
    // stream in pieces of the vector's first size (then `stream` is set, and a stream's failure
    // is kept in `error` to be rethrown once libjpeg's frames are left).
    struct Destination {
        jpeg_destination_mgr pub {};
        std::vector<uint8_t>* out = nullptr;
        platform::TStream* stream = nullptr;
        std::vector<uint8_t> piece;
        std::exception_ptr error;
    };

} // namespace jpeg_detail

class JpegDecompress {
public:
    // Reads from `data`, which must outlive this object.
    explicit JpegDecompress(std::span<const uint8_t> data);
    // Reads from `file` at its current position, only as far as libjpeg asks.
    explicit JpegDecompress(std::FILE* file);
    ~JpegDecompress();
    JpegDecompress(const JpegDecompress&) = delete;
    JpegDecompress& operator=(const JpegDecompress&) = delete;

    jpeg_decompress_struct& Info() { return m_info; }
    void SetProgress(const platform::ProgressHandler* handler);
    void ReportStage(platform::ProgressStage stage, int percent);

    // Each throws EJpegError with libjpeg's message when libjpeg gives up.
    void ReadHeader();
    void CalcOutputDimensions();
    void StartDecompress();
    // Reads up to `count` rows into `rows`; returns how many were read.
    unsigned ReadScanlines(JSAMPARRAY rows, unsigned count);
    void FinishDecompress();

private:
    void Init();
    [[noreturn]] void Fail();
    void Check(bool ok)
    {
        if (!ok)
            Fail();
    }

    jpeg_decompress_struct m_info {};
    jpeg_detail::ErrorManager m_error;
    jpeg_detail::SourceManager m_source;
    jpeg_detail::ProgressMonitor m_progress;
    std::span<const uint8_t> m_data;
};

class JpegCompress {
public:
    // Compressed bytes are appended to `out`.
    explicit JpegCompress(std::vector<uint8_t>& out);
    // Compressed bytes are written to `stream` in pieces; its errors are thrown as they were.
    explicit JpegCompress(platform::TStream& stream);
    ~JpegCompress();
    JpegCompress(const JpegCompress&) = delete;
    JpegCompress& operator=(const JpegCompress&) = delete;

    jpeg_compress_struct& Info() { return m_info; }

    void SetDefaults();
    void SetQuality(int quality);
    void StartCompress();
    void WriteScanlines(JSAMPARRAY rows, unsigned count);
    void FinishCompress();

private:
    void Install();
    [[noreturn]] void Fail();
    void Check(bool ok)
    {
        if (!ok)
            Fail();
    }

    jpeg_compress_struct m_info {};
    jpeg_detail::ErrorManager m_error;
    jpeg_detail::Destination m_dest;
};

} // namespace vtl::codecs
