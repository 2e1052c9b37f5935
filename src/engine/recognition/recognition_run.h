// An automatic recognition run on the square working image: the temporary image handed to the detector library,
// the face pass and, when the first answer looks wrong, the re-detection with its candidate choice, the chin (from
// the face's landmarks when the library gives them, else the strip search), the levelling angle from the eye line,
// the classification of the outcome, the saved face image, and the frame proposed from the face. The run shows
// nothing and logs nothing itself: it says what to show and what to log, and the window does so.
// Refuses (kRecognitionBadArguments) an empty working image, empty folders, a non-positive image side, and a
// minimum face size, precision or JPEG quality outside what the settings allow.
#pragma once

#include "image/bitmap.h"
#include "recognition/background_scan.h"
#include "recognition/detector_files.h"
#include "recognition/face_detector.h"
#include "recognition/frame_proposal.h"
#include "recognition/person_mask.h"
#include "recognition/recognition_rules.h"
#include "sheet/recognition_log.h"
#include "sheet/sheet_layout.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vellicam {

struct ReducedPictures;

// Arguments the run cannot work with; never produced by the window's own controls.
inline constexpr int kRecognitionBadArguments = -14;

// A face asked for by its place in the list of confirmed faces (RecognitionSettings::faceIndex) that the list
// does not have.
inline constexpr int kRecognitionNoSuchFace = -15;
inline constexpr std::string_view kMessageNoSuchFace = "指定された顔が見つかりません。";

// When nothing is confirmed at the minimum face size, faces down to the minimum over this are looked for.
inline constexpr int kSmallFaceDivisor = 3;

// The name of the temporary image inside the caller's private folder: a reduced grey copy (detector_image.h).
inline constexpr const char* kRecognitionTempImage = "vellicam_temp.pgm";
// The notice opened when the face cascade is missing.
inline constexpr const char* kRecognitionNotice = "お読み下さい.txt";

// The settings a run reads, with the settings dialog's defaults.
struct RecognitionSettings {
    int minFaceSize = 200; // smallest face, both sides, in image pixels; the chin pass uses an eighth (at least 1)
    int precision = 3; // 1..10
    int jpegQuality = 90; // 0..100, the saved face image
    bool upperHalfOnly = true; // a face whose centre row lies below the middle row is not taken
    bool detectChin = true;
    bool saveFaceImage = false;
    bool oversizeIsError = true; // a frame over 90 % of the image fails the run
    bool correctHeadTop = true;
    int tolerance = 50; // the head-top scan's colour tolerance
    int ratio = 80; // the head-top scan's background share
    bool usePickedColour = false; // the colour the user picked replaces the sampled one
    Rgb pickedColour = kWhite;
    // The confirmed face to frame, by its place in RecognitionOutcome::faces (left to right, from 0); -1 frames
    // the face the run chooses itself. A place the list does not have fails the run (kRecognitionNoSuchFace).
    int faceIndex = -1;
    // The part of the square holding the photo, every pixel outside it black: the reduced pictures read only this
    // part. Empty: the whole square.
    Rect photoArea;
    // The cores the run may use: with two, the person mask is made on the second while the faces are searched on the
    // first (the mask is the same; a photo without a face leaves it unread).
    int threads = 1;
    bool silentSkip = false; // an unattended batch skipping what it cannot recognise: no message, result -9
    // The output folder rule's inputs, for the face image folder, and the photo's path, whose file name the face
    // image takes.
    std::string outputFolderText;
    std::string photoFolder;
    std::string currentPhotoPath;
};

struct RecognitionOutcome;

// The points where a window lets its pending events run, shows progress and waits. All may be empty.
struct RecognitionHooks {
    std::function<void(std::string_view text)> status; // the recognition progress texts (kStatus… of the rules)
    std::function<void(int milliseconds)> pause; // 500 before the first detection, 50 before a face image save
    // Puts the proposed frame on the view; returns 0, or kRecognitionOutOfMemory when its picture cannot be had.
    // Without it the run counts the frame as placed.
    std::function<int(const RecognitionOutcome& outcome)> placeFrame;
};

enum class RecognitionLogKind { None, Internal, NotDetected, FalseDetection };

// A point where the head-top scan sampled the background colour from the image, for the window's blue mark.
struct SamplePoint {
    int x = 0, y = 0;
    friend bool operator==(const SamplePoint&, const SamplePoint&) = default;
};

// A face the detector library confirmed and placed the landmarks of, in pixels of the working image.
struct ConfirmedFace {
    FaceRect box;
    FaceLandmarks points;
};

struct RecognitionOutcome {
    int result = kRecognised;
    std::string message; // for a message box captioned with the window's title; "" when none (also when silent)
    std::string reason; // a technical detail for a terminal (the loader's or the writer's own words), or ""
    RecognitionLogKind log = RecognitionLogKind::None; // the line the window appends through WriteRecognitionLog
    bool cascadeMissing = false; // the window unchecks recognition on load and opens the notice
    std::string noticePath; // the notice where the face cascade belongs, with cascadeMissing

    int imageWidth = 0, imageHeight = 0; // the working image
    int status = 0; // the detector's status as it counted at the end (-7 already taken as 0)
    int candidateCount = 0; // detections the face was chosen from
    FaceRect face; // the face (0, 0, 0, 0 when none)
    bool redetected = false; // the second pass was asked for
    bool chinPassRan = false; // the strip search ran (a library without landmarks)
    int chinStripTop = 0; // the chin strip's top row, when the chin pass ran or the chin came from the landmarks
    bool chinAccepted = false; // a chin was found: the chin line and the chin outlines come from it
    bool chinFromLandmarks = false; // ... and it is the face's own chin point
    ChinDetection chin; // the accepted chin, in strip pixels (from the landmarks: a box centred on the chin point)
    bool landmarks = false; // the library placed the chin and the eyes of the face
    FaceLandmarks points; // those points in pixels of the working image, with landmarks
    bool eyeOpeningKnown = false; // the library said how far open the eyes of that face are
    EyeOpening eyeOpening; // ... and this is it
    bool levellingKnown = false; // the eye line gave the head's tilt
    // The rotation that levels the eyes, in tenths of a degree with the rotation buttons' sign (add it to the
    // rotation angle: StepRotationAngle(angle, levellingAngle)), with levellingKnown; LevellingText shows it.
    int levellingAngle = 0;
    // Every confirmed face of the pass the face was taken from (at most kMaxCandidates), left to right by the box's
    // left edge (then its top); `chosenFace` is the framed one's place in it, -1 when the framed face is none of them.
    std::vector<ConfirmedFace> faces;
    int chosenFace = -1;
    bool proposed = false; // `proposal` holds the frame of the final face
    FrameProposal proposal;
    std::vector<SamplePoint> samples; // every sample point of the run's head-top scans, in order
    std::string faceImagePath; // the face image written, when one was

    // The person mask, asked for when the face was confirmed and the library has one.
    PersonModelState personModel = PersonModelState::NotSupported; // the library's answer for the model file
    int personMaskResult = kPersonMaskNotSupported; // ComputePersonMask's answer, or its region's absence
    PersonMask personRegion; // the region of the chosen face's person (empty when none was found)
    // The mask was made and holds no person where the chosen face is (a dome's round window, a robot): the face is
    // not taken, unless it was the one asked for.
    bool noPersonAtFace = false;
    int maskHeadTop = -1; // the head top the region gives, when believable (the frame is built on it)
    bool otherPeople = false; // somebody else shares the proposed frame with the person (OtherPersonInFrame)
    // The face was found only below the minimum face size (by the run's small-face pass): it is framed, but its
    // print will be soft.
    bool smallFace = false;
};

// Runs a recognition over `square` (the photo centred on its black square; all coordinates are its pixels).
// `files` names the detector library and the cascades (FindDetectorFiles); `tempFolder` is a folder private to the
// caller (mode 0700) where the temporary image is written: never a shared folder, where another user could put a file
// of that name in the way. The detector is given absolute paths, and the process's current directory is not changed.
// `layout` gives the first cell's margins; `imageSide` limits the head-top scan strip (the window's ImageSide).
// A missing library or face cascade is reported with the folders looked in. `pictures`, when given and made for this
// square's size and photo area, stand for the reduced pictures of the square (MakeReducedPictures), which the caller
// knows have not changed since they were made.
[[nodiscard]] RecognitionOutcome RecognitionRun(const Bitmap& square, const DetectorFiles& files,
    const std::string& tempFolder, const RecognitionSettings& settings, const SheetLayout& layout, int imageSide,
    const RecognitionHooks& hooks = {}, const ReducedPictures* pictures = nullptr);
// The same with the files found for a program in `programFolder` (FindDetectorFiles).
[[nodiscard]] RecognitionOutcome RecognitionRun(const Bitmap& square, const std::string& programFolder,
    const std::string& tempFolder, const RecognitionSettings& settings, const SheetLayout& layout, int imageSide,
    const RecognitionHooks& hooks = {}, const ReducedPictures* pictures = nullptr);

} // namespace vellicam
