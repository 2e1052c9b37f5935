// The finished photo sizes and the paper sizes a sheet can be made for, with each size's face rule, and the check of
// a framed face against that rule.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace vellicam {

// Whether a size's authority takes a photo whose background was replaced by a program.
enum class EditedBackground {
    Unknown, // its published requirements say nothing of it
    Accepted, // no authority checks the photo (a résumé)
    Refused, // its requirements refuse processed or altered photos
};

// Lengths are in tenths of a millimetre, so that the inch sizes are exact (2 in = 508).
struct PhotoSize {
    const char* id; // short ASCII name for the command line and the settings file
    const char* name; // as the user reads it
    int width = 0; // the finished (cut) photo
    int height = 0;
    int faceTarget = 0; // head top to chin that the layout aims at: the middle of the rule's range
    int faceMin = 0; // the issuing authority's range for head top to chin; both 0 when it states none
    int faceMax = 0;
    int topSpace = 0; // space between the photo's top edge and the head top that the layout aims at
    int topMin = 0; // the authority's range for that space; both 0 when it states none
    int topMax = 0;
    int tiltMax = 0; // the eye line's largest angle, tenths of a degree
    int centrePercent = 0; // how far the face's centre line may lie from the photo's, in percent of its width
    EditedBackground editedBackground = EditedBackground::Unknown;
};

struct PaperSize {
    const char* id;
    const char* name;
    int width = 0; // portrait: width below height
    int height = 0;
};

// Every sheet is made at this resolution.
inline constexpr int kSheetResolution = 300;

// The sizes in the order the settings list shows them; the first is the default (履歴書・一般 30 × 40).
[[nodiscard]] std::span<const PhotoSize> PhotoSizes();
[[nodiscard]] std::span<const PaperSize> PaperSizes(); // the first is the default (L)
[[nodiscard]] const PhotoSize& DefaultPhotoSize();
[[nodiscard]] const PaperSize& DefaultPaperSize();
// The entry of that id (exact, case-sensitive), or nullptr.
[[nodiscard]] const PhotoSize* FindPhotoSize(std::string_view id);
[[nodiscard]] const PaperSize* FindPaperSize(std::string_view id);

// Tenths of a millimetre as pixels at `dpi`, rounded to the nearest (half up). Negative lengths give 0.
[[nodiscard]] int TenthsToPixels(int tenths, int dpi = kSheetResolution);

// One photo as printed, in pixels at kSheetResolution: the cut, to the nearest even number of pixels (the corner
// marks stand half the cut either side of the cell's centre, so an odd cut would be framed one pixel short), and
// the image, the cut plus the bleed on each side.
inline constexpr int kBleedTenths = 10; // 1 mm beyond the cut on each side
[[nodiscard]] int PrintedCutWidth(const PhotoSize& size);
[[nodiscard]] int PrintedCutHeight(const PhotoSize& size);
[[nodiscard]] int PrintedImageWidth(const PhotoSize& size);
[[nodiscard]] int PrintedImageHeight(const PhotoSize& size);

// Tenths of a millimetre as millimetres: "34" for whole ones, "50.8" otherwise.
[[nodiscard]] std::string Millimetres(int tenths);
// "30 × 40mm", "50.8 × 50.8mm".
[[nodiscard]] std::string SizeText(const PhotoSize& size);

// The face as it will print: head top to chin in tenths of a millimetre, and whether the size has a rule and the
// face meets it (the session words it: FaceHeightText).
struct FaceHeightCheck {
    int tenths = 0;
    bool ruled = false;
    bool meets = false;
};

enum FaceHeightResult : int {
    kFaceHeightChecked = 0,
    kFaceHeightBadFrame = -1, // frame height below 1
    kFaceHeightBadFace = -2, // chin not below the head top
    kFaceHeightTooLarge = -3, // a face so many times the frame that the figure is meaningless
    kFaceHeightBadSize = -4, // a photo height below 0.1 mm or beyond ten metres
};

// headTop and chin are rows, frameHeight the frame's height, all in one unit (working-image pixels, or view pixels
// for a head line drawn on the view): the frame is printed as the size's image (PrintedImageHeight rows), so the
// face prints at (chin − headTop) / frameHeight of it. The comparison uses the figure as shown, rounded to a tenth.
// Refuses with the codes above, `check` untouched.
[[nodiscard]] int CheckFaceHeight(
    const PhotoSize& size, int headTop, int chin, int frameHeight, FaceHeightCheck& check);

} // namespace vellicam
