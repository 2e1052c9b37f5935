// A batch: the photos of a dropped folder (or named on the command line) worked through one after the other. It
// keeps the list and the place in it, passes over photos done and photos that do not open (logging those), counts
// what each photo came to, and says how the batch ended. It is the one driver of every batch: a photo is stepped
// with openNext (open, recognise) and makeSheet (the sheet, its count, the next place and the angle for it), by
// the window (one photo at a time, or a continuous run) and by the command line's workers (WorkPhotoUnattended).
#pragma once

#include "core/stage_times.h"
#include "image/folder_scan.h"
#include "session/photo_session.h"
#include "session/prompts.h"
#include "session/settings.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vellicam {

// How a batch photo is opened and recognised.
struct PhotoStepOptions {
    bool recognise = true; // recognition on opening
    bool unattended = false; // a rough photo's warning goes to the error log instead of `prompts`
    bool silentSkip = false; // a photo recognition cannot read is passed over without a word
    // Called on the photo just opened, before recognition (the command line sets its view there).
    std::function<void(PhotoSession&)> opened;
    int viewSide = 0; // the side of the view the photo will be fitted to (PhotoSession::open), when there is one
    // Asked between photos passed over silently: true stops at the photo in hand.
    std::function<bool()> stopRequested;
    RecognitionHooks hooks;
    std::function<int(const ProposedFramePlacement&)> drawFrame;
};

// What opening the batch's next photo came to.
struct PhotoStep {
    enum Result {
        Framed, // open; recognised, or framed as before (recognition off, or it could not read the photo)
        Stopped, // open, but passed over silently when the stop was asked for: left to be framed by hand
        RanOut, // no photo left that opens; the photo before stays the session's
    };
    Result result = RanOut;
    bool recognised = false; // recognition ran on the photo in hand
    RecognitionReport recognition; // its report
    int passedOver = 0; // photos recognition passed over silently before it
};

class BatchRun {
public:
    // Starts a batch over `photos`, in that order; a file listed twice (in any spelling) is kept once, at its first
    // place.
    void start(const std::vector<std::string>& photos);
    // Ends the batch (or forgets it).
    void clear();
    [[nodiscard]] bool active() const { return active_; }
    [[nodiscard]] int index() const { return index_; }
    [[nodiscard]] int size() const { return static_cast<int>(photos_.size()); }
    [[nodiscard]] const std::vector<std::string>& photos() const { return photos_; }
    [[nodiscard]] bool atEnd() const { return index_ >= size(); }
    // Moves to the next photo.
    void step() { ++index_; }

    // True when `photo` counts as done: "同名のファイルは上書きしない" is on and its sheet exists.
    [[nodiscard]] bool isDone(const PhotoSession& session, const Settings& settings, const std::string& photo) const;
    // True when every photo of the batch counts as done.
    [[nodiscard]] bool allDone(const PhotoSession& session, const Settings& settings) const;

    // Opens the photo at the current place or, passing over photos done and photos that do not open (each logged
    // with its reason), the first after it that opens; false when the list ran out. A photo that does not open
    // leaves the session's photo as it was. A rough photo's warning goes to `prompts`, or, when `unattended`, to the
    // error log. The photo opened belongs to the run: its sheet is never written over a photo of the run or a sheet
    // another photo of the run was given. `viewSide` as PhotoSession::open takes it.
    bool openCurrent(PhotoSession& session, const Settings& settings, bool unattended, Prompts& prompts,
        const Progress& progress = {}, int viewSide = 0);

    // Opens the photo at the batch's place (as openCurrent) and recognises it when `options` say so. A photo
    // recognition passes over silently counts as skipped and the next one opens, unless a stop was asked for.
    // Photos recognition could not read are counted.
    PhotoStep openNext(
        PhotoSession& session, const Settings& settings, Prompts& prompts, const PhotoStepOptions& options);
    // Makes the sheet of the open photo (unattended: no questions), counts what it came to and moves to the next
    // place; the angle goes back to upright for the next photo unless the settings keep it.
    SheetOutcome makeSheet(PhotoSession& session, const Settings& settings, bool unattended, Prompts& prompts,
        int previewHeight = kPreviewHeight);
    // Counts what a sheet action on the batch's photo came to (a SheetOutcome result).
    void countSheet(int sheetResult);
    // Moves past the photo at the batch's place; the angle goes back to upright unless `keepAngle`.
    void stepToNext(PhotoSession& session, bool keepAngle);

    // Why the last photo that did not open failed (OpenOutcome::reason, one line), or "".
    [[nodiscard]] const std::string& lastFailure() const { return lastFailure_; }

    // What each photo came to, for the end of the batch.
    void countSaved() { ++saved_; }
    void countSkipped() { ++skipped_; }
    void countFailed() { ++failed_; }
    // A photo recognition could not find a face on, besides what it came to (framed by hand, or skipped).
    void countUnrecognised() { ++unrecognised_; }
    [[nodiscard]] int saved() const { return saved_; }
    [[nodiscard]] int skipped() const { return skipped_; }
    [[nodiscard]] int failed() const { return failed_; }
    [[nodiscard]] int unrecognised() const { return unrecognised_; }
    // "保存しました。" when every photo worked got a sheet; otherwise the counts. Photos recognition could not
    // read are counted after it, with the error log `logPath` that lists them.
    [[nodiscard]] std::string endMessage(const std::string& logPath = {}) const;

private:
    std::vector<std::string> photos_;
    std::shared_ptr<SheetTargets> targets_ = std::make_shared<SheetTargets>();
    int index_ = 0;
    bool active_ = false;
    int saved_ = 0;
    int skipped_ = 0;
    int failed_ = 0;
    int unrecognised_ = 0;
    std::string lastFailure_;
};

// One photo of an unattended run, from file to saved sheet.
struct PhotoWork {
    // Existing: its sheet was made by an earlier run and kept (the settings keep existing sheets).
    // Rejected: it failed a check of its size and the run was strict, so it got no sheet.
    enum Result { Saved, Skipped, Failed, Existing, Rejected };
    std::string photo;
    Result result = Failed;
    std::string sheetPath; // when saved
    std::string message; // why it got no sheet, or ""
    CropRect frame; // the frame in the working square's pixels, when one was set
    int angle = 0; // the turn applied, tenths of a degree
    std::vector<std::string> logLines; // the error log's lines for this photo, in order
    std::string logPath; // where they belong
    double milliseconds = 0;
    StageTimes stages; // where the time went (the preview's, on the other core, not among it)
    std::vector<PhotoCheck> checks; // the framed photo's checks (PhotoSession::photoChecks), when it was framed
};

// Works `photo` as an unattended run of the window does: opens it (a rough photo logged, not asked about),
// recognises it when the settings say so (a photo that cannot be recognised is skipped when the settings skip
// such photos; otherwise its sheet is cut from the centred minimum frame), makes the sheet without questions and
// saves it (at `sheetPath` when given, the path a batch chose for it beforehand). A photo whose sheet exists when the
// settings keep existing sheets is Existing: done earlier, not passed over. The error log's lines are returned, not
// written. The view is the working square itself: one view pixel is one image pixel. The framed photo is checked
// against its size's rules; with `strict` a photo that fails a check is Rejected, without a sheet. A batch's worker
// keeps to one core; with `threads` 2 the photo is worked as the window works its own (PhotoSession::setThreads).
[[nodiscard]] PhotoWork WorkPhotoUnattended(const std::string& photo, const Settings& settings,
    const std::string& programFolder, const std::string& sheetPath = {}, bool strict = false, int threads = 1);

} // namespace vellicam
