// One photo being made into ID photographs: the photo as loaded, its working square (turned by the angle), the
// angle, the crop frame, and the view scale the frame is measured in; opening, turning, framing (by hand, by a head
// line, by recognition) and making the sheet. The session shows nothing: it speaks through Prompts, writes the
// error log and the sheet, and returns what happened. The window, the command line and the benchmarks all work a
// photo through it.
//
// The frame is the square's pixels it cuts (frameInImage()); the view shows it at the view's scale (frame(), viewSide
// pixels show imageSide image pixels), the scale every frame rule is defined in. A frame set on the view (a drag, a
// proposal) is taken into square pixels once; a new view (a zoom, a resize) shows the same square pixels anew, so
// nothing the view does wears the frame down. A caller without a view (the command line) sets a view as large as the
// square: one view pixel is then one image pixel.
#pragma once

#include "geometry/head_line.h"
#include "geometry/photo_area.h"
#include "geometry/view_geometry.h"
#include "image/bitmap.h"
#include "image/photo.h"
#include "recognition/recognition_run.h"
#include "recognition/reduced_pictures.h"
#include "resample/progress.h"
#include "session/edit_history.h"
#include "session/photo_checks.h"
#include "session/prompts.h"
#include "session/settings.h"
#include "sheet/output_path.h"
#include "sheet/sheet_compose.h"
#include "sheet/sheet_layout.h"

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vellicam {

struct OpenOutcome {
    // NotFound: no regular file at the path, or one that may not be read; Unreadable: its content is no image that
    // can be read.
    enum Result { Opened = 0, NotFound = -1, Unreadable = -2, TooLarge = -3, OutOfMemory = -4 };
    Result result = Opened;
    std::string failure; // the message that the photo did not open: a first line, the path and the reason
    std::string reason; // the reason alone, one line, for a log line or a report that names the photo itself
    std::string readerMessage; // the reader's own message of a failure to read, as the command line reports it
    EngineError error; // the failure as a value
    std::string lowResolution; // the warning for a rough photo, or "" (the photo opened all the same)
    [[nodiscard]] bool opened() const { return result == Opened; }
};

struct RotateOutcome {
    bool turned = false;
    std::string refusal; // a message when the photo cannot be turned
    std::string status; // the angle panel's text after a turn
};

struct HeadLineOutcome {
    HeadLineAngle line;
    int proposal = 0; // the turn the line proposes, 0 for none (a vertical line proposes none)
    std::string angleStatus; // the angle panel's text
    std::string pointsStatus; // the position panel's text
};

struct RecognitionReport {
    RecognitionOutcome outcome;
    bool framePlaced = false;
    ProposedFramePlacement placement; // the proposed frame on the view with its result outlines
    std::string statusText; // the angle panel's text of a placed proposal
    std::string faceHeightText; // the face-height check of the placed frame (faceHeightText()), or ""
    std::string outsideText; // the warning that the placed frame takes in more than the photo, or ""
    std::string logLine; // the line written to the error log, or ""
    std::string levellingText; // the tilt the eye line shows, for the angle panel, or "" when unknown
    bool turned = false; // the photo was turned level before its frame was proposed
    RotateOutcome turn; // that turn's outcome
};

// Texts of one status panel side by side, joined by a wide space; empty ones are left out.
[[nodiscard]] std::string PanelText(std::initializer_list<std::string_view> parts);
// The angle panel's text after a recognition run: the run's last status word, then the face-height check of the
// placed frame, the warning of a frame that takes in more than the photo, the tilt the eye line shows and that
// somebody else shares the frame, each when known.
[[nodiscard]] std::string RecognitionPanelText(std::string_view runStatus, const RecognitionReport& report);

struct SheetOutcome {
    enum Result { Saved = 0, Composed = 1, Abandoned = -1, NotDrawn = -2, NoCut = -3, SaveFailed = -4 };
    Result result = NotDrawn;
    std::string path; // the sheet written, when saved
    std::string status; // the guidance panel's text after a save, or its short form of a failed save
    std::string failure; // the message of a failed save (SheetSaveFailureText), "" otherwise
    bool hasPreview = false;
};

class PhotoSession {
public:
    // The detector library and its cascades are searched from `programFolder`: beside the program, then in the
    // installed tree (FindDetectorFiles).
    explicit PhotoSession(std::string programFolder = {});

    // --- The photo ---
    // Opens the photo at `path`, JPEG, PNG or PPM by its content (LoadImage; a photo already open under that path is
    // kept as it is): the working square is built, the angle the session holds is applied, and the frame waits for
    // the next view. Keeps the previous photo when the new one does not open, and says why in the outcome.
    // `sharpenView` sharpens the shown image after a turn. With `viewSide`, the side the photo will next be fitted to
    // (fitShownImage), that fitted image is made while the photo decodes, on a second core when the session has one.
    OpenOutcome open(const std::string& path, bool sharpenView, const Progress& progress = {}, int viewSide = 0);
    // Takes a photo decoded elsewhere (any image format) as if it had been opened from `path`.
    OpenOutcome adopt(const std::string& path, Bitmap photo, bool sharpenView, const Progress& progress = {});
    // Nobody looks at this session's photo (a batch's worker): a turn makes no view image. The square, the frames and
    // the sheets are the same bytes.
    void setHeadless(bool headless) { headless_ = headless; }
    // The cores this session's actions may use (1 or 2; at most what the machine has): with two, a recognition makes
    // the person mask on the second while it searches the faces, and a sheet's cells are reduced on both. A batch's
    // worker keeps to the one core it was given; the window's photo has the machine to itself.
    void setThreads(int threads);
    // With two cores a JPEG is opened by two decoders, the second taking its lower rows, unless the caller keeps the
    // other core busy meanwhile (the command line reads the detector's models while it opens the photo): one decoder
    // then, with the recognition's pictures still made on the other core as its rows come.
    void setOtherCoreBusyWhileOpening(bool busy) { otherCoreBusy_ = busy; }
    // The photo's size as opened (upright).
    [[nodiscard]] int photoWidth() const { return photoWidth_; }
    [[nodiscard]] int photoHeight() const { return photoHeight_; }
    // Forgets the photo, the frame and the angle.
    void close();
    [[nodiscard]] bool hasPhoto() const { return !photoPath_.empty(); }
    [[nodiscard]] const std::string& photoPath() const { return photoPath_; }
    // Where sheets go when no output folder is given, with its trailing '/': the folder of the last photo chosen,
    // or the folder dropped for a batch.
    [[nodiscard]] const std::string& photoFolder() const { return photoFolder_; }
    void setPhotoFolder(const std::string& folder);
    // The photo as opened, apart from its square: a photo opened from a file is decoded straight into its working
    // square and kept nowhere else, so this stays empty until a turn needs the photo and takes it out of the square
    // (a photo adopted keeps it from the start).
    [[nodiscard]] const Bitmap& original() const { return original_; }
    [[nodiscard]] const Bitmap& square() const { return square_; }
    // The turned square the view shows (sharpened when asked) once the photo has been turned; before, the photo
    // apart from its square (original(), empty for a photo opened from a file: the view then shows the photo's part
    // of the square, see fitShownImage).
    [[nodiscard]] const Bitmap& shownImage() const { return turned_ ? shown_ : original_; }
    // Fits the shown image into a side × side view (reduced in high quality, or stretched where that refuses).
    [[nodiscard]] int fitShownImage(
        int side, Bitmap& fitted, std::string* reductionMessage = nullptr, const Progress& progress = {}) const;

    // --- Turning ---
    [[nodiscard]] int angle() const { return angle_; }
    // Sets the angle for the next open without turning anything (a new photo, "選択範囲/回転を保持する").
    void setAngle(int angle) { angle_ = angle; }
    // Turns the photo: a step in tenths of a degree, 0 with `reset` for upright. Refused for a photo too large to
    // turn; the photo and the angle stay then.
    RotateOutcome rotateBy(int step, bool reset, bool sharpenView, const Progress& progress = {});
    // Turns the photo to `angle`.
    RotateOutcome rotateTo(int angle, bool sharpenView, const Progress& progress = {});
    [[nodiscard]] bool tooLargeToTurn() const;

    // --- The sheet's layout and the frame's limits ---
    [[nodiscard]] const SheetLayout& layout() const { return layout_; }
    // A layout of the caller's own; the photo size and paper named for it stay as they were.
    void setLayout(const SheetLayout& layout);
    [[nodiscard]] const FrameLimits& limits() const { return limits_; }
    // The layout of the settings' photo size and paper (SheetLayoutOf), with the limits that follow from it. The
    // frame stays as it is: it has the old aspect until the caller makes it anew. Returns SheetLayoutOf's code; on a
    // refusal the built-in layout and the default size and paper are in use.
    int setSheetSize(const Settings& settings);
    // The photo size and paper of the layout in use, and what the window says of them.
    [[nodiscard]] const PhotoSize& photoSize() const { return *photoSize_; }
    [[nodiscard]] const PaperSize& paper() const { return *paper_; }
    [[nodiscard]] std::string layoutStatusText() const;
    // True when the settings name the photo size and paper in use (nothing to rebuild).
    [[nodiscard]] bool hasSheetSize(const Settings& settings) const;

    // --- The view and the frame ---
    // The view shows the image (longer side imageSide) on a viewSide square; the view image is viewWidth × viewHeight.
    void setView(int viewSide, int viewWidth, int viewHeight);
    [[nodiscard]] int viewSide() const { return viewSide_; }
    [[nodiscard]] int imageSide() const { return imageSide_; }
    [[nodiscard]] ViewFrameLimits viewLimits() const;
    [[nodiscard]] bool hasFrame() const { return hasFrame_; }
    [[nodiscard]] const ControlBounds& frame() const { return frame_; }
    void setFrame(const ControlBounds& frame);
    void clearFrame() { hasFrame_ = false; }
    // The minimum frame centred on the view; the face of the frame before is forgotten.
    void centreMinimumFrame();
    // The frame made anew for the layout in use (after a new photo size): around the known face by the head line's
    // rule, so that its head top and chin sit at the new cell's margins; the centred minimum frame without a face.
    // Put on the photo's own pixels like every proposed frame.
    void remakeFrame();

    // --- The photo's own pixels ---
    // Every frame the session proposes (recognition, a head line, a new photo size) is moved, never shrunk, to lie
    // on the photo's own pixels in the square, away from its black padding and the corners a turn leaves black.
    // A frame that cannot lie there stays where it was proposed, and is warned of until it is changed so that it
    // lies on the photo; frames moved by hand are left where the user puts them.
    [[nodiscard]] PhotoArea photoArea() const;
    // True while the proposed frame could not be put on the photo and still takes in more than the photo.
    [[nodiscard]] bool frameOutsidePhoto() const;
    // True when the last frame proposed could not be put on the photo, whatever was done to it since.
    [[nodiscard]] bool proposedOutside() const { return proposedOutside_; }
    // The warning for the angle panel ("写真の外側が含まれます"), or "".
    [[nodiscard]] std::string frameOutsideText() const;
    // The angle panel's text after a change of the frame: the face-height check and the warning, each when known.
    [[nodiscard]] std::string framePanelText() const;
    // Nobody answers the sheet's question about a frame that takes in more than the photo while this is on (the
    // window's continuous run, whose other questions still follow makeSheet's `unattended`): it is logged instead.
    void setOutsideLogged(bool logged) { outsideLogged_ = logged; }
    // The frame in square pixels, as the sheet cuts it.
    [[nodiscard]] int frameInImage(CropRect& crop) const;
    // Puts the frame over the part of the square `crop` names (as frameInImage gave it), at the view's present
    // scale: the place to the nearest view pixel, the size rounded up so that the cut never shrinks, within the
    // view's frame limits. A view of another size (a resize of the window) keeps the user's frame this way.
    void setFrameInImage(const CropRect& crop);

    // --- Taking back ---
    // The frame and turn as they are now.
    [[nodiscard]] FrameAndTurn frameAndTurn() const;
    // Remembers the frame and turn as they are, before a change the user can take back (a move, a resize, a head
    // line, a turn, a recognition); a new photo forgets them.
    void rememberEdit() { history_.remember(frameAndTurn()); }
    [[nodiscard]] bool canUndo() const { return history_.canUndo(frameAndTurn()); }
    [[nodiscard]] bool canRedo() const { return history_.canRedo(); }
    // The state to go back to, or to go forward to again: the caller turns the photo to its angle (rotateTo), then
    // puts its frame back with restoreFrame.
    [[nodiscard]] std::optional<FrameAndTurn> takeUndo() { return history_.undo(frameAndTurn()); }
    [[nodiscard]] std::optional<FrameAndTurn> takeRedo() { return history_.redo(frameAndTurn()); }
    void restoreFrame(const FrameAndTurn& state);

    // --- The head line ---
    // The line from the head top to (x, y) while it is dragged; remembers its proposal.
    HeadLineOutcome followHeadLine(int sx, int sy, int x, int y);
    [[nodiscard]] int headLineProposal() const { return headLineProposal_; }
    // The line released at (ex, ey): its proposal from the line alone (0 for a vertical line or a click without a
    // drag), kept for acceptHeadLineProposal.
    int releaseHeadLine(int sx, int sy, int ex, int ey);
    // The frame set by the finished line; false (frame unchanged) when the line sets none.
    bool frameFromHeadLine(int sx, int sy, int ex, int ey);
    // Turns by the line's proposal (after the user agreed).
    RotateOutcome acceptHeadLineProposal(bool sharpenView, const Progress& progress = {});

    // --- The face-height check ---
    // The face's head top and chin in square rows, as the last frame from recognition or a head line found them;
    // the frame may be moved and resized by hand afterwards and the face stays. Forgotten with the photo, a turn
    // and a centred frame.
    [[nodiscard]] bool knowsFace() const { return hasFace_; }
    // The face as it will print in the frame as it is now, against the photo size's rule; false (check untouched)
    // when no face is known or the figure cannot be had (no frame, a chin not below the head top).
    [[nodiscard]] bool faceHeightCheck(FaceHeightCheck& check) const;
    // Its text ("顔の高さ 34.1mm ✓"), or "" without one.
    [[nodiscard]] std::string faceHeightText() const;

    // --- The photo's rule check ---
    // The framed photo against the size in use (CheckPhoto): the face height and head space from the known face,
    // the rest from the last recognition's landmarks, face box and eye opening on this photo (carried through any
    // turn since), and the square's colours. `mask` (the person over the square, optional) gives the background;
    // `backgroundReplaced` says the background will be painted plain. Every check is Unknown without a frame.
    [[nodiscard]] std::vector<PhotoCheck> photoChecks(
        const MaskView* mask = nullptr, bool backgroundReplaced = false) const;

    // --- Recognition ---
    // Runs recognition on the square and, when a face was found, places the proposed frame. The error log gets
    // its line first; messages of the run go to `prompts` (none when skipped silently). `drawFrame` (optional)
    // lets the window draw the frame's picture and may refuse it (out of memory). With "傾きを自動で補正する" a
    // face whose eyes are not level is first turned level (one turn, as the rotation buttons turn) and recognised
    // again, so the frame is proposed on the levelled photo.
    RecognitionReport recognise(const Settings& settings, bool silentSkip, Prompts& prompts,
        const RecognitionHooks& hooks = {}, const std::function<int(const ProposedFramePlacement&)>& drawFrame = {});
    // The same, framing the confirmed face at `faceIndex` of the list (left to right, from 0) instead of the face
    // recognition chooses; -1 is that choice. A place the list does not have fails with kRecognitionNoSuchFace.
    RecognitionReport recogniseFace(int faceIndex, const Settings& settings, bool silentSkip, Prompts& prompts,
        const RecognitionHooks& hooks = {}, const std::function<int(const ProposedFramePlacement&)>& drawFrame = {});
    // The confirmed faces of the last recognition that placed a frame on this photo, left to right as it found
    // them, in square pixels of the photo as it is turned now (a box keeps its size and turns about its centre),
    // and the framed one's place among them (-1: none of them). Empty before a recognition and after another photo.
    [[nodiscard]] std::vector<ConfirmedFace> recognisedFaces() const;
    [[nodiscard]] int chosenFace() const { return recognisedFace_ ? recognised_.chosenFace : -1; }
    // The outlines of the confirmed faces other than the framed one on a view mapped by `view` (right and bottom
    // exclusive), with each face's place in recognisedFaces(); none unless the last recognition confirmed more
    // than one face.
    struct FaceOutline {
        int face = -1;
        Rect rect;
    };
    [[nodiscard]] std::vector<FaceOutline> otherFaceOutlines(const ViewMapping& view) const;
    // The place of the face whose outline holds the view point (x, y), or -1.
    [[nodiscard]] int otherFaceAt(const ViewMapping& view, int x, int y) const;

    // --- The sheet ---
    // Where this photo's sheet goes (OutputPath, with the size tag of the layout in use and the run's files kept
    // clear of), and the error log beside it.
    [[nodiscard]] std::string sheetPath(const Settings& settings) const;
    // Where the sheet of `photo` (not necessarily open) would go, keeping clear of `run` when given.
    [[nodiscard]] std::string sheetPathFor(
        const Settings& settings, const std::string& photo, const SheetTargets* run = nullptr) const;
    // What the layout in use adds to a sheet's name ("" for the default size and paper).
    [[nodiscard]] std::string sheetSizeTag() const;
    // The run the open photo belongs to: its sheet keeps clear of the run's photos and of the sheets given to its
    // other photos, and the sheet saved is claimed in it. Opening another photo or closing ends it.
    void setSheetTargets(std::shared_ptr<SheetTargets> run) { sheetTargets_ = std::move(run); }
    // The sheet path a batch chose for `photo` beforehand (the command line's batch names every sheet before its
    // workers start, so that parallel workers never race for a name).
    void planSheetPath(std::string photo, std::string path)
    {
        plannedPhoto_ = std::move(photo);
        plannedSheet_ = std::move(path);
    }
    [[nodiscard]] std::string logPath(const Settings& settings) const;
    // The separator that opens a sheet action in the error log (only when the log exists).
    void startSheetAction(const Settings& settings, Prompts& prompts) const;
    // Cuts the frame, composes and saves the sheet and reduces it for the preview. Questions (enlarging, a refused
    // reduction) go to `prompts` unless `unattended`, which passes over such a photo without a sheet; a frame that
    // takes in more than the photo is asked about once, or, unattended, logged and saved all the same. The saved
    // sheet's preview is `preview()` afterwards; a previewHeight of 0 makes none.
    SheetOutcome makeSheet(const Settings& settings, bool unattended, Prompts& prompts,
        int previewHeight = kPreviewHeight, const Progress& progress = {});
    // The sheet's first half: cut and compose (with the same questions), nothing saved; `sheet()` holds it after
    // Composed.
    SheetOutcome composeSheet(
        const Settings& settings, bool unattended, Prompts& prompts, const Progress& progress = {});
    [[nodiscard]] const Bitmap& sheet() const { return *sheet_; }
    [[nodiscard]] const Bitmap& preview() const { return preview_; }
    // The frame's pixels cut out for the last sheet, when they were (a plain background is painted on them, a frame
    // past the square's edge is stretched in them); a frame that lies on the square is composed straight from it and
    // leaves this empty.
    [[nodiscard]] const Bitmap& cut() const { return cut_; }
    // The size of the photo the last sheet was cut to, whether from a cut or straight from the square.
    [[nodiscard]] Size cutSize() const { return cutSize_; }
    // Drops the sheet's bitmaps (a batch keeps one photo's memory at a time).
    void releaseSheet();
    // The last sheet saved by this session, whatever photo is open since, with the paper it was made for: what
    // "印刷" prints. Empty before the first sheet; kept by releaseSheet, a new photo and close.
    struct SavedSheet {
        std::shared_ptr<const Bitmap> sheet;
        const PaperSize* paper = nullptr;
    };
    [[nodiscard]] const SavedSheet& lastSheet() const { return lastSheet_; }

    // Writes a line to the error log; a failure's message goes to `prompts`.
    void writeLog(const Settings& settings, const std::string& line, Prompts& prompts) const;
    // Sends the error log's lines (with the log's path) to `sink` instead of the file: a batch working photos in
    // parallel writes them itself, in the photos' order. An empty sink writes to the file again.
    void setLogSink(std::function<void(const std::string& path, const std::string& line)> sink)
    {
        logSink_ = std::move(sink);
    }

private:
    int turnSquare(int angle, bool sharpenView, const Progress& progress);
    // An open from a file: the photo decoded straight into its square.
    OpenOutcome openIntoSquare(const std::string& path, bool sharpenView, const Progress& progress, int viewSide);
    // Makes `original` and `square` the session's photo (the rest of adopt and openIntoSquare).
    void takePhoto(const std::string& path, Bitmap original, Bitmap square, int width, int height, bool sharpenView,
        const Progress& progress);
    // One recognition run over the square; `place` decides whether its proposal becomes the frame.
    RecognitionOutcome runRecognition(const Settings& settings, bool silentSkip, Prompts& prompts,
        const RecognitionHooks& hooks, bool place, RecognitionReport& report,
        const std::function<int(const ProposedFramePlacement&)>& drawFrame, int faceIndex);
    // A point of the last recognition's square where it lies on the square as it is turned now.
    void turnRecognisedPoint(double x, double y, double& tx, double& ty) const;
    // A row or column on the view as one of the square, at the scale the frame is cut at, and back.
    [[nodiscard]] int squareRowOf(int viewRow) const;
    [[nodiscard]] int viewRowOf(int squareRow) const;
    // The frame of the head line from (sx, sy) to (ex, ey) on the view; false (frame unchanged) when it sets none.
    bool frameAroundLine(int sx, int sy, int ex, int ey);
    // Where `crop` (square pixels) shows on the view: its place to the nearest view pixel, its size the smallest
    // that cuts at least as much.
    [[nodiscard]] ControlBounds viewBoundsOf(const CropRect& crop) const;
    // Moves a proposed frame onto the photo's own pixels, or notes that it cannot lie there.
    void putProposedFrameOnPhoto();
    // The square changed: what was made of it while it decoded no longer stands for it.
    void forgetPicturesOfSquare();

    std::string programFolder_;
    std::string photoPath_;
    std::string photoFolder_;
    Bitmap original_;
    Bitmap square_;
    // The square's reduced pictures, made while an open decoded the photo into it (on a second core), until the
    // square changes.
    std::unique_ptr<ReducedPictures> picturesOfSquare_;
    Bitmap fittedOfSquare_; // the photo fitted to a view fittedSide_ on a side, made with them
    int fittedSide_ = 0;
    bool headless_ = false;
    bool otherCoreBusy_ = false; // setOtherCoreBusyWhileOpening
    int threads_ = 1; // setThreads; two from the start on a machine that has them
    int photoWidth_ = 0;
    int photoHeight_ = 0;
    Bitmap shown_;
    bool turned_ = false;
    int angle_ = 0;
    int turnedBy_ = 0; // the angle the square was last turned by, with turned_
    int headLineProposal_ = 0;

    SheetLayout layout_;
    FrameLimits limits_;
    const PhotoSize* photoSize_ = &DefaultPhotoSize();
    const PaperSize* paper_ = &DefaultPaperSize();
    bool hasFace_ = false;
    int faceTop_ = 0; // square rows
    int faceChin_ = 0;
    int faceCentre_ = 0; // square column
    // The last recognition's face on this photo, in square pixels at the angle it ran at: kept through turns (its
    // points are turned with the square when checked) until another photo is opened.
    bool recognisedFace_ = false;
    int recognisedAngle_ = 0;
    RecognitionOutcome recognised_;
    int viewSide_ = 0;
    int imageSide_ = 0;
    int viewWidth_ = 0;
    int viewHeight_ = 0;
    ControlBounds frame_; // on the view
    EditHistory history_;
    bool hasFrame_ = false;
    CropRect frameSquare_; // the truth: the square's pixels the frame cuts
    int frameSquareResult_ = kCropEmptyFrame;
    bool proposedOutside_ = false;
    bool outsideLogged_ = false;

    std::function<void(const std::string&, const std::string&)> logSink_;
    std::shared_ptr<SheetTargets> sheetTargets_;
    std::string plannedPhoto_;
    std::string plannedSheet_;
    Bitmap cut_;
    Size cutSize_;
    // Shared with lastSheet_ once saved, instead of copied: a new sheet is drawn in a bitmap of its own, the one the
    // sheet saved before had when nothing holds it any more (spareSheet_).
    std::shared_ptr<Bitmap> sheet_ = std::make_shared<Bitmap>();
    std::shared_ptr<Bitmap> savedSheet_; // lastSheet_'s bitmap
    std::shared_ptr<Bitmap> spareSheet_;
    Bitmap preview_;
    SavedSheet lastSheet_;
};

} // namespace vellicam
