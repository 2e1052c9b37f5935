// Every setting of the program with its default: the settings dialog's options and the main window's own check
// boxes and output folder. A plain value: the dialog edits a copy, and each action reads the value it needs when it
// starts. The conversions below turn it into what the recognition run and the sheet composition take.
#pragma once

#include "image/bitmap.h"
#include "recognition/recognition_run.h"
#include "sheet/output_path.h"
#include "sheet/sheet_compose.h"
#include "sheet/sheet_layout.h"

#include <string>

namespace vellicam {

// The plain backgrounds offered by name ("白", "薄い青", "薄いグレー"); any other colour can be given too.
inline constexpr Rgb kBackgroundWhite { 255, 255, 255 };
inline constexpr Rgb kBackgroundLightBlue { 0xD8, 0xE8, 0xF8 };
inline constexpr Rgb kBackgroundLightGrey { 0xE4, 0xE4, 0xE4 };

// A background colour as the command line names it: white, blue, grey (or gray), or six hexadecimal digits RRGGBB.
// Returns false for anything else, leaving `colour`.
[[nodiscard]] bool ParseBackgroundColour(const std::string& text, Rgb& colour);

struct Settings {
    // Recognition.
    bool recogniseOnOpen = true; // a photo is recognised as soon as it is opened
    bool skipUnrecognised = false; // an unattended run passes over a photo it cannot recognise without a word
    bool correctHeadTop = true; // the head top is moved to where the background starts
    bool oversizeIsError = true; // a frame over 90 % of the photo counts as a failed recognition
    bool upperHalfOnly = true; // a face whose centre lies in the lower half is not taken
    bool detectChin = true;
    bool showResults = true; // the recognition's outlines and sample marks are drawn on the view
    bool saveFaceImage = false; // each recognised face is saved with an annotation line, for training
    bool straightenAutomatically = false; // the proposed tilt from the eye line is applied before framing
    int minFaceSize = 200; // pixels, 100..1000
    int precision = 3; // 1..10
    int backgroundRatio = 80; // percent, 50..100: the head-top scan's share of background colour
    int colourTolerance = 50; // 0..100: how far a colour may be from the background colour
    bool usePickedColour = false; // the colour picked on the view replaces the sampled one
    Rgb pickedColour = kWhite;

    // The sheet.
    std::string photoSize = "resume"; // the finished photo's size, an id of the size list
    std::string paper = "L"; // the paper's size, an id of the paper list
    int jpegQuality = 90; // 0..100, the sheet and the temporary images
    SheetFormat sheetFormat = SheetFormat::Jpeg; // the sheet's file: a JPEG, or a PDF of the paper's size
    bool centreMarks = true;
    bool cornerMarks = true;
    bool scale = true;
    bool sharpen = true; // the cells and the shown photo are sharpened
    bool keepExisting = false; // a photo whose sheet exists already counts as done
    std::string outputFolder; // the output folder as typed or dropped; empty: beside the photo
    // The sheet's photos get a plain background of this colour outside the person (person_mask.h); off, every sheet
    // is made as it always was.
    bool plainBackground = false;
    Rgb backgroundColour = kBackgroundWhite;
    bool plainBackgroundPicked = false; // the colour picked on the view ("背景色を指定") instead of backgroundColour

    // The main window's working options.
    bool keepFrame = false; // frame and angle carry over to the next photo of a batch
    bool openFolderAfterSheet = false;
    bool continuous = false; // a batch runs through the rest of its photos by itself

    // "設定を記憶する": the dialog's options are kept between runs too, not only the sizes, the sheet's format, the
    // plain background and the photo folder.
    bool rememberSettings = false;

    friend bool operator==(const Settings&, const Settings&) = default;
};

// What a recognition run reads from the settings. `silentSkip` is the batch's decision, not a setting.
[[nodiscard]] RecognitionSettings RecognitionSettingsOf(const Settings& settings, bool silentSkip,
    const std::string& photoFolder, const std::string& photoPath);

// How a sheet is drawn.
[[nodiscard]] SheetOptions SheetOptionsOf(const Settings& settings);

// The sheet's layout for the settings' photo size and paper; the built-in layout when either is not in the lists
// or no photo fits (the result code says which).
[[nodiscard]] int SheetLayoutOf(const Settings& settings, SheetLayout& layout);

} // namespace vellicam
