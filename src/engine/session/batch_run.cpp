#include "session/batch_run.h"

#include "image/photo.h"
#include "session/session_texts.h"
#include "sheet/output_path.h"
#include "sheet/recognition_log.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

namespace vellicam {

void BatchRun::start(const std::vector<std::string>& photos)
{
    targets_ = std::make_shared<SheetTargets>();
    photos_.clear();
    for (const std::string& photo : photos)
        if (targets_->addPhoto(photo))
            photos_.push_back(photo);
    index_ = 0;
    active_ = true;
    saved_ = skipped_ = failed_ = unrecognised_ = 0;
}

void BatchRun::clear()
{
    photos_.clear();
    targets_ = std::make_shared<SheetTargets>();
    index_ = 0;
    active_ = false;
    saved_ = skipped_ = failed_ = unrecognised_ = 0;
}

bool BatchRun::isDone(const PhotoSession& session, const Settings& settings, const std::string& photo) const
{
    if (!settings.keepExisting)
        return false;
    const std::string sheet = session.sheetPathFor(settings, photo, targets_.get());
    std::error_code ec;
    return !sheet.empty() && std::filesystem::is_regular_file(sheet, ec);
}

bool BatchRun::allDone(const PhotoSession& session, const Settings& settings) const
{
    return std::all_of(
        photos_.cbegin(), photos_.cend(), [&](const std::string& p) { return isDone(session, settings, p); });
}

bool BatchRun::openCurrent(PhotoSession& session, const Settings& settings, bool unattended, Prompts& prompts,
    const Progress& progress, int viewSide)
{
    for (; index_ < size(); ++index_) {
        const std::string& photo = photos_[static_cast<std::size_t>(index_)];
        if (isDone(session, settings, photo)) {
            ++skipped_;
            continue;
        }
        const OpenOutcome opened = session.open(photo, settings.sharpen, progress, viewSide);
        if (!opened.lowResolution.empty() && opened.result != OpenOutcome::NotFound) {
            if (unattended) {
                char size[64];
                std::snprintf(size, sizeof size, "  (%d x %d)", session.photoWidth(), session.photoHeight());
                session.writeLog(
                    settings, LogTimestampNow() + std::string(kLogLabelLowResolution) + photo + size, prompts);
            } else {
                prompts.message(opened.lowResolution);
            }
        }
        if (opened.opened()) {
            session.setSheetTargets(targets_);
            return true;
        }
        // A photo that did not open goes into the error log, so that an unattended run can say afterwards which
        // photos it passed over and why.
        ++failed_;
        lastFailure_ = opened.reason;
        session.writeLog(settings,
            LogTimestampNow() + std::string(kLogLabelLoadError) + photo + "  (" + opened.reason + ")", prompts);
    }
    return false;
}

PhotoStep BatchRun::openNext(
    PhotoSession& session, const Settings& settings, Prompts& prompts, const PhotoStepOptions& options)
{
    PhotoStep step;
    for (;;) {
        if (!openCurrent(session, settings, options.unattended, prompts, {}, options.viewSide))
            return step;
        if (options.opened)
            options.opened(session);
        step.result = PhotoStep::Framed;
        if (!options.recognise)
            return step;
        step.recognised = true;
        step.recognition = session.recognise(settings, options.silentSkip, prompts, options.hooks, options.drawFrame);
        const int result = step.recognition.outcome.result;
        if (result != kRecognised)
            ++unrecognised_;
        if (result != kRecognitionSkippedSilently)
            return step;
        if (options.stopRequested && options.stopRequested()) {
            step.result = PhotoStep::Stopped;
            return step;
        }
        ++skipped_;
        ++step.passedOver;
        stepToNext(session, settings.keepFrame);
        if (atEnd()) {
            // The photo passed over is the one left open: it can still be framed and made by hand.
            step.result = PhotoStep::RanOut;
            return step;
        }
    }
}

void BatchRun::countSheet(int sheetResult)
{
    switch (sheetResult) {
    case SheetOutcome::Saved:
        ++saved_;
        break;
    case SheetOutcome::Abandoned:
        // Given up at the enlargement question, or passed over unattended: no sheet, and no fault either.
        ++skipped_;
        break;
    default:
        ++failed_;
        break;
    }
}

void BatchRun::stepToNext(PhotoSession& session, bool keepAngle)
{
    ++index_;
    if (!atEnd() && !keepAngle)
        session.setAngle(0);
}

SheetOutcome BatchRun::makeSheet(
    PhotoSession& session, const Settings& settings, bool unattended, Prompts& prompts, int previewHeight)
{
    SheetOutcome made = session.makeSheet(settings, unattended, prompts, previewHeight);
    countSheet(made.result);
    stepToNext(session, settings.keepFrame);
    return made;
}

std::string BatchRun::endMessage(const std::string& logPath) const
{
    std::string message;
    if (skipped_ == 0 && failed_ == 0) {
        message = kTextSaved;
    } else {
        char text[160];
        std::snprintf(text, sizeof text, std::string(kTextBatchSummary).c_str(), saved_, skipped_, failed_);
        message = text;
    }
    if (unrecognised_ > 0) {
        char text[160];
        std::snprintf(text, sizeof text, std::string(kTextBatchUnrecognised).c_str(), unrecognised_);
        message += text;
        if (!logPath.empty())
            message += std::string(kTextBatchLogNamed) + logPath;
    }
    return message;
}

PhotoWork WorkPhotoUnattended(const std::string& photo, const Settings& settings, const std::string& programFolder,
    const std::string& sheetPath, bool strict, int threads)
{
    const auto started = std::chrono::steady_clock::now();
    PhotoWork work;
    work.photo = photo;
    const StageRecording recording(work.stages);
    PhotoSession session(programFolder);
    session.setHeadless(true);
    session.setThreads(threads);
    (void)session.setSheetSize(settings);
    session.setLogSink([&work](const std::string& path, const std::string& line) {
        work.logPath = path;
        work.logLines.push_back(line);
    });
    RecordedPrompts prompts(false);
    const auto finish = [&](PhotoWork::Result result, std::string message) {
        work.result = result;
        if (message.empty() && !prompts.messages.empty())
            message = prompts.messages.back();
        // The system's own words after a failed save: which folder, and why.
        if (result == PhotoWork::Failed && !prompts.details.empty())
            message += (message.empty() ? "" : " (") + prompts.details.back() + (message.empty() ? "" : ")");
        work.message = std::move(message);
        work.milliseconds
            = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
        return work;
    };

    std::error_code ec;
    session.setPhotoFolder(std::filesystem::absolute(photo, ec).parent_path().string());
    if (!sheetPath.empty())
        session.planSheetPath(photo, sheetPath);
    BatchRun one;
    one.start({ photo });
    PhotoStepOptions options;
    options.recognise = settings.recogniseOnOpen;
    options.unattended = true;
    options.silentSkip = settings.skipUnrecognised;
    // The view is the working square itself: one view pixel is one image pixel.
    options.opened = [](PhotoSession& opened) {
        const int side = opened.square().Width();
        opened.setView(side, side, side);
        opened.centreMinimumFrame();
    };
    const PhotoStep step = one.openNext(session, settings, prompts, options);
    if (step.passedOver > 0)
        return finish(PhotoWork::Skipped,
            step.recognition.outcome.message.empty() ? std::string(kMessageNotRecognised)
                                                     : step.recognition.outcome.message);
    if (step.result == PhotoStep::RanOut)
        return one.skipped() > 0 ? finish(PhotoWork::Existing, "its sheet exists already")
                                 : finish(PhotoWork::Failed, one.lastFailure());
    if (step.recognised && !step.recognition.framePlaced)
        session.centreMinimumFrame();
    work.angle = session.angle();
    (void)session.frameInImage(work.frame);
    work.checks = session.photoChecks(nullptr, settings.plainBackground);
    if (strict && !ChecksPassed(work.checks)) {
        std::string failed;
        for (const PhotoCheck& c : work.checks)
            if (c.state == CheckState::Failed)
                failed += (failed.empty() ? "" : ", ") + c.id;
        return finish(PhotoWork::Rejected, "fails the checks of its size: " + failed);
    }

    const SheetOutcome sheet = one.makeSheet(session, settings, true, prompts, 0);
    switch (sheet.result) {
    case SheetOutcome::Saved:
        work.sheetPath = sheet.path;
        return finish(PhotoWork::Saved, {});
    case SheetOutcome::Abandoned:
        return finish(PhotoWork::Skipped, "the frame is smaller than a cell");
    default:
        return finish(PhotoWork::Failed, {});
    }
}

} // namespace vellicam
