// The decisions of an automatic recognition run as functions of plain values: when to ask the detector again,
// which candidate to take, where the chin strip lies and whether its chin counts, and what counts as no face;
// with the run's fixed texts.
#pragma once

#include "recognition/frame_proposal.h"

#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace vellicam {

// Outcomes of a recognition run.
enum RecognitionResult : int {
    kRecognised = 0, // also when a run was already in progress
    kRecognitionCascadeMissing = -1,
    kRecognitionTempNotSaved = -2,
    kRecognitionLibraryFirst = -3, // -3 … -7: the detector library could not be used
    kRecognitionLibraryLast = -7,
    kRecognitionInternalError = -8,
    kRecognitionSkippedSilently = -9,
    kRecognitionNotRecognised = -10,
    kRecognitionFaceNotSaved = -12,
    kRecognitionOutOfMemory = -13,
};

// The detector's "nothing found" status counts as success.
inline constexpr int kDetectorNothingFound = -7;
[[nodiscard]] inline int EffectiveDetectorStatus(int status)
{
    return status == kDetectorNothingFound ? 0 : status;
}

// At most this many detections of a second pass are considered.
inline constexpr int kMaxCandidates = 10;

// The first answer is looked at again when there is no face, when (with upperHalfOnly) its centre row lies below
// the image's middle row, when it is not plausible (IsPlausibleFace), or when its centre is more than a tenth of
// the width off the vertical centre line, unless a face detector confirmed it and placed its landmarks
// (`confirmed`): the library then put the most likely subject first already. A confirmed face that was the only
// candidate and reaches into the upper half (its top above the middle row) is not looked at again for standing low
// either. imageWidth × imageHeight is the square working image.
[[nodiscard]] bool NeedsRedetection(int candidateCount, const FaceRect& face, int imageWidth, int imageHeight,
    bool upperHalfOnly, bool plausible, bool confirmed = false);

// The candidate of a second pass nearest the vertical centre line among those that are plausible and (with
// upperHalfOnly) whose centre row is not below the middle row. Only the first kMaxCandidates are considered; of two
// at the same distance the earlier wins. An empty `plausible` counts every candidate plausible. Returns the index,
// or -1 when none qualifies.
[[nodiscard]] int ChooseCandidate(std::span<const FaceRect> candidates, int imageWidth, int imageHeight,
    bool upperHalfOnly, const std::function<bool(const FaceRect&)>& plausible);

// The chin strip's top row: the face's middle row, raised so that a strip one face high ends inside the image.
[[nodiscard]] int ChinStripTop(const FaceRect& face, int imageHeight);

// A chin found in the strip counts when its centre lies on or below the face rectangle's bottom edge and no more than
// a quarter of the face's height below it (further down is the neck: a collar, a necklace, a hand). cy1, cy2 are
// strip rows.
[[nodiscard]] bool AcceptChin(int chinStripTop, int cy1, int cy2, const FaceRect& face);

// The rotation, in tenths of a degree with the rotation buttons' sign (positive turns the picture clockwise on the
// screen), that makes the line from the eye at (lx, ly) (the one on the image's left) to the eye at (rx, ry)
// level; rounded to the nearest tenth. Gives 0 for two eyes on one point or a right eye left of the left one.
[[nodiscard]] int LevellingAngle(int lx, int ly, int rx, int ry);

// The status text for a proposed levelling angle: "傾き補正 %s度" with the angle in degrees without trailing zeros
// ("傾き補正 -2.5度", "傾き補正 0度").
[[nodiscard]] std::string LevellingText(int tenths);

// No face: an empty rectangle, no detection, or a face both wider and taller than half the image unless a face
// detector confirmed it and placed its landmarks (`confirmed`): a head filling the photo is still a face.
[[nodiscard]] bool IsNotRecognised(
    const FaceRect& face, int candidateCount, int imageWidth, int imageHeight, bool confirmed = false);

// In a batch running by itself with "skip what cannot be recognised", failures are logged without a message.
[[nodiscard]] inline bool SilentSkip(bool batchMode, bool autoContinuous, bool skipUnrecognised)
{
    return batchMode && autoContinuous && skipUnrecognised;
}

// The annotation list's line for a saved face image: "<image> 1 0 0 <fw> <fh>\n", where <image> is the image's
// path relative to the list's folder, as cascade-training tools resolve it (the image's own name when it lies
// beside the list), inserted as it is (a '%' in it stays a '%'). An image the folder cannot reach relatively keeps
// its path as given.
[[nodiscard]] std::string FaceAnnotationLine(std::string_view listFolder, std::string_view imagePath, int fw, int fh);

// The message for a detector status other than 0: "自動認識処理が失敗しました。(<status>)".
[[nodiscard]] std::string DetectorFailedMessage(int status);

// Log labels, written between the date and time and the photo's path.
inline constexpr std::string_view kLogLabelInternalError = "  自動顔認識エラー（内部エラー）:  ";
inline constexpr std::string_view kLogLabelNotDetected = "  自動顔認識エラー(非検出):  ";
inline constexpr std::string_view kLogLabelFalseDetection = "  自動顔認識エラー(誤検出):  ";

// Messages.
inline constexpr std::string_view kMessageCascadeMissing = "顔認識用のXMLデータが見つかりません。";
inline constexpr std::string_view kMessageTempNotSaved = "一時保存ファイルの保存に失敗しました。";
inline constexpr std::string_view kMessageNotRecognised = "自動顔認識処理では認識出来ませんでした。";
inline constexpr std::string_view kMessageOversize
    = "自動顔認識処理では認識出来ませんでした。（サイズ過大による誤検出判定）";
inline constexpr std::string_view kMessageFaceNotSaved = "ファイルの保存に失敗しました。";

// Status texts.
inline constexpr std::string_view kStatusRecognising = "自動認識中...";
inline constexpr std::string_view kStatusRedetecting = "自動認識中(再認識)...";
inline constexpr std::string_view kStatusFailed = "自動認識失敗";
inline constexpr std::string_view kStatusDone = "自動認識完了";

// Files of a run.
inline constexpr std::string_view kFaceCascadeFile = "haarcascade_frontalface_default.xml";
inline constexpr std::string_view kChinCascadeFile = "ago.xml";
inline constexpr std::string_view kFaceImageFolder = "認識画像";
inline constexpr std::string_view kFaceAnnotationFile = "positive.txt";

} // namespace vellicam
