#include "codecs/jpeg_lib.h"

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#include <jerror.h>

namespace vtl::codecs {

using jpeg_detail::Destination;
using jpeg_detail::ErrorManager;
using jpeg_detail::ProgressMonitor;
using jpeg_detail::SourceManager;

namespace {

    // The functions below that call setjmp hold nothing but plain pointers, so the longjmp of
    // error_exit skips no destructor. Everything else stays out of their frames.

    ErrorManager* ErrorOf(j_common_ptr info) { return reinterpret_cast<ErrorManager*>(info->err); }

    void ErrorExit(j_common_ptr info) { std::longjmp(ErrorOf(info)->jump, 1); }

    void EmitMessage(j_common_ptr info, int level)
    {
        // Damaged data is a warning to libjpeg; the picture decodes as far as it can, so we
        // only count them.
        if (level < 0)
            ++ErrorOf(info)->warnings;
    }

    void OutputMessage(j_common_ptr) { }

    void InstallErrorManager(ErrorManager& error)
    {
        jpeg_std_error(&error.pub);
        error.pub.error_exit = ErrorExit;
        error.pub.emit_message = EmitMessage;
        error.pub.output_message = OutputMessage;
    }

    std::string MessageOf(j_common_ptr info)
    {
        char text[JMSG_LENGTH_MAX] = {};
        (*info->err->format_message)(info, text);
        return text;
    }

    // Raises a libjpeg error from inside a callback, where a C++ exception must not pass
    // through libjpeg's frames.
    [[noreturn]] void RaiseFromCallback(j_common_ptr info, int code)
    {
        info->err->msg_code = code;
        (*info->err->error_exit)(info);
        std::abort(); // error_exit never returns
    }

    SourceManager* SourceOf(j_decompress_ptr info)
    {
        return reinterpret_cast<SourceManager*>(info->src);
    }

    void InitSource(j_decompress_ptr) { }
    void TermSource(j_decompress_ptr) { }

    // Hands libjpeg an end-of-image marker once the data is used up.
    boolean InsertEoi(j_decompress_ptr info)
    {
        static const JOCTET kEoi[2] = { 0xFF, JPEG_EOI };
        SourceManager* src = SourceOf(info);
        if (!src->insertedEoi)
            WARNMS(info, JWRN_JPEG_EOF);
        src->insertedEoi = true;
        src->pub.next_input_byte = kEoi;
        src->pub.bytes_in_buffer = 2;
        return TRUE;
    }

    boolean FillFromSpan(j_decompress_ptr info) { return InsertEoi(info); }

    boolean FillFromFile(j_decompress_ptr info)
    {
        SourceManager* src = SourceOf(info);
        size_t got
            = src->insertedEoi ? 0 : std::fread(src->buffer, 1, sizeof src->buffer, src->file);
        if (got == 0)
            return InsertEoi(info);
        src->pub.next_input_byte = src->buffer;
        src->pub.bytes_in_buffer = got;
        return TRUE;
    }

    void SkipInputData(j_decompress_ptr info, long count)
    {
        jpeg_source_mgr* src = info->src;
        if (count <= 0)
            return;
        auto remaining = static_cast<unsigned long>(count);
        while (remaining > src->bytes_in_buffer) {
            remaining -= src->bytes_in_buffer;
            (*src->fill_input_buffer)(info);
            if (SourceOf(info)->insertedEoi)
                return; // nothing left to skip: leave the end marker for libjpeg to find
        }
        src->next_input_byte += remaining;
        src->bytes_in_buffer -= remaining;
    }

    void ProgressCallback(j_common_ptr info)
    {
        auto* monitor = reinterpret_cast<ProgressMonitor*>(info->progress);
        const jpeg_progress_mgr& p = monitor->pub;
        if (monitor->handler == nullptr || p.pass_limit <= 0 || p.total_passes <= 0)
            return;
        long long done = static_cast<long long>(p.completed_passes) * p.pass_limit + p.pass_counter;
        long long whole = static_cast<long long>(p.total_passes) * p.pass_limit;
        int percent = static_cast<int>(std::clamp(done * 100 / whole, 0LL, 100LL));
        if (percent == monitor->lastPercent)
            return;
        monitor->lastPercent = percent;
        {
            platform::ProgressReport report;
            report.stage = platform::ProgressStage::Running;
            report.percent = percent;
            try {
                (*monitor->handler)(report);
            } catch (const platform::ELoadCancelled&) {
                monitor->cancelled = true;
            } catch (...) {
                // A report is only shown; it must not unwind through libjpeg.
            }
        }
        // Cancelling leaves libjpeg as an error does, through error_exit, once nothing of this
        // frame needs destroying; Fail() then throws the cancellation.
        if (monitor->cancelled)
            (*info->err->error_exit)(info);
    }

    bool TryReadHeader(j_decompress_ptr info, ErrorManager* error)
    {
        if (setjmp(error->jump))
            return false;
        jpeg_read_header(info, TRUE);
        return true;
    }

    bool TryCalcOutputDimensions(j_decompress_ptr info, ErrorManager* error)
    {
        if (setjmp(error->jump))
            return false;
        jpeg_calc_output_dimensions(info);
        return true;
    }

    bool TryStartDecompress(j_decompress_ptr info, ErrorManager* error)
    {
        if (setjmp(error->jump))
            return false;
        jpeg_start_decompress(info);
        return true;
    }

    bool TryReadScanlines(
        j_decompress_ptr info, ErrorManager* error, JSAMPARRAY rows, unsigned count, unsigned* read)
    {
        if (setjmp(error->jump))
            return false;
        *read = jpeg_read_scanlines(info, rows, count);
        return true;
    }

    bool TryFinishDecompress(j_decompress_ptr info, ErrorManager* error)
    {
        if (setjmp(error->jump))
            return false;
        jpeg_finish_decompress(info);
        return true;
    }

    bool TryCreateDecompress(j_decompress_ptr info, ErrorManager* error)
    {
        if (setjmp(error->jump))
            return false;
        jpeg_create_decompress(info);
        return true;
    }

    bool TryCreateCompress(j_compress_ptr info, ErrorManager* error)
    {
        if (setjmp(error->jump))
            return false;
        jpeg_create_compress(info);
        return true;
    }

    bool TrySetDefaults(j_compress_ptr info, ErrorManager* error)
    {
        if (setjmp(error->jump))
            return false;
        jpeg_set_defaults(info);
        return true;
    }

    bool TrySetQuality(j_compress_ptr info, ErrorManager* error, int quality)
    {
        if (setjmp(error->jump))
            return false;
        jpeg_set_quality(info, quality, TRUE);
        return true;
    }

    bool TryStartCompress(j_compress_ptr info, ErrorManager* error)
    {
        if (setjmp(error->jump))
            return false;
        jpeg_start_compress(info, TRUE);
        return true;
    }

    bool TryWriteScanlines(
        j_compress_ptr info, ErrorManager* error, JSAMPARRAY rows, unsigned count)
    {
        if (setjmp(error->jump))
            return false;
        jpeg_write_scanlines(info, rows, count);
        return true;
    }

    bool TryFinishCompress(j_compress_ptr info, ErrorManager* error)
    {
        if (setjmp(error->jump))
            return false;
        jpeg_finish_compress(info);
        return true;
    }

    constexpr size_t kFirstOutputSize = 64 * 1024;

    // Grows the output vector; a refused allocation becomes libjpeg's out-of-memory error.
    bool GrowOutput(std::vector<uint8_t>& out, size_t size) noexcept
    {
        try {
            out.resize(size);
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        } catch (const std::length_error&) {
            return false;
        }
    }

} // namespace

// ---- decompression ----

JpegDecompress::JpegDecompress(std::span<const uint8_t> data)
    : m_data(data)
{
    Init();
    m_source.pub.next_input_byte = data.data();
    m_source.pub.bytes_in_buffer = data.size();
    m_source.pub.fill_input_buffer = FillFromSpan;
}

JpegDecompress::JpegDecompress(std::FILE* file)
{
    Init();
    m_source.file = file;
    m_source.pub.fill_input_buffer = FillFromFile;
}

void JpegDecompress::Init()
{
    InstallErrorManager(m_error);
    m_info.err = &m_error.pub;
    if (!TryCreateDecompress(&m_info, &m_error))
        throw std::bad_alloc();
    m_source.pub.init_source = InitSource;
    m_source.pub.skip_input_data = SkipInputData;
    m_source.pub.resync_to_restart = jpeg_resync_to_restart;
    m_source.pub.term_source = TermSource;
    m_info.src = &m_source.pub;
}

JpegDecompress::~JpegDecompress() { jpeg_destroy_decompress(&m_info); }

void JpegDecompress::SetProgress(const platform::ProgressHandler* handler)
{
    if (handler == nullptr || !*handler) {
        m_info.progress = nullptr;
        return;
    }
    m_progress.handler = handler;
    m_progress.pub.progress_monitor = ProgressCallback;
    m_info.progress = &m_progress.pub;
}

void JpegDecompress::ReportStage(platform::ProgressStage stage, int percent)
{
    if (m_info.progress == nullptr)
        return;
    platform::ProgressReport report;
    report.stage = stage;
    report.percent = percent;
    (*m_progress.handler)(report);
}

void JpegDecompress::Fail()
{
    if (m_progress.cancelled)
        throw platform::ELoadCancelled();
    throw EJpegError(MessageOf(reinterpret_cast<j_common_ptr>(&m_info)));
}

void JpegDecompress::ReadHeader() { Check(TryReadHeader(&m_info, &m_error)); }

void JpegDecompress::CalcOutputDimensions() { Check(TryCalcOutputDimensions(&m_info, &m_error)); }

void JpegDecompress::StartDecompress() { Check(TryStartDecompress(&m_info, &m_error)); }

unsigned JpegDecompress::ReadScanlines(JSAMPARRAY rows, unsigned count)
{
    unsigned read = 0;
    Check(TryReadScanlines(&m_info, &m_error, rows, count, &read));
    return read;
}

void JpegDecompress::FinishDecompress() { Check(TryFinishDecompress(&m_info, &m_error)); }

// ---- compression ----

namespace {

    Destination* DestOf(j_compress_ptr info) { return reinterpret_cast<Destination*>(info->dest); }

    // Hands the filled part of the piece to the stream. A stream's exception is caught here and
    // raised again as libjpeg's write error, so that it never passes through libjpeg's frames.
    void PassPiece(j_compress_ptr info, size_t count)
    {
        Destination* dest = DestOf(info);
        bool failed = false;
        try {
            dest->stream->WriteBuffer(dest->piece.data(), count);
        } catch (...) {
            dest->error = std::current_exception();
            failed = true;
        }
        if (failed)
            RaiseFromCallback(reinterpret_cast<j_common_ptr>(info), JERR_FILE_WRITE);
    }

    void InitDestination(j_compress_ptr info)
    {
        Destination* dest = DestOf(info);
        if (dest->stream) {
            dest->pub.next_output_byte = dest->piece.data();
            dest->pub.free_in_buffer = dest->piece.size();
            return;
        }
        if (!GrowOutput(*dest->out, kFirstOutputSize))
            RaiseFromCallback(reinterpret_cast<j_common_ptr>(info), JERR_OUT_OF_MEMORY);
        dest->pub.next_output_byte = dest->out->data();
        dest->pub.free_in_buffer = dest->out->size();
    }

    boolean EmptyOutputBuffer(j_compress_ptr info)
    {
        // libjpeg calls this only when the whole buffer is full.
        Destination* dest = DestOf(info);
        if (dest->stream) {
            PassPiece(info, dest->piece.size());
            dest->pub.next_output_byte = dest->piece.data();
            dest->pub.free_in_buffer = dest->piece.size();
            return TRUE;
        }
        size_t full = dest->out->size();
        if (!GrowOutput(*dest->out, full * 2))
            RaiseFromCallback(reinterpret_cast<j_common_ptr>(info), JERR_OUT_OF_MEMORY);
        dest->pub.next_output_byte = dest->out->data() + full;
        dest->pub.free_in_buffer = dest->out->size() - full;
        return TRUE;
    }

    void TermDestination(j_compress_ptr info)
    {
        Destination* dest = DestOf(info);
        if (dest->stream) {
            PassPiece(info, dest->piece.size() - dest->pub.free_in_buffer);
            return;
        }
        dest->out->resize(dest->out->size() - dest->pub.free_in_buffer);
    }

} // namespace

static_assert(offsetof(Destination, pub) == 0);

JpegCompress::JpegCompress(std::vector<uint8_t>& out)
{
    out.clear();
    m_dest.out = &out;
    Install();
}

JpegCompress::JpegCompress(platform::TStream& stream)
{
    m_dest.stream = &stream;
    m_dest.piece.resize(kFirstOutputSize * 4);
    Install();
}

void JpegCompress::Install()
{
    InstallErrorManager(m_error);
    m_info.err = &m_error.pub;
    if (!TryCreateCompress(&m_info, &m_error))
        throw std::bad_alloc();
    m_dest.pub.init_destination = InitDestination;
    m_dest.pub.empty_output_buffer = EmptyOutputBuffer;
    m_dest.pub.term_destination = TermDestination;
    m_info.dest = &m_dest.pub;
}

JpegCompress::~JpegCompress() { jpeg_destroy_compress(&m_info); }

void JpegCompress::Fail()
{
    if (m_dest.error)
        std::rethrow_exception(m_dest.error);
    throw EJpegError(MessageOf(reinterpret_cast<j_common_ptr>(&m_info)));
}

void JpegCompress::SetDefaults() { Check(TrySetDefaults(&m_info, &m_error)); }

void JpegCompress::SetQuality(int quality) { Check(TrySetQuality(&m_info, &m_error, quality)); }

void JpegCompress::StartCompress() { Check(TryStartCompress(&m_info, &m_error)); }

void JpegCompress::WriteScanlines(JSAMPARRAY rows, unsigned count)
{
    Check(TryWriteScanlines(&m_info, &m_error, rows, count));
}

void JpegCompress::FinishCompress() { Check(TryFinishCompress(&m_info, &m_error)); }

} // namespace vtl::codecs
