// An automatic recognition run.
#include "recognition/recognition_run.h"

#include "recognition/face_detector.h"
#include "image/image_io.h"
#include "sheet/output_path.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace vellicam {

namespace {

namespace fs = std::filesystem;

std::string Join(const std::string& folder, std::string_view name)
{
    std::string path = folder;
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += name;
    return path;
}

// A path the detector can open whatever the current directory is.
std::string Absolute(const std::string& path)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    return ec ? path : absolute.string();
}

// " (looked in A or B)", for a piece that is in none of the folders.
std::string LookedIn(const std::vector<std::string>& folders)
{
    return folders.empty() ? std::string() : " (looked in " + FolderList(folders) + ")";
}

bool ArgumentsUsable(const Bitmap& square, const DetectorFiles& files, const std::string& tempFolder,
    const RecognitionSettings& s, int imageSide)
{
    return !square.Empty() && !files.library.empty() && !files.faceCascade.empty() && !tempFolder.empty()
        && imageSide > 0 && s.minFaceSize >= 1 && s.precision >= 1 && s.precision <= 10 && s.jpegQuality >= 0
        && s.jpegQuality <= 100;
}

class Run {
public:
    Run(const Bitmap& square, const RecognitionSettings& settings, const SheetLayout& layout, int imageSide,
        const RecognitionHooks& hooks, RecognitionOutcome& outcome)
        : square_(square)
        , settings_(settings)
        , proposalSettings_(ProposalSettingsOf(layout, settings.correctHeadTop))
        , imageSide_(imageSide)
        , hooks_(hooks)
        , out_(outcome)
    {
        scanner_ = [this](int a, int b, int y0) {
            const HeadTopScan scan = ScanHeadTop(a, b, y0, square_, settings_.tolerance, settings_.ratio,
                settings_.usePickedColour, settings_.pickedColour);
            if (scan.sampled)
                out_.samples.push_back({ scan.sx, scan.sy });
            return scan.row;
        };
    }

    void Status(std::string_view text)
    {
        if (hooks_.status)
            hooks_.status(text);
        Pump();
    }
    void Pump()
    {
        if (hooks_.pump)
            hooks_.pump();
    }
    void Pause(int milliseconds)
    {
        if (hooks_.pause)
            hooks_.pause(milliseconds);
    }

    bool Plausible(const FaceRect& face)
    {
        return IsPlausibleFace(face, out_.W, out_.H, imageSide_, proposalSettings_, scanner_);
    }

    int Fail(int result, std::string message, std::string reason = {})
    {
        out_.result = result;
        out_.message = std::move(message);
        out_.reason = std::move(reason);
        return result;
    }

    // The library's part: face pass, re-detection, chin pass. Returns 0, or the code of the first call that
    // could not be made; the library is released by the caller's FaceDetector either way.
    int Detect(FaceDetector& detector, const std::string& tempPath, const std::string& faceCascade,
        const std::string& chinCascade)
    {
        const RecognitionSettings& s = settings_;
        const int m = s.minFaceSize;
        int rc = detector.SetMinSize(m, m);
        int status = 0;
        if (rc == kDetectorOk)
            rc = detector.Detect(tempPath, faceCascade, 0, s.precision, status);
        if (rc == kDetectorOk)
            rc = detector.Count(out_.n);
        if (rc == kDetectorOk)
            rc = detector.Detection(0, out_.face);
        if (rc != kDetectorOk)
            return rc;
        out_.status = EffectiveDetectorStatus(status);

        // Every test is made, the plausibility scan included, whatever the first one says: each scan leaves its
        // sample mark on the view.
        const bool plausible = Plausible(out_.face);
        if (NeedsRedetection(out_.n, out_.face, out_.W, out_.H, s.upperHalfOnly, plausible)) {
            out_.redetected = true;
            Status(kStatusRedetecting);
            int second = 0;
            rc = detector.Detect(tempPath, faceCascade, 1, s.precision, second);
            int k = 0;
            if (rc == kDetectorOk)
                rc = detector.Count(k);
            if (rc != kDetectorOk)
                return rc;
            // Only a second "nothing searched" clears the first status; any other second status goes unused.
            if (second == kDetectorNothingFound)
                out_.status = 0;
            if (k > 0) {
                std::vector<FaceRect> candidates(static_cast<std::size_t>(std::min(k, kMaxCandidates)));
                for (std::size_t i = 0; i < candidates.size(); ++i)
                    if ((rc = detector.Detection(static_cast<int>(i), candidates[i])) != kDetectorOk)
                        return rc;
                const int best = ChooseCandidate(
                    candidates, out_.W, out_.H, s.upperHalfOnly, [this](const FaceRect& c) { return Plausible(c); });
                if (best >= 0) {
                    out_.face = candidates[static_cast<std::size_t>(best)];
                    out_.status = 0;
                    out_.n = static_cast<int>(candidates.size());
                }
            }
        }

        const int fw = out_.face.x2 - out_.face.x1, fh = out_.face.y2 - out_.face.y1;
        // An empty face has no strip to cut; trying would fail the save and turn "no face" into a write error.
        if (!s.detectChin || fw <= 0 || fh <= 0)
            return kDetectorOk;
        out_.chinPassRan = true;
        out_.ct = ChinStripTop(out_.face, out_.H);
        Bitmap strip;
        // Parts of the strip outside the image stay black, as the face rectangle may reach past an edge.
        if (!strip.Resize(fw, fh)) {
            out_.reason = "no memory for the chin strip";
            return kRecognitionTempNotSaved;
        }
        CopyRect(square_, { out_.face.x1, out_.ct, out_.face.x2, out_.ct + fh }, strip, 0, 0);
        if (const IoResult saved = SaveJpeg(tempPath, strip, { s.jpegQuality, 0 }); !saved) {
            out_.reason = saved.message;
            return kRecognitionTempNotSaved;
        }
        rc = detector.SetMinSize(m / 8, m / 8);
        int chinStatus = 0; // not used: a failed chin pass just leaves the estimate
        if (rc == kDetectorOk)
            rc = detector.Detect(tempPath, chinCascade, 0, s.precision, chinStatus);
        int cn = 0;
        if (rc == kDetectorOk)
            rc = detector.Count(cn);
        if (rc == kDetectorOk && cn > 0) {
            ChinDetection chin;
            FaceRect c;
            rc = detector.Detection(0, c);
            chin.ct = out_.ct;
            chin.cx1 = c.x1;
            chin.cy1 = c.y1;
            chin.cx2 = c.x2;
            chin.cy2 = c.y2;
            if (rc == kDetectorOk && AcceptChin(out_.ct, c.y1, c.y2, out_.face)) {
                out_.chinAccepted = true;
                out_.chin = chin;
            }
        }
        return rc;
    }

    // Saves the face as a JPEG named after the photo in the face image folder and appends its annotation line.
    int SaveFaceImage()
    {
        const RecognitionSettings& s = settings_;
        Pump();
        Pause(50);
        const FaceRect& f = out_.face;
        const int fw = f.x2 - f.x1, fh = f.y2 - f.y1;
        const std::string base = OutputFolder(s.outputFolderText, s.photoFolder);
        const std::string folder = base + std::string(kFaceImageFolder);
        const std::string file = folder + "/" + FileNameOf(s.currentPhotoPath);
        std::string reason;
        Bitmap face;
        if (EnsureFolder(folder, &reason) != 0)
            return Fail(kRecognitionFaceNotSaved, std::string(kMessageFaceNotSaved), folder + ": " + reason);
        if (FileNameOf(s.currentPhotoPath).empty())
            return Fail(kRecognitionFaceNotSaved, std::string(kMessageFaceNotSaved), "the photo has no file name");
        if (!face.Resize(fw, fh))
            return Fail(kRecognitionFaceNotSaved, std::string(kMessageFaceNotSaved), "no face image to save");
        CopyRect(square_, { f.x1, f.y1, f.x2, f.y2 }, face, 0, 0);
        if (const IoResult saved = SaveJpeg(file, face, { s.jpegQuality, 0 }); !saved)
            return Fail(kRecognitionFaceNotSaved, std::string(kMessageFaceNotSaved), saved.message);
        out_.faceImagePath = file;
        // The annotation list is a convenience: a list that cannot be opened does not fail the run.
        if (std::ofstream list(Join(folder, kFaceAnnotationFile), std::ios::app | std::ios::binary); list)
            list << FaceAnnotationLine(folder, file, fw, fh);
        return kRecognised;
    }

    void Execute(const DetectorFiles& files, const std::string& tempFolder)
    {
        const RecognitionSettings& s = settings_;
        out_.W = square_.Width();
        out_.H = square_.Height();
        Status(kStatusRecognising);

        const std::string faceCascade = Absolute(files.faceCascade);
        std::error_code ec;
        if (!fs::is_regular_file(faceCascade, ec)) {
            out_.cascadeMissing = true;
            out_.noticePath = Absolute(files.notice);
            Fail(kRecognitionCascadeMissing, std::string(kMessageCascadeMissing),
                faceCascade + ": no such file" + LookedIn(files.dataFolders));
            return;
        }

        const std::string tempPath = Join(Absolute(tempFolder), kRecognitionTempImage);
        if (const IoResult saved = SaveJpeg(tempPath, square_, { s.jpegQuality, 0 }); !saved) {
            Fail(kRecognitionTempNotSaved, std::string(kMessageTempNotSaved), saved.message);
            return;
        }

        int rc = kDetectorOk;
        {
            FaceDetector detector;
            const std::string library = Absolute(files.library);
            rc = detector.Load(library);
            if (rc == kDetectorOk) {
                Pump();
                Pause(500);
                rc = Detect(detector, tempPath, faceCascade, Absolute(files.chinCascade));
            }
            if (rc != kDetectorOk && rc != kRecognitionTempNotSaved)
                out_.reason = detector.Reason();
            if (rc == kDetectorNotLoaded && !fs::exists(library, ec))
                out_.reason += LookedIn(files.libraryFolders);
        } // the library is released here, before anything is shown
        if (rc == kRecognitionTempNotSaved) {
            Fail(rc, std::string(kMessageTempNotSaved), out_.reason);
            return;
        }
        if (rc != kDetectorOk) {
            Fail(rc, FaceDetectorMessage(rc), out_.reason);
            return;
        }

        if (out_.status != 0) {
            out_.log = RecognitionLogKind::Internal;
            Fail(kRecognitionInternalError, s.silentSkip ? std::string() : DetectorFailedMessage(out_.status));
            Status(kStatusFailed);
            return;
        }
        if (IsNotRecognised(out_.face, out_.n, out_.W, out_.H)) {
            out_.log = RecognitionLogKind::NotDetected;
            NotRecognised(kMessageNotRecognised);
            return;
        }
        if (s.saveFaceImage && SaveFaceImage() != kRecognised)
            return;

        const int proposed = ProposeFrame(out_.face, out_.chinAccepted ? &out_.chin : nullptr, imageSide_,
            proposalSettings_, scanner_, out_.proposal);
        out_.proposed = proposed == kProposed;
        // A face so far out that no frame can be computed for it is as false a detection as an oversize frame,
        // whatever the oversize setting says: there is nothing to place.
        if (!out_.proposed || (s.oversizeIsError && Oversize(out_.proposal.w, out_.proposal.h, out_.W, out_.H))) {
            out_.log = RecognitionLogKind::FalseDetection;
            NotRecognised(kMessageOversize);
            return;
        }
        if (hooks_.placeFrame) {
            if (const int placed = hooks_.placeFrame(out_); placed != kRecognised) {
                Fail(placed, {});
                return;
            }
        }
        out_.result = kRecognised;
        Status(kStatusDone);
    }

private:
    void NotRecognised(std::string_view message)
    {
        // A silent skip leaves the status bar, like everything else on screen, to the batch.
        if (settings_.silentSkip) {
            Fail(kRecognitionSkippedSilently, {});
            return;
        }
        Fail(kRecognitionNotRecognised, std::string(message));
        Status(kStatusFailed);
    }

    const Bitmap& square_;
    const RecognitionSettings& settings_;
    const ProposalSettings proposalSettings_;
    const int imageSide_;
    const RecognitionHooks& hooks_;
    RecognitionOutcome& out_;
    HeadTopScanner scanner_;
};

} // namespace

RecognitionOutcome RecognitionRun(const Bitmap& square, const DetectorFiles& files, const std::string& tempFolder,
    const RecognitionSettings& settings, const SheetLayout& layout, int imageSide, const RecognitionHooks& hooks)
{
    RecognitionOutcome outcome;
    if (!ArgumentsUsable(square, files, tempFolder, settings, imageSide)) {
        outcome.result = kRecognitionBadArguments;
        outcome.reason = "unusable arguments";
        return outcome;
    }
    Run run(square, settings, layout, imageSide, hooks, outcome);
    run.Execute(files, tempFolder);
    return outcome;
}

RecognitionOutcome RecognitionRun(const Bitmap& square, const std::string& programFolder, const std::string& tempFolder,
    const RecognitionSettings& settings, const SheetLayout& layout, int imageSide, const RecognitionHooks& hooks)
{
    return RecognitionRun(square, FindDetectorFiles(programFolder), tempFolder, settings, layout, imageSide, hooks);
}

std::string RecognitionLogLine(
    const RecognitionOutcome& outcome, const std::string& timestamp, const std::string& photoPath)
{
    switch (outcome.log) {
    case RecognitionLogKind::Internal:
        return RecognitionErrorLine(RecognitionError::Internal, timestamp, photoPath);
    case RecognitionLogKind::NotDetected:
        return RecognitionErrorLine(RecognitionError::NotDetected, timestamp, photoPath);
    case RecognitionLogKind::FalseDetection:
        return RecognitionErrorLine(RecognitionError::FalseDetection, timestamp, photoPath);
    case RecognitionLogKind::None:
        break;
    }
    return {};
}

} // namespace vellicam
