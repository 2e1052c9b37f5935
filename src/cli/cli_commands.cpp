// The commands of vellicam-cli: each reads its inputs, runs one engine operation and writes its output.
#include "cli_commands.h"

#include "batch_command.h"
#include "cli_layout.h"
#include "cli_support.h"

#include "image/bitmap.h"
#include "image/image_io.h"
#include "image/photo.h"
#include "recognition/detector_files.h"
#include "recognition/face_detector.h"
#include "recognition/recognition_run.h"
#include "resample/reduce.h"
#include "resample/rotate.h"
#include "resample/sharpen.h"
#include "session/photo_session.h"
#include "session/session_texts.h"
#include "sheet/output_path.h"
#include "sheet/sheet_compose.h"
#include "sheet/sheet_layout.h"
#include "sheet/sheet_pdf.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <thread>

namespace vellicam::cli {

namespace {

Bitmap ReadInput(const std::string& path)
{
    Bitmap bitmap;
    const IoResult read = LoadImage(path, bitmap);
    if (!read)
        throw IoError { "cannot read '" + path + "': " + read.message, path };
    return bitmap;
}

// Refuses an output name whose format is unknown before any work is done.
void CheckOutputName(const std::string& path)
{
    if (FormatFromExtension(path) == ImageFormat::Unknown)
        throw UsageError { "cannot tell the format of '" + path + "': use .jpg, .jpeg, .png or .ppm", path };
}

// Refuses an output that names the input file itself (in any spelling): the input would be lost.
void CheckOutputIsNotInput(const std::string& out, const std::string& in)
{
    if (NameSameFile(out, in))
        throw IoError { "'" + out + "' is the input photo itself: name another file for the output", out };
}

void WriteOutput(const std::string& path, const Bitmap& bitmap, const JpegOptions& options = {})
{
    const IoResult written = SaveImage(path, bitmap, options);
    if (!written)
        throw IoError { "cannot write '" + path + "': " + written.message, path };
}

// A photo that decodes but whose working square would pass the engine's largest bitmap is an input problem, not
// a shortage of memory: say so.
void RefuseOversizedSquare(const Bitmap& photo, const std::string& path)
{
    if (SquareTooLarge(photo.Width(), photo.Height()))
        throw IoError { "cannot work on '" + path + "': its working square would be "
                + std::to_string(std::max(photo.Width(), photo.Height())) + " pixels on a side, too large",
            path };
}

// Opens the photo in the session as the window opens a photo (decoded straight into its working square), read by
// content whatever its format, and turns it by `angle` when one is given. Returns 0, or the rotation's refusal (-1)
// for a photo too large to turn.
int OpenInSession(PhotoSession& session, const std::string& photoPath, const int* angle)
{
    const OpenOutcome opened = session.open(photoPath, false);
    if (opened.result == OpenOutcome::TooLarge) {
        // Refused by the size its header gives before a pixel was read: a file that does not read says so first.
        RefuseOversizedSquare(ReadInput(photoPath), photoPath);
        throw std::bad_alloc(); // not reached: the refusal asks the same of the size as the open
    }
    if (opened.result == OpenOutcome::OutOfMemory)
        throw std::bad_alloc();
    if (!opened.opened())
        throw IoError { "cannot read '" + photoPath + "': " + opened.readerMessage, photoPath };
    if (!angle)
        return 0;
    if (session.tooLargeToTurn())
        return -1;
    if (!session.rotateTo(*angle, false).turned)
        throw std::bad_alloc();
    return 0;
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
    EngineError error;
    const int result = ReduceHighQuality(source, height, width, destination, &error);
    if (result == 0)
        WriteOutput(out, destination);
    std::printf("{\"result\": %d, \"message\": %s}\n", result, JsonString(ReductionMessage(error)).c_str());
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
    RefuseOversizedSquare(photo, args.Positional()[0]);
    Bitmap square;
    if (!BuildSquareBitmap(photo, square))
        throw std::bad_alloc();
    WriteOutput(out, square);
    return PrintSize(square);
}

// --- sheet ---

const char kSheetHelp[] = R"(Usage: vellicam-cli sheet PHOTO OUT --frame L,T,W,H [options]
       vellicam-cli sheet --list-sizes

The print sheet of PHOTO at 300 dpi: by default four 30 x 40 mm photos on an L sheet (1051 x 1500 pixels);
--size and --paper choose another photo size and paper, as many photos as fit. The working square is the
square built at loading, or, with --angle, the photo turned by T tenths of a degree exactly as the rotation
buttons turn it. The crop rectangle L,T,W,H is given in pixels of that square; a rectangle reaching past
the square's edge is cut there and stretched to its full size, as the sheet action does. OUT is never
PHOTO itself, and an existing OUT is replaced only when it is an earlier sheet (sheets carry a mark). An OUT
ending in .pdf is a one-page PDF of the paper's size holding the sheet's JPEG at 300 dpi.

Options:
  --size ID            the photo size (default resume; see --list-sizes)
  --paper ID           the paper: L (89 x 127 mm, default), 2L (127 x 178 mm), 4x6 (4 x 6 in)
  --list-sizes         print one line per photo size (id, name, size, face rule) and stop
  --angle T            turn the photo first (tenths of a degree, positive: clockwise)
  --no-sharpen         do not sharpen the cells
  --no-centre-marks    leave out the centre crop marks
  --no-corner-marks    leave out the corner crop marks
  --no-scale           leave out the 5 cm scale
  --quality Q          JPEG quality 0..100 when OUT is a JPEG (default 90)
  --background C       replace the background outside the person by a plain colour: white, blue (light blue
                       D8E8F8), grey (E4E4E4) or RRGGBB; needs the detector library's person model. A photo
                       without a person in the middle of the frame makes no sheet (exit status 3)
  --preview PREVIEW    also write the preview-sized sheet (712 pixels high)
)";

int RunSheet(const std::vector<std::string>& words)
{
    const Arguments args(words, { "frame", "angle", "quality", "preview", "size", "paper", "background" },
        { "no-sharpen", "no-centre-marks", "no-corner-marks", "no-scale", "list-sizes" });
    if (args.Flag("list-sizes")) {
        args.ExpectPositional({});
        std::fputs(SizeListText().c_str(), stdout);
        return kExitOk;
    }
    args.ExpectPositional({ "PHOTO", "OUT" });
    // The ids are checked before any file is read.
    const SheetLayout layout = LayoutForIds(args.Value("size"), args.Value("paper"));
    const auto frameText = args.Value("frame");
    if (!frameText)
        throw UsageError { "--frame L,T,W,H is required" };
    const std::vector<int> frame = ParseIntList(*frameText, "--frame", 4);
    if (frame[2] < 1 || frame[3] < 1)
        throw UsageError { "--frame needs a width and a height of at least 1" };
    const std::optional<std::string> angleText = args.Value("angle");
    const int angle = angleText ? ParseInt(*angleText, "--angle", -1'000'000, 1'000'000) : 0;
    Settings settings;
    const auto qualityText = args.Value("quality");
    settings.jpegQuality = qualityText ? ParseInt(*qualityText, "--quality", 0, 100) : 90;
    settings.centreMarks = !args.Flag("no-centre-marks");
    settings.cornerMarks = !args.Flag("no-corner-marks");
    settings.scale = !args.Flag("no-scale");
    settings.sharpen = !args.Flag("no-sharpen");
    if (const auto v = args.Value("background")) {
        settings.plainBackground = true;
        if (!ParseBackgroundColour(*v, settings.backgroundColour))
            throw UsageError { "--background takes white, blue, grey or RRGGBB, not '" + *v + "'" };
    }
    const std::string& out = args.Positional()[1];
    const bool pdf = IsPdfName(out);
    if (!pdf && FormatFromExtension(out) == ImageFormat::Unknown)
        throw UsageError { "cannot tell the format of '" + out + "': use .jpg, .jpeg, .png, .ppm or .pdf", out };
    const auto previewPath = args.Value("preview");
    if (previewPath)
        CheckOutputName(*previewPath);
    // A sheet replaces nothing but an earlier sheet: not its photo, not another file of the user's.
    for (const std::string* path : { &out, previewPath ? &*previewPath : nullptr }) {
        if (!path)
            continue;
        CheckOutputIsNotInput(*path, args.Positional()[0]);
        struct stat st { };
        if (::lstat(path->c_str(), &st) == 0 && !IsMarkedSheet(*path))
            throw IoError { "'" + *path + "' exists and is not a sheet: name another file, or remove it first", *path };
    }

    PhotoSession session(settings.plainBackground ? DetectorFolder() : std::string());
    session.setLayout(layout);
    if (const int refused = OpenInSession(session, args.Positional()[0], angleText ? &angle : nullptr); refused != 0)
        return PrintRefusal(refused);

    // The frame is given in the square's own pixels: the view and the square are one and the same scale.
    const int side = session.square().Width();
    session.setView(side, side, side);
    session.setFrame({ frame[0], frame[1], frame[2], frame[3] });
    CropRect crop;
    if (const int cropResult = session.frameInImage(crop); cropResult != kCropOk)
        return PrintRefusal(cropResult);

    // Nobody answers here: an enlargement goes ahead, as after "no" to the window's question.
    RecordedPrompts prompts(false);
    const SheetOutcome composed = session.composeSheet(settings, false, prompts);
    if (composed.result == SheetOutcome::NoCut)
        return PrintRefusal(kCropNothingToCut);
    if (composed.result == SheetOutcome::NotDrawn && settings.plainBackground && !prompts.messages.empty()) {
        std::string text = prompts.messages.front();
        for (const std::string& detail : prompts.details)
            text += " (" + detail + ")";
        std::fprintf(stderr, "vellicam-cli sheet: %s\n", text.c_str());
        std::fputs(ErrorObject(text, args.Positional()[0]).c_str(), stdout);
        return kExitRefused;
    }
    if (composed.result != SheetOutcome::Composed)
        throw std::bad_alloc();
    const Bitmap& sheet = session.sheet();
    const JpegOptions sheetOptions { settings.jpegQuality, session.layout().Resolution, kSheetMark };
    if (!pdf)
        WriteOutput(out, sheet, sheetOptions);
    else if (const IoResult written = WriteSheetPdf(out, sheet, sheetOptions, PaperSizeForId(args.Value("paper")));
             !written)
        throw IoError { "cannot write '" + out + "': " + written.message, out };
    if (previewPath) {
        Bitmap preview;
        if (MakePreview(sheet, preview) != 0)
            throw std::bad_alloc();
        WriteOutput(*previewPath, preview, { settings.jpegQuality, 0, kSheetMark });
    }
    return PrintSize(sheet);
}

// --- detect ---

const char kDetectHelp[] = R"(Usage: vellicam-cli detect PHOTO [--angle T] [--size ID] [--paper ID] [--face N]

Automatic face recognition on the working square of PHOTO (turned by T tenths of a degree when
given). Needs the detector library and its cascade files, beside the program or where they
are installed (../lib/vellicam and ../share/vellicam from the program's folder).
With --size (or --paper) the frame is proposed for that photo size's margins, and the output adds
"size", "face_height_mm" (head top to chin as it will print) and "face_height_ok" (true or false
against the size's rule, null for a size without one) and "checks": the placed frame against the size's
rules, one object per check ({"id", "ok" (true, false, or null when unknown or without a rule), "value",
"rule", "text"}) for face_height, head_margin, tilt, centre, eyes, background and exposure.
"frame" is the proposal as recognition made it;
"sheet_frame" is the frame the window would place, moved onto the photo's own pixels where it fits
(the rectangle to give to 'vellicam-cli sheet --frame'), or null when none was placed.
"small_face" is true when the face was found only below the minimum face size (200 pixels): it is
framed, but its print will be soft.
"confirmed_faces" lists every face the detector confirmed, left to right, each as {"box": [left, top,
width, height], "landmarks": {...}} in pixels of the working square; "chosen_face" is the framed one's
place in that list (counted from 0), or null when the framed face is none of them.
--face N frames the confirmed face at place N of that list (counted from 0: 0 is the leftmost) instead
of the face recognition chooses; an N the photo has no confirmed face for is refused (exit 2).
)";

// The detector library and its cascades for this program, or for a program in VELLICAM_DETECTOR_DIR when set (so
// that tests can put a stand-in detector there).
DetectorFiles FindDetector()
{
    return FindDetectorFiles(DetectorFolder());
}

// The face-height check of a proposed frame, as JSON members to append; empty when nothing was proposed.
std::string FaceHeightMembers(const RecognitionOutcome& o, const PhotoSize& size)
{
    const FrameProposal& p = o.proposal;
    FaceHeightCheck check;
    if (o.result != kRecognised || CheckFaceHeight(size, p.headTop, p.chinLine, p.h, check) != kFaceHeightChecked)
        return ", \"size\": " + JsonString(size.id) + ", \"face_height_mm\": null, \"face_height_ok\": null";
    char figure[32];
    std::snprintf(figure, sizeof figure, "%d.%d", check.tenths / 10, check.tenths % 10);
    return ", \"size\": " + JsonString(size.id) + ", \"face_height_mm\": " + figure
        + ", \"face_height_ok\": " + (check.ruled ? (check.meets ? "true" : "false") : "null");
}

// A face's landmarks as a JSON object.
std::string LandmarksJson(const FaceLandmarks& q)
{
    return "{\"chin\": [" + std::to_string(q.chinX) + ", " + std::to_string(q.chinY) + "], \"left_eye\": ["
        + std::to_string(q.leftEyeX) + ", " + std::to_string(q.leftEyeY) + "], \"right_eye\": ["
        + std::to_string(q.rightEyeX) + ", " + std::to_string(q.rightEyeY) + "]"
        + (q.hasSides ? ", \"sides\": [" + std::to_string(q.leftSideX) + ", " + std::to_string(q.leftSideY) + ", "
                    + std::to_string(q.rightSideX) + ", " + std::to_string(q.rightSideY) + "]"
                      : std::string())
        + "}";
}

// The confirmed faces and the framed one's place among them, as JSON members to append.
std::string ConfirmedFacesMembers(const RecognitionOutcome& o)
{
    std::string list;
    for (const ConfirmedFace& f : o.faces) {
        list += list.empty() ? "" : ", ";
        list += "{\"box\": [" + std::to_string(f.box.x1) + ", " + std::to_string(f.box.y1) + ", "
            + std::to_string(f.box.x2 - f.box.x1) + ", " + std::to_string(f.box.y2 - f.box.y1)
            + "], \"landmarks\": " + LandmarksJson(f.points) + "}";
    }
    return ", \"confirmed_faces\": [" + list
        + "], \"chosen_face\": " + (o.chosenFace >= 0 ? std::to_string(o.chosenFace) : std::string("null"));
}

void PrintDetection(const RecognitionOutcome& o, const std::string& extra)
{
    const FaceRect& f = o.face;
    const FrameProposal& p = o.proposal;
    std::string chin = "null";
    if (o.chinAccepted)
        chin = "[" + std::to_string(o.chin.cx1) + ", " + std::to_string(o.chin.cy1) + ", " + std::to_string(o.chin.cx2)
            + ", " + std::to_string(o.chin.cy2) + "]";
    std::string points = "null";
    if (o.landmarks)
        points = LandmarksJson(o.points);
    const std::string levelling = o.levellingKnown ? std::to_string(o.levellingAngle) : "null";
    // The person mask: "mask_head_top" is null when the mask gave no believable head top (or there was none).
    const char* mask = o.personModel == PersonModelState::Ready
        ? (o.personRegion.Empty() ? "\"no region\"" : "\"used\"")
        : o.personModel == PersonModelState::Missing    ? "\"model missing\""
        : o.personModel == PersonModelState::Unreadable ? "\"model unreadable\""
                                                        : "null";
    const std::string maskTop = o.maskHeadTop >= 0 ? std::to_string(o.maskHeadTop) : "null";
    std::printf(
        "{\"result\": %d, \"image\": [%d, %d], \"faces\": %d, \"face\": [%d, %d, %d, %d], \"chin\": %s, "
        "\"chin_strip_top\": %d, \"head_top_scan\": %d, \"estimate\": [%d, %d], \"corrected_chin\": %d, "
        "\"chin_line\": %d, \"frame\": [%d, %d, %d, %d], \"head_top\": %d, \"landmarks\": %s, "
        "\"levelling\": %s, \"person_mask\": %s, \"mask_head_top\": %s, \"other_people\": %s, \"small_face\": %s%s}\n",
        o.result, o.imageWidth, o.imageHeight, o.candidateCount, f.x1, f.y1, f.x2, f.y2, chin.c_str(), o.chinStripTop,
        p.bgTop, p.estimatedTop, p.estimatedChin, p.correctedChin, p.chinLine, p.frameLeft, p.frameTop, p.frameRight,
        p.frameBottom, p.headTop, points.c_str(), levelling.c_str(), mask, maskTop.c_str(),
        o.otherPeople ? "true" : "false", o.smallFace ? "true" : "false", extra.c_str());
}

int RunDetect(const std::vector<std::string>& words)
{
    const Arguments args(words, { "angle", "size", "paper", "face" }, {});
    args.ExpectPositional({ "PHOTO" });
    const std::optional<std::string> angleText = args.Value("angle");
    const int angle = angleText ? ParseInt(*angleText, "--angle", -1'000'000, 1'000'000) : 0;
    const DetectorFiles files = FindDetector();
    const bool sizeGiven = args.Value("size") || args.Value("paper");
    const SheetLayout layout = LayoutForIds(args.Value("size"), args.Value("paper"));
    const PhotoSize& size = PhotoSizeForId(args.Value("size"));
    const std::optional<std::string> faceText = args.Value("face");
    const int face = faceText ? ParseInt(*faceText, "--face", 0, kMaxCandidates - 1) : -1;

    // The detector library with its landmark models, the face cascade and the person model are read on a second core
    // while the photo is decoded and the recognition's first steps (its reduced pictures) run; the recognition waits
    // for each only where it needs it, and reads the learned face detector only if its last resort runs. Not for a
    // photo that is not there, whose refusal needs no detector.
    std::error_code ec;
    std::jthread preload;
    if (std::filesystem::is_regular_file(args.Positional()[0], ec))
        preload = std::jthread([folder = DetectorFolder()] { PrepareDetector(folder); });
    PhotoSession session(DetectorFolder());
    session.setOtherCoreBusyWhileOpening(preload.joinable());
    const int refused = OpenInSession(session, args.Positional()[0], angleText ? &angle : nullptr);
    if (refused != 0)
        return PrintRefusal(refused);
    // The size and paper named, for the checks; the layout as the command line built it.
    Settings sized;
    sized.photoSize = size.id;
    sized.paper = PaperSizeForId(args.Value("paper")).id;
    (void)session.setSheetSize(sized);
    session.setLayout(layout);
    const int side = session.square().Width();
    session.setView(side, side, side);
    // Detection alone writes no error log.
    session.setLogSink([](const std::string&, const std::string&) {});
    RecordedPrompts prompts;
    Settings settings;
    settings.recogniseOnOpen = true;
    const RecognitionReport report = session.recogniseFace(face, settings, false, prompts);
    const RecognitionOutcome& outcome = report.outcome;
    std::string placed = ", \"sheet_frame\": null";
    if (CropRect crop; report.framePlaced && session.frameInImage(crop) == kCropOk)
        placed = ", \"sheet_frame\": [" + std::to_string(crop.source.left) + ", " + std::to_string(crop.source.top)
            + ", " + std::to_string(crop.width) + ", " + std::to_string(crop.height) + "]";
    if (outcome.result == kRecognitionNoSuchFace)
        throw UsageError { "--face " + std::to_string(face) + ": the photo has "
            + (outcome.faces.empty() ? std::string("no confirmed face")
                                     : std::to_string(outcome.faces.size()) + " confirmed face"
                        + (outcome.faces.size() == 1 ? " (0)"
                                                     : "s (0 to " + std::to_string(outcome.faces.size() - 1) + ")")) };
    if (outcome.result == kRecognitionCascadeMissing)
        throw UsageError { "face cascade missing: " + outcome.reason, files.faceCascade };
    if (outcome.result == kDetectorNotLoaded) {
        std::error_code ec;
        if (!std::filesystem::exists(files.library, ec))
            throw UsageError { "detector library missing: " + files.library + " (looked in "
                    + FolderList(files.libraryFolders) + ")",
                files.library };
    }
    std::string members = ConfirmedFacesMembers(outcome);
    if (sizeGiven)
        members += ", \"checks\": " + ChecksJson(session.photoChecks()) + FaceHeightMembers(outcome, size);
    members += placed;
    PrintDetection(outcome, members);
    if (outcome.result == kRecognised)
        return kExitOk;
    std::string why = outcome.message;
    if (!outcome.reason.empty())
        why += (why.empty() ? "" : " (") + outcome.reason + (why.empty() ? "" : ")");
    if (!why.empty())
        std::fprintf(stderr, "vellicam-cli detect: %s\n", why.c_str());
    return kExitRefused;
}

const Command kCommands[] = {
    { "reduce", kReduceHelp, RunReduce },
    { "rotate", kRotateHelp, RunRotate },
    { "sharpen", kSharpenHelp, RunSharpen },
    { "square", kSquareHelp, RunSquare },
    { "sheet", kSheetHelp, RunSheet },
    { "detect", kDetectHelp, RunDetect },
    { "batch", kBatchHelp, RunBatch },
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
