// The framed photo checked against its size's rules, as a photo studio would before printing: face height, space
// above the head, tilt, centring, open eyes, a plain light background and the face's exposure. A failed check is a
// warning; nothing here refuses a sheet.
#pragma once

#include "image/bitmap.h"
#include "recognition/face_detector.h"
#include "recognition/frame_proposal.h"
#include "sheet/photo_size.h"
#include "sheet/sheet_compose.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vellicam {

// A check's verdict; Unknown when what it needs is not known (no face, no landmarks) or its size has no rule.
enum class CheckState { Passed, Failed, Unknown };

struct PhotoCheck {
    std::string id; // face_height, head_margin, tilt, centre, eyes, background, exposure, edited
    CheckState state = CheckState::Unknown;
    bool hasValue = false;
    double value = 0; // mm, degrees, opening, spread or brightness: see CheckPhoto
    std::string rule; // the rule in Japanese ("32〜36mm", "規定なし")
    std::string text; // the check as the list shows it: name, value and verdict
};

// What is known of the face, in pixels of the working square.
struct CheckFace {
    bool hasHeight = false; // head top and chin rows (recognition or a head line)
    int headTop = 0;
    int chin = 0;
    bool hasCentre = false; // a column on the face's centre line
    double centreX = 0;
    bool hasEyes = false; // the eye centres and the chin point from the landmarks
    double leftEyeX = 0, leftEyeY = 0, rightEyeX = 0, rightEyeY = 0, chinX = 0, chinY = 0;
    bool hasOpening = false;
    EyeOpening opening;
    bool hasBox = false; // the detector's face box
    FaceRect box;
};

// A person mask over the working square: one byte per pixel, 255 on the person, 0 on the background. Not owned.
struct MaskView {
    const std::uint8_t* cells = nullptr;
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
};

struct CheckInputs {
    const Bitmap* square = nullptr; // the working square the frame is cut from
    CropRect frame; // the frame in its pixels (frameInImage)
    CheckFace face;
    const MaskView* mask = nullptr; // the background is what it leaves; without one, the border strips of the cut
    bool backgroundReplaced = false; // the background will be painted plain before the sheet is made
};

// Thresholds the program chose where no authority gives a figure (see the size table for those that do).
inline constexpr int kEyeOpenMin = 150; // per thousand of the eye's width: below, the eye counts as closed
inline constexpr int kBackgroundSpreadMax = 18; // standard deviation of the background's brightness (0–255)
inline constexpr int kBackgroundBrightMin = 140; // mean brightness of the background
inline constexpr int kFaceDarkMax = 70; // a face darker on average is too dark
inline constexpr int kFaceBrightMin = 230; // ... brighter, burnt out
inline constexpr int kFaceClippedMaxPercent = 8; // share of the face at 250 or above
inline constexpr int kFaceShadowMax = 50; // difference of the face's two halves' mean brightness

// Every check, in the order face_height, head_margin, tilt, centre, eyes, background, exposure, then edited when
// the background is to be replaced. Values: face_height and head_margin in mm as printed; tilt in degrees (the
// eye line, positive falling to the image's right); centre in mm as printed (positive: the face right of the
// centre line); eyes the smaller eye's opening (lid-to-lid over width); background the spread of its brightness;
// exposure the face's mean brightness. A missing square or frame leaves every check Unknown.
[[nodiscard]] std::vector<PhotoCheck> CheckPhoto(const PhotoSize& size, const CheckInputs& inputs);

// The ids of the checks every photo gets, in their order (edited, asked for only with a replaced background, is not
// among them).
inline constexpr const char* kCheckIds[] = { "face_height", "head_margin", "tilt", "centre", "eyes", "background",
    "exposure" };

// The status panel's short form: "規格 ✓", or "規格 ✗ 傾き・背景" naming the failed checks; "" when no check is known.
[[nodiscard]] std::string ChecksSummaryText(const std::vector<PhotoCheck>& checks);
// True when no check failed.
[[nodiscard]] bool ChecksPassed(const std::vector<PhotoCheck>& checks);

} // namespace vellicam
