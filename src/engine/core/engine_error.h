// The engine's one failure value: what went wrong, in which kind of work, and the system's own reason. It carries
// no wording for people; the session turns it into the texts the window, the command line and the logs show.
#pragma once

#include <string>
#include <utility>

namespace vellicam {

// The kind of work that failed.
enum class ErrorDomain {
    None,
    File, // finding, opening or writing a file
    Decode, // reading an image's content
    Encode, // making an image's bytes
    Memory, // an allocation
    Geometry, // a size or an angle the operation cannot take
    Reduction, // the high-quality reduction's refusals
    Detector, // the face detector's library and data
};

// What went wrong.
enum class ErrorCode {
    None,
    // Files
    NoFileName,
    NotFound,
    NotARegularFile,
    CannotOpen,
    CannotWrite,
    // Content
    UnknownFormat,
    Unsupported,
    Corrupt,
    Truncated,
    TooLarge,
    BadArgument,
    CodecFailed, // the codec library refused the work (its message is the reason)
    OutOfMemory,
    // Sizes and angles
    SizeBelowOne,
    AspectDiffers,
    SameSize, // not a failure: the reduction copied the source because the sizes are equal
    SourceTooLarge,
    TargetTooLarge,
    BeyondHundredth,
    NotSmaller,
    AngleNotFinite,
};

struct EngineError {
    ErrorCode code = ErrorCode::None;
    ErrorDomain domain = ErrorDomain::None;
    // The system's own words when it gave any (strerror, libjpeg's or libpng's message, dlerror), else "".
    std::string reason;
    // The width and height a size refusal is about (0 × 0 otherwise).
    int width = 0;
    int height = 0;
    // errno when the system refused the work (the reason is its text), else 0: the session words the common ones.
    int systemError = 0;

    [[nodiscard]] bool Failed() const { return code != ErrorCode::None && code != ErrorCode::SameSize; }
    friend bool operator==(const EngineError&, const EngineError&) = default;
};

// Stores `error` at `out` when the caller asked for it; returns `result` so that a refusal is one statement.
inline int Refuse(EngineError* out, int result, EngineError error)
{
    if (out)
        *out = std::move(error);
    return result;
}

} // namespace vellicam
