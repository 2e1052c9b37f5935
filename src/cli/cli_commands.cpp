// The commands of vellicam-cli: each reads its inputs, runs one engine operation and writes its output.
#include "cli_commands.h"

#include "cli_support.h"

#include "bitmap.h"
#include "image_io.h"
#include "photo.h"
#include "reduce.h"
#include "rotate.h"
#include "sharpen.h"

#include <cstdio>

namespace vellicam::cli {

namespace {

    Bitmap ReadInput(const std::string& path)
    {
        Bitmap bitmap;
        const IoResult read = LoadImage(path, bitmap);
        if (!read)
            throw IoError { "cannot read '" + path + "': " + read.message };
        return bitmap;
    }

    // Refuses an output name whose format is unknown before any work is done.
    void CheckOutputName(const std::string& path)
    {
        if (FormatFromExtension(path) == ImageFormat::Unknown)
            throw UsageError { "cannot tell the format of '" + path + "': use .jpg, .jpeg, .png or .ppm" };
    }

    void WriteOutput(const std::string& path, const Bitmap& bitmap, const JpegOptions& options = {})
    {
        const IoResult written = SaveImage(path, bitmap, options);
        if (!written)
            throw IoError { "cannot write '" + path + "': " + written.message };
    }

    int PrintSize(const Bitmap& bitmap)
    {
        std::printf("{\"result\": 0, \"width\": %d, \"height\": %d}\n", bitmap.Width(), bitmap.Height());
        return kExitOk;
    }

    int PrintRefusal(int result)
    {
        std::printf("{\"result\": %d}\n", result);
        return kExitRefused;
    }

    // --- reduce ---

    const char kReduceHelp[] = R"(Usage: vellicam-cli reduce IN OUT --width W --height H

The high-quality reduction (weighted area averaging) of IN to W x H pixels.
Prints {"result": CODE, "message": "TEXT"}: the reduction's result code and message ("" when none).
Refusals (exit status 3): -10 aspect ratios differ, -12 source over 9600, -13 target over 9600,
-14 beyond 1/100, -15 not a reduction, -16 a size below 1. Equal sizes copy the image (result 0).
)";

    int RunReduce(const std::vector<std::string>& words)
    {
        const Arguments args(words, { "width", "height" }, {});
        args.ExpectPositional({ "IN", "OUT" });
        const auto widthText = args.Value("width");
        const auto heightText = args.Value("height");
        if (!widthText || !heightText)
            throw UsageError { "--width and --height are required" };
        const int width = ParseInt(*widthText, "--width", -1'000'000, 1'000'000);
        const int height = ParseInt(*heightText, "--height", -1'000'000, 1'000'000);
        const std::string& out = args.Positional()[1];
        CheckOutputName(out);
        const Bitmap source = ReadInput(args.Positional()[0]);

        Bitmap destination;
        // Equal sizes draw the source into the destination without resizing it, so give it the target's size.
        if (width >= 1 && height >= 1 && !destination.Resize(width, height))
            throw std::bad_alloc();
        std::string message;
        const int result = ReduceHighQuality(source, height, width, destination, &message);
        if (result == 0)
            WriteOutput(out, destination);
        std::printf("{\"result\": %d, \"message\": %s}\n", result, JsonString(message).c_str());
        return result == 0 ? kExitOk : kExitRefused;
    }

    // --- rotate ---

    const char kRotateHelp[] = R"(Usage: vellicam-cli rotate IN OUT --angle T

The rotation engine: OUT is the S x S square (S = the longer side of IN), filled white, then IN turned
about its centre by T tenths of a degree (positive: clockwise), T normalised into 0..3599 first.
No sharpening. Refused (exit status 3, result -1) when S exceeds 9600.
)";

    int RunRotate(const std::vector<std::string>& words)
    {
        const Arguments args(words, { "angle" }, {});
        args.ExpectPositional({ "IN", "OUT" });
        const auto angleText = args.Value("angle");
        if (!angleText)
            throw UsageError { "--angle is required" };
        const int angle = ParseInt(*angleText, "--angle", -1'000'000, 1'000'000);
        const std::string& out = args.Positional()[1];
        CheckOutputName(out);
        const Bitmap source = ReadInput(args.Positional()[0]);
        Bitmap rotated;
        const int result = BuildRotatedSquare(source, angle, rotated);
        if (result == -2)
            throw std::bad_alloc();
        if (result != 0)
            return PrintRefusal(result);
        WriteOutput(out, rotated);
        return PrintSize(rotated);
    }

    // --- sharpen ---

    const char kSharpenHelp[] = R"(Usage: vellicam-cli sharpen IN OUT

The sharpening filter (an unsharp mask on luminance, amount one half) applied to IN. The outer
one-pixel border and pure blue pixels are kept; images over 9600 pixels are left unchanged.
)";

    int RunSharpen(const std::vector<std::string>& words)
    {
        const Arguments args(words, {}, {});
        args.ExpectPositional({ "IN", "OUT" });
        const std::string& out = args.Positional()[1];
        CheckOutputName(out);
        Bitmap bitmap = ReadInput(args.Positional()[0]);
        SharpenBitmap(bitmap);
        WriteOutput(out, bitmap);
        return PrintSize(bitmap);
    }

    // --- square ---

    const char kSquareHelp[] = R"(Usage: vellicam-cli square IN OUT

The working square built when a photo is loaded: side = the longer side of IN, black, with IN
copied in at its centre.
)";

    int RunSquare(const std::vector<std::string>& words)
    {
        const Arguments args(words, {}, {});
        args.ExpectPositional({ "IN", "OUT" });
        const std::string& out = args.Positional()[1];
        CheckOutputName(out);
        const Bitmap photo = ReadInput(args.Positional()[0]);
        Bitmap square;
        if (!BuildSquareBitmap(photo, square))
            throw std::bad_alloc();
        WriteOutput(out, square);
        return PrintSize(square);
    }

    // --- detect ---

    const char kDetectHelp[] = R"(Usage: vellicam-cli detect PHOTO [--angle T]

Automatic face recognition on the working square of PHOTO (turned by T tenths of a degree when
given). Needs the detector library and its cascade files beside the program.
)";

    int RunDetect(const std::vector<std::string>& words)
    {
        const Arguments args(words, { "angle" }, {});
        args.ExpectPositional({ "PHOTO" });
        throw UsageError { "face recognition is not available in this build: the detector library is missing" };
    }

    const Command kCommands[] = {
        { "reduce", kReduceHelp, RunReduce },
        { "rotate", kRotateHelp, RunRotate },
        { "sharpen", kSharpenHelp, RunSharpen },
        { "square", kSquareHelp, RunSquare },
        { "detect", kDetectHelp, RunDetect },
    };

} // namespace

const Command* FindCommand(const std::string& name)
{
    for (const Command& command : kCommands)
        if (name == command.name)
            return &command;
    return nullptr;
}

} // namespace vellicam::cli
