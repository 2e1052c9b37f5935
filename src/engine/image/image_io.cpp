// JPEG through libjpeg-turbo, PNG through libpng, binary PPM by hand, and the atomic file write they all share.
#include "image/image_io.h"

#include "core/stage_times.h"

#include "image/exif_orientation.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <random>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

#include <jpeglib.h>
// jerror.h after jpeglib.h: the message codes tell a truncated file and an unsupported precision apart.
#include <jerror.h>
#include <png.h>

namespace vellicam {

namespace {

std::string ErrnoText(int error)
{
    return std::generic_category().message(error);
}

// A failure value; running out of memory counts as a memory failure wherever it happens.
EngineError Error(ErrorCode code, ErrorDomain domain, std::string reason = {}, int width = 0, int height = 0)
{
    if (code == ErrorCode::OutOfMemory)
        domain = ErrorDomain::Memory;
    return { code, domain, std::move(reason), width, height };
}

// A failure the system gave as errno: its text is the reason, and the number goes along for the session's wording.
EngineError SystemError(ErrorCode code, int error)
{
    EngineError failure = Error(code, ErrorDomain::File, error != 0 ? ErrnoText(error) : std::string());
    failure.systemError = error;
    return failure;
}

IoResult OutOfMemory(std::string why)
{
    return IoResult::Failure(Error(ErrorCode::OutOfMemory, ErrorDomain::Memory), std::move(why));
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens a regular file for reading, with a reason a person can act on when it cannot be had. What lies at the path
// is looked at first: opening a named pipe waits for a writer that may never come, and opening a device can do
// anything. The open itself does not wait either (something swapped in after the look is caught by the fstat).
IoResult OpenForReading(const std::string& path, FilePtr& file)
{
    if (path.empty())
        return IoResult::Failure(Error(ErrorCode::NoFileName, ErrorDomain::File), "no file name given");
    int error = 0;
    if (const FileKind kind = KindOfFile(path, &error); kind != FileKind::Regular)
        return IoResult::Failure(NotARegularFileError(kind, error), NotARegularFileText(path, kind, error));
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return IoResult::Failure(SystemError(ErrorCode::NotFound, error), "file not found: " + path);
        return IoResult::Failure(
            SystemError(ErrorCode::CannotOpen, error), "cannot open " + path + ": " + ErrnoText(error));
    }
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        const FileKind kind = FileKindOfMode(st.st_mode);
        return IoResult::Failure(NotARegularFileError(kind), NotARegularFileText(path, kind, 0));
    }
    // Reads of a regular file never wait anyway; the flag goes so that nothing downstream sees EAGAIN.
    if (const int flags = ::fcntl(fd, F_GETFL); flags >= 0)
        (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        error = errno;
        ::close(fd);
        return IoResult::Failure(
            SystemError(ErrorCode::CannotOpen, error), "cannot open " + path + ": " + ErrnoText(error));
    }
    file.reset(f);
    return IoResult::Success();
}

bool SizeAllowed(std::int64_t width, std::int64_t height)
{
    return width > 0 && height > 0 && width * height <= kMaxBitmapPixels;
}

std::string SizeText(std::int64_t width, std::int64_t height)
{
    return std::to_string(width) + " × " + std::to_string(height);
}

std::string Lowercase(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// ---- JPEG ------------------------------------------------------------------------------------------------

// A progressive file can announce any number of scans, each a full pass over the coefficients; a few hundred
// is already far beyond what any encoder writes, and the limit keeps a crafted file from running for hours.
constexpr int kMaxProgressiveScans = 500;
// Rows handed to libjpeg per call: enough for its largest row group, so no call returns short needlessly.
constexpr int kRowsPerCall = 16;

// libjpeg's error manager, and what ended the work. Plain characters, not strings: the handlers run inside libjpeg
// and leave by longjmp, where nothing may allocate or throw. The caller makes an EngineError of it afterwards.
struct JpegErrorHandler {
    jpeg_error_mgr pub; // first, so libjpeg's pointer to it is a pointer to the whole
    std::jmp_buf jump;
    ErrorCode code = ErrorCode::None; // None: libjpeg's own refusal, Corrupt or CodecFailed by the caller's work
    char message[JMSG_LENGTH_MAX + 64]; // the account that follows "cannot read JPEG <name>: "
    char reason[JMSG_LENGTH_MAX]; // libjpeg's message, "" when the program itself gave up
};

[[noreturn]] void FailWith(j_common_ptr cinfo, ErrorCode code, const char* text, const char* reason = "")
{
    auto* handler = reinterpret_cast<JpegErrorHandler*>(cinfo->err);
    handler->code = code;
    std::snprintf(handler->message, sizeof handler->message, "%s", text);
    std::snprintf(handler->reason, sizeof handler->reason, "%s", reason);
    std::longjmp(handler->jump, 1);
}

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo)
{
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    if (cinfo->err->msg_code == JERR_BAD_PRECISION) {
        char message[JMSG_LENGTH_MAX + 64];
        std::snprintf(message, sizeof message, "unsupported JPEG: only 8-bit samples (%s)", text);
        FailWith(cinfo, ErrorCode::Unsupported, message, text);
    }
    FailWith(cinfo, ErrorCode::None, text, text);
}

// Warnings go unreported (cameras write harmless ones) except running out of data: decoding on would fill
// the rest of the photo with grey, and a half-grey photo is worse than a clear refusal.
void JpegEmitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    const int code = cinfo->err->msg_code;
    cinfo->err->num_warnings++;
    if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER) {
        char text[JMSG_LENGTH_MAX];
        (*cinfo->err->format_message)(cinfo, text);
        char message[JMSG_LENGTH_MAX + 32];
        std::snprintf(message, sizeof message, "the file is truncated (%s)", text);
        FailWith(cinfo, ErrorCode::Truncated, message, text);
    }
}

struct JpegProgress {
    jpeg_progress_mgr pub;
    const Progress* progress = nullptr;
};

void JpegProgressMonitor(j_common_ptr cinfo)
{
    if (cinfo->is_decompressor) {
        auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (d->progressive_mode && d->input_scan_number > kMaxProgressiveScans)
            FailWith(cinfo, ErrorCode::Unsupported, "the progressive JPEG has too many scans");
    }
    Report(*reinterpret_cast<JpegProgress*>(cinfo->progress)->progress);
}

void InstallHandlers(j_common_ptr cinfo, JpegErrorHandler& handler, JpegProgress& monitor, const Progress& progress)
{
    cinfo->err = jpeg_std_error(&handler.pub);
    handler.pub.error_exit = JpegErrorExit;
    handler.pub.emit_message = JpegEmitMessage;
    monitor.pub.progress_monitor = JpegProgressMonitor;
    monitor.progress = &progress;
}

// The rows from `from` down decoded by a decoder of their own. libjpeg reaches them by entropy-decoding the rows above
// without their transform, about a third of the work of decoding them: while the calling thread decodes the upper
// rows, the two halves of the work overlap. The rows come out exactly as one decoder gives them.
//
// The second decoder starts as soon as the first has read the header, and reaches its rows while the first has the
// canvas made (on a reused canvas, the black bands beside the photo are cleared then: a millisecond and more). It
// writes nothing before the first tells it where the rows go, or that they go nowhere.
struct LowerRows {
    jpeg_decompress_struct cinfo;
    JpegErrorHandler error;
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    int from = 0;
    const RowsPlaced* rowsPlaced = nullptr;
    bool created = false;
    bool ok = false;

    // Set by the first decoder, under `mutex`, before `canvasKnown`: where the rows go, or that the canvas failed.
    std::mutex mutex;
    std::condition_variable canvasKnown;
    Bitmap* target = nullptr;
    int left = 0, top = 0;
    int canvas = 0; // 1: target, left and top hold; -1: no canvas, nothing to write

    void TellCanvas(Bitmap* into, int x, int y)
    {
        {
            const std::lock_guard lock(mutex);
            if (canvas != 0)
                return;
            target = into;
            left = x;
            top = y;
            canvas = into ? 1 : -1;
        }
        canvasKnown.notify_one();
    }
    [[nodiscard]] bool WaitForCanvas()
    {
        std::unique_lock lock(mutex);
        canvasKnown.wait(lock, [this] { return canvas != 0; });
        return canvas > 0;
    }
};

// Everything the decoder touches lives here, outside the frame that calls setjmp, so that a longjmp out of
// libjpeg skips no destructor and leaves no local in doubt.
struct DecodeJob {
    jpeg_decompress_struct cinfo;
    JpegErrorHandler error;
    JpegProgress monitor;
    Bitmap image;
    std::unique_ptr<std::uint8_t[]> fourChannelRow;
    std::FILE* file = nullptr;
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    bool created = false;
    int orientation = 0; // the EXIF orientation, 0 when the file has none that can be read
    const PhotoPlacement* place = nullptr; // LoadImageInto's canvas, when it decodes into one
    const RowsPlaced* rowsPlaced = nullptr; // told of the rows in the canvas
    bool placed = false; // the photo went straight into the canvas
    bool mayShare = false; // a second decoder may take the lower rows (the file is in memory, a core is free)
    std::thread lower; // that decoder, joined before the job ends
    std::unique_ptr<LowerRows> lowerRows; // what it works on and reports
};

// The orientation of the first APP1 block that is an EXIF block; libjpeg kept the APP1 markers for it.
int OrientationOf(const jpeg_decompress_struct& cinfo)
{
    for (jpeg_saved_marker_ptr marker = cinfo.marker_list; marker; marker = marker->next) {
        if (marker->marker != JPEG_APP0 + 1)
            continue;
        if (const int orientation = ReadExifOrientation(marker->data, marker->data_length); orientation != 0)
            return orientation;
    }
    return 0;
}

// Four-channel photos: libjpeg gives CMYK (it turns YCCK into CMYK itself), and the RGB is worked out here.
// Photo editors that write an Adobe marker store the inks inverted (255 = no ink); without the marker the
// values are plain ink amounts.
void CmykRowToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, int width, bool inverted)
{
    for (int x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        int c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        // (a × b + 127) / 255 is a × b / 255 rounded, for the 8-bit range.
        bgr[0] = static_cast<std::uint8_t>((y * k + 127) / 255);
        bgr[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        bgr[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
    }
}

// Decodes the rows from the decoder's next one up to `end` into rowOf(y), a few at a call, and tells `rowsPlaced`
// (when given one) of each few.
template <typename RowOf>
void ReadRowsUpTo(jpeg_decompress_struct& cinfo, int end, const RowOf& rowOf, const RowsPlaced* rowsPlaced)
{
    JSAMPROW rows[kRowsPerCall];
    while (static_cast<int>(cinfo.output_scanline) < end) {
        const int y = static_cast<int>(cinfo.output_scanline);
        const int count = std::min(kRowsPerCall, end - y);
        for (int i = 0; i < count; ++i)
            rows[i] = rowOf(y + i);
        (void)jpeg_read_scanlines(&cinfo, rows, static_cast<JDIMENSION>(count));
        if (rowsPlaced && *rowsPlaced)
            (*rowsPlaced)(y, static_cast<int>(cinfo.output_scanline));
    }
}

bool RunLowerRows(LowerRows& job)
{
    if (setjmp(job.error.jump))
        return false;
    jpeg_create_decompress(&job.cinfo);
    job.created = true;
    jpeg_mem_src(&job.cinfo, job.data, static_cast<unsigned long>(job.size));
    (void)jpeg_read_header(&job.cinfo, TRUE);
    job.cinfo.out_color_space = JCS_EXT_BGR;
    (void)jpeg_start_decompress(&job.cinfo);
    (void)jpeg_skip_scanlines(&job.cinfo, static_cast<JDIMENSION>(job.from));
    if (!job.WaitForCanvas())
        return true; // the first decoder failed before any row: its fault is the one told
    ReadRowsUpTo(
        job.cinfo, static_cast<int>(job.cinfo.output_height),
        [&job](int y) { return job.target->Row(job.top + y) + 3 * static_cast<std::size_t>(job.left); },
        job.rowsPlaced);
    (void)jpeg_finish_decompress(&job.cinfo);
    return true;
}

void DecodeLowerRows(LowerRows& job)
{
    job.cinfo.err = jpeg_std_error(&job.error.pub);
    job.error.pub.error_exit = JpegErrorExit;
    job.error.pub.emit_message = JpegEmitMessage;
    job.ok = RunLowerRows(job);
    if (job.created)
        jpeg_destroy_decompress(&job.cinfo);
}

// The first row the second decoder takes, or 0 when one decoder does it all: only a sequential three-channel photo of
// some size, whose lower rows can be reached without decoding them. The upper share is larger by what reaching the
// lower one costs, less what making the canvas costs the first decoder; the split lies on a row of blocks.
int LowerRowsStart(const jpeg_decompress_struct& cinfo)
{
    const int height = static_cast<int>(cinfo.output_height);
    if (cinfo.progressive_mode || cinfo.buffered_image || cinfo.out_color_space != JCS_EXT_BGR
        || static_cast<std::int64_t>(cinfo.output_width) * height < (std::int64_t { 1 } << 20))
        return 0;
    const int blockRows = std::max(1, cinfo.max_v_samp_factor * DCTSIZE);
    const int from = height * 6 / 11 / blockRows * blockRows;
    return from > 0 && from < height ? from : 0;
}

bool RunDecode(DecodeJob& job)
{
    if (setjmp(job.error.jump))
        return false;
    jpeg_create_decompress(&job.cinfo);
    job.created = true;
    job.cinfo.progress = &job.monitor.pub;
    if (job.file)
        jpeg_stdio_src(&job.cinfo, job.file);
    else
        jpeg_mem_src(&job.cinfo, job.data, static_cast<unsigned long>(job.size));
    // The whole of each APP1 block (at most 64 KB): the orientation tag may lie anywhere in it.
    jpeg_save_markers(&job.cinfo, JPEG_APP0 + 1, 0xFFFF);
    (void)jpeg_read_header(&job.cinfo, TRUE);
    job.orientation = OrientationOf(job.cinfo);

    if (!SizeAllowed(job.cinfo.image_width, job.cinfo.image_height)) {
        const std::string text
            = "the photo is too large (" + SizeText(job.cinfo.image_width, job.cinfo.image_height) + " pixels)";
        std::snprintf(job.error.message, sizeof job.error.message, "%s", text.c_str());
        job.error.code = ErrorCode::TooLarge;
        return false;
    }
    const bool fourChannels = job.cinfo.jpeg_color_space == JCS_CMYK || job.cinfo.jpeg_color_space == JCS_YCCK;
    job.cinfo.out_color_space = fourChannels ? JCS_CMYK : JCS_EXT_BGR;
    (void)jpeg_start_decompress(&job.cinfo);

    const int width = static_cast<int>(job.cinfo.output_width);
    const int height = static_cast<int>(job.cinfo.output_height);
    int lastRow = height; // the rows this decoder writes end here
    const bool intoCanvas = job.place && job.orientation <= 1;
    if (intoCanvas && job.mayShare && !fourChannels) {
        if (const int from = LowerRowsStart(job.cinfo); from > 0) {
            if (auto* lower = new (std::nothrow) LowerRows {}) {
                job.lowerRows.reset(lower);
                lower->data = job.data;
                lower->size = job.size;
                lower->from = from;
                lower->rowsPlaced = job.rowsPlaced;
                try {
                    job.lower = std::thread([lower] { DecodeLowerRows(*lower); });
                    lastRow = from;
                } catch (const std::system_error&) {
                }
            }
        }
    }
    // A photo that needs no turn goes straight where it belongs; one that does is turned in a bitmap of its own first.
    Bitmap* target = &job.image;
    int left = 0, top = 0;
    if (intoCanvas) {
        target = (*job.place)(width, height, left, top);
        if (!target || left < 0 || top < 0 || left + width > target->Width() || top + height > target->Height())
            FailWith(
                reinterpret_cast<j_common_ptr>(&job.cinfo), ErrorCode::OutOfMemory, "not enough memory for the photo");
        job.placed = true;
        if (lastRow < height) {
            // Whoever follows the rows learns where the lower share begins before either decoder writes one.
            if (*job.rowsPlaced)
                (*job.rowsPlaced)(lastRow, lastRow);
            job.lowerRows->TellCanvas(target, left, top);
        }
    } else if (!job.image.ResizeUninitialized(width, height)) {
        FailWith(reinterpret_cast<j_common_ptr>(&job.cinfo), ErrorCode::OutOfMemory, "not enough memory for the photo");
    }
    const auto rowOf = [&](int y) { return target->Row(top + y) + 3 * static_cast<std::size_t>(left); };
    if (fourChannels) {
        job.fourChannelRow.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(width) * 4]);
        if (!job.fourChannelRow)
            FailWith(
                reinterpret_cast<j_common_ptr>(&job.cinfo), ErrorCode::OutOfMemory, "not enough memory for the photo");
        const bool inverted = job.cinfo.saw_Adobe_marker;
        while (job.cinfo.output_scanline < job.cinfo.output_height) {
            const int y = static_cast<int>(job.cinfo.output_scanline);
            JSAMPROW row = job.fourChannelRow.get();
            if (jpeg_read_scanlines(&job.cinfo, &row, 1) == 1)
                CmykRowToBgr(row, rowOf(y), width, inverted);
            if (job.placed && *job.rowsPlaced && ((y + 1) % kRowsPerCall == 0 || y + 1 == height))
                (*job.rowsPlaced)(y / kRowsPerCall * kRowsPerCall, y + 1);
        }
    } else {
        ReadRowsUpTo(job.cinfo, lastRow, rowOf, job.placed ? job.rowsPlaced : nullptr);
    }
    // With the lower rows on the other decoder, that one reads the file to its end.
    if (lastRow == height)
        (void)jpeg_finish_decompress(&job.cinfo);
    return true;
}

IoResult Decode(std::FILE* file, const unsigned char* data, std::size_t size, Bitmap& out, const Progress& progress,
    const std::string& name, const PhotoPlacement* place = nullptr, const RowsPlaced* rowsPlaced = nullptr,
    bool mayShare = false)
{
    auto job = std::unique_ptr<DecodeJob>(new (std::nothrow) DecodeJob {});
    if (!job)
        return OutOfMemory("not enough memory to read " + name);
    InstallHandlers(reinterpret_cast<j_common_ptr>(&job->cinfo), job->error, job->monitor, progress);
    job->place = place;
    job->mayShare = mayShare && data && !file;
    static const RowsPlaced kNobody;
    job->rowsPlaced = rowsPlaced ? rowsPlaced : &kNobody;
    job->file = file;
    job->data = data;
    job->size = size;
    bool ok = RunDecode(*job);
    if (job->created)
        jpeg_destroy_decompress(&job->cinfo);
    // The first fault in the file is the one told, as a single decoder meets it: the upper rows' before the lower's.
    const JpegErrorHandler* fault = &job->error;
    if (job->lower.joinable()) {
        job->lowerRows->TellCanvas(nullptr, 0, 0); // when the first decoder failed before it had one
        job->lower.join();
        if (ok && !job->lowerRows->ok) {
            ok = false;
            fault = &job->lowerRows->error;
        }
    }
    if (!ok) {
        const JpegErrorHandler& handler = *fault;
        EngineError error = Error(
            handler.code == ErrorCode::None ? ErrorCode::Corrupt : handler.code, ErrorDomain::Decode, handler.reason);
        if (handler.code == ErrorCode::TooLarge) {
            error.width = static_cast<int>(std::min<JDIMENSION>(job->cinfo.image_width, INT32_MAX));
            error.height = static_cast<int>(std::min<JDIMENSION>(job->cinfo.image_height, INT32_MAX));
        }
        return IoResult::Failure(std::move(error), "cannot read JPEG " + name + ": " + handler.message);
    }
    if (job->placed)
        return IoResult::Success();
    // Upright before anyone sees it: the view, the square and recognition all work on the photo as it was taken.
    if (!ApplyExifOrientation(job->image, job->orientation))
        return OutOfMemory("cannot read JPEG " + name + ": not enough memory to turn the photo upright");
    out = std::move(job->image);
    return IoResult::Success();
}

// A growing malloc'd buffer as libjpeg's destination: libjpeg's own memory destination leaks its buffer when
// an error ends the compression half-way.
struct MemoryDestination {
    jpeg_destination_mgr pub;
    unsigned char* data = nullptr;
    std::size_t capacity = 0;
    std::size_t used = 0;
};

void InitDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    dest->capacity = 1 << 16;
    dest->data = static_cast<unsigned char*>(std::malloc(dest->capacity));
    if (!dest->data)
        FailWith(reinterpret_cast<j_common_ptr>(cinfo), ErrorCode::OutOfMemory, "not enough memory to encode the JPEG");
    dest->pub.next_output_byte = dest->data;
    dest->pub.free_in_buffer = dest->capacity;
}

boolean GrowDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    // libjpeg asks only when the buffer is full, so all of it is output.
    const std::size_t grown = dest->capacity * 2;
    auto* data = static_cast<unsigned char*>(std::realloc(dest->data, grown));
    if (!data)
        FailWith(reinterpret_cast<j_common_ptr>(cinfo), ErrorCode::OutOfMemory, "not enough memory to encode the JPEG");
    dest->data = data;
    dest->pub.next_output_byte = data + dest->capacity;
    dest->pub.free_in_buffer = grown - dest->capacity;
    dest->capacity = grown;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    dest->used = dest->capacity - dest->pub.free_in_buffer;
}

struct EncodeJob {
    jpeg_compress_struct cinfo;
    JpegErrorHandler error;
    JpegProgress monitor;
    MemoryDestination destination;
    const Bitmap* bitmap = nullptr;
    JpegOptions options;
    bool created = false;
};

bool RunEncode(EncodeJob& job)
{
    if (setjmp(job.error.jump))
        return false;
    jpeg_create_compress(&job.cinfo);
    job.created = true;
    job.cinfo.progress = &job.monitor.pub;
    job.destination.pub.init_destination = InitDestination;
    job.destination.pub.empty_output_buffer = GrowDestination;
    job.destination.pub.term_destination = TermDestination;
    job.cinfo.dest = &job.destination.pub;

    const Bitmap& bitmap = *job.bitmap;
    job.cinfo.image_width = static_cast<JDIMENSION>(bitmap.Width());
    job.cinfo.image_height = static_cast<JDIMENSION>(bitmap.Height());
    job.cinfo.input_components = 3;
    job.cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&job.cinfo);
    jpeg_set_quality(&job.cinfo, job.options.quality, TRUE);
    if (job.options.dpi > 0) {
        job.cinfo.write_JFIF_header = TRUE;
        job.cinfo.density_unit = 1; // dots per inch
        job.cinfo.X_density = static_cast<UINT16>(job.options.dpi);
        job.cinfo.Y_density = static_cast<UINT16>(job.options.dpi);
    }
    jpeg_start_compress(&job.cinfo, TRUE);
    if (!job.options.comment.empty())
        jpeg_write_marker(&job.cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(job.options.comment.data()),
            static_cast<unsigned int>(job.options.comment.size()));
    JSAMPROW rows[kRowsPerCall];
    const int height = bitmap.Height();
    while (job.cinfo.next_scanline < job.cinfo.image_height) {
        const int y = static_cast<int>(job.cinfo.next_scanline);
        const int count = std::min(kRowsPerCall, height - y);
        // libjpeg takes non-const rows but only reads them.
        for (int i = 0; i < count; ++i)
            rows[i] = const_cast<JSAMPROW>(bitmap.Row(y + i));
        (void)jpeg_write_scanlines(&job.cinfo, rows, static_cast<JDIMENSION>(count));
    }
    jpeg_finish_compress(&job.cinfo);
    return true;
}

IoResult CheckJpegArguments(const Bitmap& bitmap, const JpegOptions& options)
{
    const EngineError badArgument = Error(ErrorCode::BadArgument, ErrorDomain::Encode);
    if (bitmap.Empty())
        return IoResult::Failure(badArgument, "nothing to encode: the bitmap is empty");
    if (bitmap.Width() > JPEG_MAX_DIMENSION || bitmap.Height() > JPEG_MAX_DIMENSION)
        return IoResult::Failure(Error(ErrorCode::TooLarge, ErrorDomain::Encode, {}, bitmap.Width(), bitmap.Height()),
            "a JPEG cannot be wider or taller than " + std::to_string(JPEG_MAX_DIMENSION) + " pixels ("
                + SizeText(bitmap.Width(), bitmap.Height()) + ")");
    if (options.quality < 0 || options.quality > 100)
        return IoResult::Failure(
            badArgument, "JPEG quality must lie in 0..100, not " + std::to_string(options.quality));
    if (options.dpi < 0 || options.dpi > 65535)
        return IoResult::Failure(
            badArgument, "JPEG density must lie in 0..65535 dpi, not " + std::to_string(options.dpi));
    // A segment's length field counts itself: two bytes of the 65535 it can hold.
    if (options.comment.size() > 65533)
        return IoResult::Failure(badArgument, "a JPEG comment holds 65533 bytes at most");
    return IoResult::Success();
}

// Runs the encoder; on success `data`/`size` is a malloc'd buffer the caller frees.
IoResult Encode(const Bitmap& bitmap, const JpegOptions& options, const Progress& progress,
    std::unique_ptr<unsigned char, decltype(&std::free)>& data, std::size_t& size)
{
    if (IoResult checked = CheckJpegArguments(bitmap, options); !checked)
        return checked;
    const StageTimer timer(Stage::Encode);
    auto job = std::unique_ptr<EncodeJob>(new (std::nothrow) EncodeJob {});
    if (!job)
        return OutOfMemory("not enough memory to encode the JPEG");
    InstallHandlers(reinterpret_cast<j_common_ptr>(&job->cinfo), job->error, job->monitor, progress);
    job->bitmap = &bitmap;
    job->options = options;
    const bool ok = RunEncode(*job);
    if (job->created)
        jpeg_destroy_compress(&job->cinfo);
    data.reset(job->destination.data);
    if (!ok) {
        data.reset();
        const JpegErrorHandler& handler = job->error;
        return IoResult::Failure(Error(handler.code == ErrorCode::None ? ErrorCode::CodecFailed : handler.code,
                                     ErrorDomain::Encode, handler.reason),
            std::string("cannot encode JPEG: ") + handler.message);
    }
    size = job->destination.used;
    return IoResult::Success();
}

// ---- PNG -------------------------------------------------------------------------------------------------

struct PngJob {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::FILE* file = nullptr;
    Bitmap image;
    std::unique_ptr<png_bytep[]> rows;
    // Output of a write: a growing malloc'd buffer.
    unsigned char* data = nullptr;
    std::size_t capacity = 0;
    std::size_t used = 0;
    const Bitmap* source = nullptr;
    // What ended the work, in plain characters for the same reason as JpegErrorHandler's. None: libpng's own
    // refusal, whose text is then also the reason.
    ErrorCode code = ErrorCode::None;
    char message[256] = {};
    char reason[256] = {};
};

[[noreturn]] void PngFail(png_structp png, ErrorCode code, const char* text, const char* reason = "")
{
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    job->code = code;
    std::snprintf(job->message, sizeof job->message, "%s", text);
    std::snprintf(job->reason, sizeof job->reason, "%s", reason);
    png_longjmp(png, 1);
}

void PngErrorFn(png_structp png, png_const_charp text)
{
    PngFail(png, ErrorCode::None, text, text);
}

// The failure a finished PngJob holds; `otherwise` names libpng's own refusals.
EngineError PngJobError(const PngJob& job, ErrorCode otherwise, ErrorDomain domain)
{
    return Error(job.code == ErrorCode::None ? otherwise : job.code, domain, job.reason);
}
void PngWarningFn(png_structp, png_const_charp) { }

bool RunPngRead(PngJob& job)
{
    if (setjmp(png_jmpbuf(job.png)))
        return false;
    png_init_io(job.png, job.file);
    png_read_info(job.png, job.info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0;
    png_get_IHDR(job.png, job.info, &width, &height, &depth, &colourType, nullptr, nullptr, nullptr);
    if (!SizeAllowed(width, height)) {
        const std::string text = "the image is too large (" + SizeText(width, height) + " pixels)";
        std::snprintf(job.message, sizeof job.message, "%s", text.c_str());
        job.code = ErrorCode::TooLarge;
        return false;
    }
    if (colourType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(job.png);
    if (colourType == PNG_COLOR_TYPE_GRAY && depth < 8)
        png_set_expand_gray_1_2_4_to_8(job.png);
    if (depth == 16)
        png_set_scale_16(job.png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(job.png);
    png_set_strip_alpha(job.png);
    png_set_bgr(job.png);
    (void)png_set_interlace_handling(job.png);
    png_read_update_info(job.png, job.info);
    if (png_get_rowbytes(job.png, job.info) != static_cast<std::size_t>(width) * 3)
        PngFail(job.png, ErrorCode::Unsupported, "unexpected row layout after conversion");
    if (!job.image.ResizeUninitialized(static_cast<int>(width), static_cast<int>(height)))
        PngFail(job.png, ErrorCode::OutOfMemory, "not enough memory for the image");
    job.rows.reset(new (std::nothrow) png_bytep[height]);
    if (!job.rows)
        PngFail(job.png, ErrorCode::OutOfMemory, "not enough memory for the image");
    for (png_uint_32 y = 0; y < height; ++y)
        job.rows[y] = job.image.Row(static_cast<int>(y));
    png_read_image(job.png, job.rows.get());
    png_read_end(job.png, nullptr);
    return true;
}

void PngWriteFn(png_structp png, png_bytep bytes, png_size_t length)
{
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    if (job->capacity - job->used < length) {
        std::size_t grown = std::max<std::size_t>(job->capacity * 2, 1 << 16);
        while (grown - job->used < length)
            grown *= 2;
        auto* data = static_cast<unsigned char*>(std::realloc(job->data, grown));
        if (!data)
            PngFail(png, ErrorCode::OutOfMemory, "not enough memory to encode the PNG");
        job->data = data;
        job->capacity = grown;
    }
    std::memcpy(job->data + job->used, bytes, length);
    job->used += length;
}

void PngFlushFn(png_structp) { }

bool RunPngWrite(PngJob& job)
{
    if (setjmp(png_jmpbuf(job.png)))
        return false;
    const Bitmap& bitmap = *job.source;
    png_set_write_fn(job.png, &job, PngWriteFn, PngFlushFn);
    png_set_IHDR(job.png, job.info, static_cast<png_uint_32>(bitmap.Width()), static_cast<png_uint_32>(bitmap.Height()),
        8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(job.png, job.info);
    png_set_bgr(job.png);
    for (int y = 0; y < bitmap.Height(); ++y)
        png_write_row(job.png, bitmap.Row(y));
    png_write_end(job.png, nullptr);
    return true;
}

// ---- PPM -------------------------------------------------------------------------------------------------

bool IsPnmSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads one header number: whitespace and '#' comments may come first, digits follow, and the number must end
// at one whitespace byte, which is consumed (after the last number it is the raster's delimiter). Returns -1
// when the header is malformed.
std::int64_t ReadHeaderNumber(std::FILE* f)
{
    int c = std::fgetc(f);
    for (;;) {
        if (c == '#') {
            while (c != '\n' && c != '\r' && c != EOF)
                c = std::fgetc(f);
        } else if (IsPnmSpace(c)) {
            c = std::fgetc(f);
        } else {
            break;
        }
    }
    if (c < '0' || c > '9')
        return -1;
    std::int64_t value = 0;
    while (c >= '0' && c <= '9') {
        value = value * 10 + (c - '0');
        if (value > 1'000'000'000)
            return -1;
        c = std::fgetc(f);
    }
    return IsPnmSpace(c) ? value : -1;
}

// ---- Atomic write ----------------------------------------------------------------------------------------

constexpr char kTemporaryChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr int kTemporarySuffix = 6;
constexpr std::size_t kTemporaryBaseLimit = 200;

// The temporary file's name: hidden, after the target's, cut short so that the suffix still fits in a name.
std::string TemporaryName(const std::string& name, std::mt19937_64& rng)
{
    std::string base = name;
    if (base.size() > kTemporaryBaseLimit) {
        std::size_t cut = kTemporaryBaseLimit;
        // Do not split a UTF-8 sequence.
        while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80)
            --cut;
        base.resize(cut);
    }
    std::string result = "." + base + ".";
    for (int i = 0; i < kTemporarySuffix; ++i)
        result += kTemporaryChars[rng() % (sizeof kTemporaryChars - 1)];
    return result;
}

std::mt19937_64& NameGenerator()
{
    thread_local std::mt19937_64 rng(std::random_device {}() ^ (static_cast<std::uint64_t>(::getpid()) << 32));
    return rng;
}

} // namespace

// ---- What lies at a path --------------------------------------------------------------------------------------

FileKind FileKindOfMode(unsigned mode)
{
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISDIR(mode))
        return FileKind::Folder;
    if (S_ISFIFO(mode))
        return FileKind::NamedPipe;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return FileKind::Device;
    if (S_ISSOCK(mode))
        return FileKind::Socket;
    return FileKind::Other;
}

FileKind KindOfFile(const std::string& path, int* error)
{
    struct stat st { };
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        const int why = path.empty() ? ENOENT : errno;
        if (error)
            *error = why;
        return why == ENOENT || why == ENOTDIR ? FileKind::Missing : FileKind::Unreachable;
    }
    return FileKindOfMode(st.st_mode);
}

std::string NotARegularFileText(const std::string& path, FileKind kind, int error)
{
    switch (kind) {
    case FileKind::Regular:
        return {};
    case FileKind::Missing:
        return "file not found: " + path;
    case FileKind::Unreachable:
        return "cannot open " + path + ": " + ErrnoText(error);
    case FileKind::Folder:
        return path + " is a folder, not a file";
    case FileKind::NamedPipe:
        return path + " is a named pipe, not a file";
    case FileKind::Device:
        return path + " is a device, not a file";
    case FileKind::Socket:
        return path + " is a socket, not a file";
    case FileKind::Other:
        break;
    }
    return path + " is not a regular file";
}

EngineError NotARegularFileError(FileKind kind, int error)
{
    switch (kind) {
    case FileKind::Regular:
        return {};
    case FileKind::Missing:
        return SystemError(ErrorCode::NotFound, error);
    case FileKind::Unreachable:
        return SystemError(ErrorCode::CannotOpen, error);
    default:
        return Error(ErrorCode::NotARegularFile, ErrorDomain::File);
    }
}

// ---- Formats -------------------------------------------------------------------------------------------------

ImageFormat SniffImageFormat(const std::string& path)
{
    FilePtr file;
    if (!OpenForReading(path, file))
        return ImageFormat::Unknown;
    unsigned char head[8] = {};
    const std::size_t got = std::fread(head, 1, sizeof head, file.get());
    if (got >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)
        return ImageFormat::Jpeg;
    static constexpr unsigned char kPng[8] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };
    if (got == 8 && std::memcmp(head, kPng, 8) == 0)
        return ImageFormat::Png;
    if (got >= 3 && head[0] == 'P' && (head[1] == '6' || head[1] == '5')
        && (head[2] == ' ' || head[2] == '\t' || head[2] == '\n' || head[2] == '\r' || head[2] == '#'))
        return ImageFormat::Ppm;
    return ImageFormat::Unknown;
}

ImageFormat FormatFromExtension(const std::string& path)
{
    const std::string name = std::filesystem::path(path).filename().string();
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return ImageFormat::Unknown;
    const std::string ext = Lowercase(name.substr(dot + 1));
    if (ext == "jpg" || ext == "jpeg")
        return ImageFormat::Jpeg;
    if (ext == "png")
        return ImageFormat::Png;
    if (ext == "ppm")
        return ImageFormat::Ppm;
    return ImageFormat::Unknown;
}

// ---- JPEG ----------------------------------------------------------------------------------------------------

IoResult LoadJpeg(const std::string& path, Bitmap& out, const Progress& progress)
{
    FilePtr file;
    if (IoResult opened = OpenForReading(path, file); !opened)
        return opened;
    return Decode(file.get(), nullptr, 0, out, progress, path);
}

IoResult DecodeJpeg(const unsigned char* data, std::size_t size, Bitmap& out, const Progress& progress)
{
    if (!data || size == 0)
        return IoResult::Failure(Error(ErrorCode::BadArgument, ErrorDomain::Decode), "cannot read JPEG: no data");
    return Decode(nullptr, data, size, out, progress, "data");
}

IoResult EncodeJpeg(const Bitmap& bitmap, const JpegOptions& options, std::string& out, const Progress& progress)
{
    std::unique_ptr<unsigned char, decltype(&std::free)> data(nullptr, &std::free);
    std::size_t size = 0;
    if (IoResult encoded = Encode(bitmap, options, progress, data, size); !encoded)
        return encoded;
    try {
        out.assign(reinterpret_cast<const char*>(data.get()), size);
    } catch (const std::bad_alloc&) {
        return OutOfMemory("not enough memory to encode the JPEG");
    }
    return IoResult::Success();
}

IoResult SaveJpeg(const std::string& path, const Bitmap& bitmap, const JpegOptions& options, const Progress& progress)
{
    std::unique_ptr<unsigned char, decltype(&std::free)> data(nullptr, &std::free);
    std::size_t size = 0;
    if (IoResult encoded = Encode(bitmap, options, progress, data, size); !encoded)
        return encoded;
    return WriteFileAtomically(path, data.get(), size);
}

bool JpegHasComment(const std::string& path, const std::string& comment)
{
    FilePtr file;
    if (!OpenForReading(path, file))
        return false;
    std::FILE* f = file.get();
    if (std::fgetc(f) != 0xFF || std::fgetc(f) != 0xD8)
        return false;
    // The segments before the first scan: a marker, a two-byte length that counts itself, its data. The comment is
    // written right after the header, so only a few segments are ever read.
    for (int segment = 0; segment < 64; ++segment) {
        int c = std::fgetc(f);
        if (c != 0xFF)
            return false;
        while (c == 0xFF) // fill bytes before a marker
            c = std::fgetc(f);
        if (c == EOF || c == 0xDA || c == 0xD9)
            return false;
        const int high = std::fgetc(f);
        const int low = std::fgetc(f);
        if (high == EOF || low == EOF)
            return false;
        const long length = (high << 8 | low) - 2;
        if (length < 0)
            return false;
        if (c == 0xFE && static_cast<std::size_t>(length) == comment.size()) {
            std::string data(static_cast<std::size_t>(length), '\0');
            if (std::fread(data.data(), 1, data.size(), f) != data.size())
                return false;
            if (data == comment)
                return true;
            continue;
        }
        if (std::fseek(f, length, SEEK_CUR) != 0)
            return false;
    }
    return false;
}

// ---- PNG -----------------------------------------------------------------------------------------------------

IoResult LoadPng(const std::string& path, Bitmap& out)
{
    FilePtr file;
    if (IoResult opened = OpenForReading(path, file); !opened)
        return opened;
    auto job = std::make_unique<PngJob>();
    job->file = file.get();
    job->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, job.get(), PngErrorFn, PngWarningFn);
    if (job->png)
        job->info = png_create_info_struct(job->png);
    if (!job->png || !job->info) {
        png_destroy_read_struct(job->png ? &job->png : nullptr, nullptr, nullptr);
        return OutOfMemory("not enough memory to read " + path);
    }
    const bool ok = RunPngRead(*job);
    if (!ok) {
        EngineError error = PngJobError(*job, ErrorCode::Corrupt, ErrorDomain::Decode);
        if (job->code == ErrorCode::TooLarge) {
            error.width = static_cast<int>(std::min<png_uint_32>(png_get_image_width(job->png, job->info), INT32_MAX));
            error.height
                = static_cast<int>(std::min<png_uint_32>(png_get_image_height(job->png, job->info), INT32_MAX));
        }
        png_destroy_read_struct(&job->png, &job->info, nullptr);
        return IoResult::Failure(std::move(error), "cannot read PNG " + path + ": " + job->message);
    }
    png_destroy_read_struct(&job->png, &job->info, nullptr);
    out = std::move(job->image);
    return IoResult::Success();
}

IoResult SavePng(const std::string& path, const Bitmap& bitmap)
{
    if (bitmap.Empty())
        return IoResult::Failure(
            Error(ErrorCode::BadArgument, ErrorDomain::Encode), "nothing to save: the bitmap is empty");
    auto job = std::make_unique<PngJob>();
    job->source = &bitmap;
    job->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, job.get(), PngErrorFn, PngWarningFn);
    if (job->png)
        job->info = png_create_info_struct(job->png);
    if (!job->png || !job->info) {
        png_destroy_write_struct(job->png ? &job->png : nullptr, nullptr);
        return OutOfMemory("not enough memory to encode the PNG");
    }
    const bool ok = RunPngWrite(*job);
    png_destroy_write_struct(&job->png, &job->info);
    std::unique_ptr<unsigned char, decltype(&std::free)> data(job->data, &std::free);
    if (!ok)
        return IoResult::Failure(PngJobError(*job, ErrorCode::CodecFailed, ErrorDomain::Encode),
            std::string("cannot encode PNG: ") + job->message);
    return WriteFileAtomically(path, data.get(), job->used);
}

// ---- PPM -----------------------------------------------------------------------------------------------------

IoResult LoadPpm(const std::string& path, Bitmap& out)
{
    FilePtr file;
    if (IoResult opened = OpenForReading(path, file); !opened)
        return opened;
    std::FILE* f = file.get();
    const auto fail = [&](ErrorCode code, const std::string& why, std::string reason = {}) {
        return IoResult::Failure(
            Error(code, ErrorDomain::Decode, std::move(reason)), "cannot read PPM " + path + ": " + why);
    };

    const int p = std::fgetc(f), kind = std::fgetc(f), after = std::fgetc(f);
    if (p != 'P' || (kind != '6' && kind != '5') || !(IsPnmSpace(after) || after == '#'))
        return fail(ErrorCode::UnknownFormat, "not a binary PPM or PGM file");
    std::ungetc(after, f);
    const int channels = kind == '6' ? 3 : 1;
    const std::int64_t width = ReadHeaderNumber(f);
    const std::int64_t height = width < 0 ? -1 : ReadHeaderNumber(f);
    const std::int64_t maxval = height < 0 ? -1 : ReadHeaderNumber(f);
    if (width < 0 || height < 0 || maxval < 0)
        return fail(ErrorCode::Corrupt, "malformed header");
    if (maxval != 255)
        return fail(ErrorCode::Unsupported,
            "only 8-bit files with maxval 255 are supported, not maxval " + std::to_string(maxval));
    if (!SizeAllowed(width, height)) {
        IoResult refused = fail(ErrorCode::TooLarge, "unsupported size " + SizeText(width, height));
        refused.error.width = static_cast<int>(std::min<std::int64_t>(width, INT32_MAX));
        refused.error.height = static_cast<int>(std::min<std::int64_t>(height, INT32_MAX));
        return refused;
    }

    // Short data is found from the file's size, before any pixel memory is taken.
    const long start = std::ftell(f);
    struct stat st { };
    if (start < 0 || ::fstat(::fileno(f), &st) != 0) {
        const int error = errno;
        return IoResult::Failure(
            SystemError(ErrorCode::CannotOpen, error), "cannot read PPM " + path + ": " + ErrnoText(error));
    }
    const std::int64_t needed = width * height * channels;
    if (static_cast<std::int64_t>(st.st_size) - start < needed)
        return fail(ErrorCode::Truncated, "the file is truncated");

    Bitmap image;
    if (!image.ResizeUninitialized(static_cast<int>(width), static_cast<int>(height)))
        return OutOfMemory(
            "cannot read PPM " + path + ": not enough memory for " + SizeText(width, height) + " pixels");
    for (int y = 0; y < image.Height(); ++y) {
        std::uint8_t* row = image.Row(y);
        const std::size_t bytes = static_cast<std::size_t>(width) * channels;
        if (std::fread(row, 1, bytes, f) != bytes)
            return fail(ErrorCode::Truncated, "the file is truncated");
        if (channels == 3) {
            for (std::size_t i = 0; i < bytes; i += 3)
                std::swap(row[i], row[i + 2]);
        } else {
            // Grey expands in place from the right, so no byte is overwritten before it is read.
            for (std::int64_t x = width - 1; x >= 0; --x)
                row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = row[x];
        }
    }
    out = std::move(image);
    return IoResult::Success();
}

IoResult SavePpm(const std::string& path, const Bitmap& bitmap)
{
    if (bitmap.Empty())
        return IoResult::Failure(
            Error(ErrorCode::BadArgument, ErrorDomain::Encode), "nothing to save: the bitmap is empty");
    const std::string header
        = "P6\n" + std::to_string(bitmap.Width()) + " " + std::to_string(bitmap.Height()) + "\n255\n";
    std::string bytes;
    try {
        bytes.resize(header.size() + bitmap.Stride() * static_cast<std::size_t>(bitmap.Height()));
    } catch (const std::bad_alloc&) {
        return OutOfMemory("not enough memory to encode the PPM");
    }
    std::memcpy(bytes.data(), header.data(), header.size());
    auto* dst = reinterpret_cast<std::uint8_t*>(bytes.data() + header.size());
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* src = bitmap.Row(y);
        for (std::size_t i = 0; i < bitmap.Stride(); i += 3, dst += 3) {
            dst[0] = src[i + 2];
            dst[1] = src[i + 1];
            dst[2] = src[i];
        }
    }
    return WriteFileAtomically(path, bytes);
}

namespace {

// The whole of an opened file in memory; 0, and the file rewound, when it cannot be had so (no memory, a read that
// fails or comes short, a file too large to hold): the caller then reads it as a stream.
std::size_t ReadWhole(std::FILE* file, std::unique_ptr<unsigned char[]>& bytes)
{
    constexpr std::int64_t kMostInMemory = std::int64_t { 256 } << 20;
    struct stat st { };
    if (::fstat(::fileno(file), &st) != 0 || st.st_size <= 0 || st.st_size > kMostInMemory)
        return 0;
    const auto size = static_cast<std::size_t>(st.st_size);
    bytes.reset(new (std::nothrow) unsigned char[size]);
    if (!bytes || std::fread(bytes.get(), 1, size, file) != size) {
        bytes.reset();
        std::rewind(file);
        return 0;
    }
    return size;
}

} // namespace

// ---- Dispatch ------------------------------------------------------------------------------------------------

IoResult LoadImage(const std::string& path, Bitmap& out, const Progress& progress)
{
    const StageTimer timer(Stage::Decode);
    FilePtr file;
    if (IoResult opened = OpenForReading(path, file); !opened)
        return opened;
    file.reset();
    switch (SniffImageFormat(path)) {
    case ImageFormat::Jpeg:
        return LoadJpeg(path, out, progress);
    case ImageFormat::Png:
        return LoadPng(path, out);
    case ImageFormat::Ppm:
        return LoadPpm(path, out);
    case ImageFormat::Unknown:
        break;
    }
    return IoResult::Failure(
        Error(ErrorCode::UnknownFormat, ErrorDomain::Decode), "cannot read " + path + ": not a JPEG, PNG or PPM file");
}

IoResult LoadImageInto(const std::string& path, const PhotoPlacement& place, const Progress& progress,
    const RowsPlaced& rowsPlaced, int threads)
{
    const StageTimer timer(Stage::Decode);
    Bitmap photo;
    if (SniffImageFormat(path) == ImageFormat::Jpeg) {
        FilePtr file;
        if (IoResult opened = OpenForReading(path, file); !opened)
            return opened;
        // With a second core the file is read whole, for a second decoder to take the lower rows from.
        std::unique_ptr<unsigned char[]> bytes;
        const std::size_t size = threads > 1 ? ReadWhole(file.get(), bytes) : 0;
        if (IoResult decoded = size > 0
                ? Decode(nullptr, bytes.get(), size, photo, progress, path, &place, &rowsPlaced, true)
                : Decode(file.get(), nullptr, 0, photo, progress, path, &place, &rowsPlaced);
            !decoded || photo.Empty())
            return decoded;
    } else if (IoResult loaded = LoadImage(path, photo, progress); !loaded) {
        return loaded;
    }
    // Turned upright, or read from another format: drawn into the canvas.
    int left = 0, top = 0;
    Bitmap* canvas = place(photo.Width(), photo.Height(), left, top);
    if (!canvas || left < 0 || top < 0 || left + photo.Width() > canvas->Width()
        || top + photo.Height() > canvas->Height())
        return OutOfMemory("cannot read " + path + ": not enough memory for the photo");
    Draw(photo, *canvas, left, top);
    return IoResult::Success();
}

IoResult SaveImage(const std::string& path, const Bitmap& bitmap, const JpegOptions& options)
{
    switch (FormatFromExtension(path)) {
    case ImageFormat::Jpeg:
        return SaveJpeg(path, bitmap, options);
    case ImageFormat::Png:
        return SavePng(path, bitmap);
    case ImageFormat::Ppm:
        return SavePpm(path, bitmap);
    case ImageFormat::Unknown:
        break;
    }
    return IoResult::Failure(Error(ErrorCode::UnknownFormat, ErrorDomain::Encode),
        "cannot save " + path + ": the name must end in .jpg, .jpeg, .png or .ppm");
}

// ---- Atomic write --------------------------------------------------------------------------------------------

bool IsAtomicWriteTemporaryName(const std::string& name, std::string* target)
{
    // '.', at least one byte of the target, '.', the suffix.
    if (name.size() < 3 + kTemporarySuffix || name.front() != '.')
        return false;
    const std::size_t dot = name.size() - kTemporarySuffix - 1;
    if (name[dot] != '.')
        return false;
    for (std::size_t i = dot + 1; i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    }
    const std::string base = name.substr(1, dot - 1);
    if (base.size() > kTemporaryBaseLimit || base.find('/') != std::string::npos)
        return false;
    if (target)
        *target = base;
    return true;
}

IoResult WriteFileAtomically(const std::string& path, const std::string& bytes)
{
    return WriteFileAtomically(path, bytes.data(), bytes.size());
}

IoResult WriteFileAtomically(const std::string& path, const void* bytes, std::size_t size)
{
    const StageTimer timer(Stage::Sync);
    namespace fs = std::filesystem;
    if (path.empty())
        return IoResult::Failure(Error(ErrorCode::NoFileName, ErrorDomain::File), "no file name given");
    if (!bytes && size > 0)
        return IoResult::Failure(
            Error(ErrorCode::BadArgument, ErrorDomain::File), "cannot write " + path + ": no data");
    const fs::path target(path);
    const std::string name = target.filename().string();
    if (name.empty() || name == "." || name == "..")
        return IoResult::Failure(
            Error(ErrorCode::NoFileName, ErrorDomain::File), "cannot write " + path + ": not a file name");
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const auto fail = [&](int error) {
        if (error == ENOENT)
            return IoResult::Failure(SystemError(ErrorCode::NotFound, error),
                "cannot write " + path + ": the folder " + folder.string() + " does not exist");
        return IoResult::Failure(
            SystemError(ErrorCode::CannotWrite, error), "cannot write " + path + ": " + ErrnoText(error));
    };

    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = (folder / TemporaryName(name, NameGenerator())).string();
        // 0666 less the umask: the file ends up as an ordinary file would, 0644 under the usual umask.
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return fail(errno);
    }
    if (fd < 0)
        return fail(EEXIST);

    const auto abandon = [&](int error) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return fail(error);
    };
    const auto* p = static_cast<const char*>(bytes);
    std::size_t left = size;
    while (left > 0) {
        const ssize_t written = ::write(fd, p, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return abandon(errno);
        }
        p += written;
        left -= static_cast<std::size_t>(written);
    }
    // The data must be on disk before the name points at it, or a crash could leave an empty file in its place.
    // The rename itself is left to the file system's next commit: a crash before it keeps the old file whole.
    if (::fdatasync(fd) != 0)
        return abandon(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return fail(error);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return fail(error);
    }
    return IoResult::Success();
}

} // namespace vellicam
