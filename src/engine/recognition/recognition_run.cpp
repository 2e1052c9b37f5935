// An automatic recognition run.
#include "recognition/recognition_run.h"

#include "image/image_io.h"
#include "recognition/detector_image.h"
#include "recognition/face_detector.h"
#include "recognition/head_profile.h"
#include "recognition/reduced_pictures.h"
#include "sheet/output_path.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <thread>

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
        && s.jpegQuality <= 100 && s.faceIndex >= -1;
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
    }
    void Pause(int milliseconds)
    {
        if (hooks_.pause)
            hooks_.pause(milliseconds);
    }

    // Two passes' landmarks of one face: their eyes' middles lie within a quarter of the eye distance.
    static bool SameFace(const FaceLandmarks& p, const FaceLandmarks& c)
    {
        const int eyes = std::max(1, std::abs(c.rightEyeX - c.leftEyeX));
        const int dx = (p.leftEyeX + p.rightEyeX - c.leftEyeX - c.rightEyeX) / 2;
        const int dy = (p.leftEyeY + p.rightEyeY - c.leftEyeY - c.rightEyeY) / 2;
        return 4 * std::max(std::abs(dx), std::abs(dy)) <= eyes;
    }

    bool Plausible(const FaceRect& face, const std::optional<LandmarkHeadTop>& top)
    {
        return IsPlausibleFace(
            face, out_.imageWidth, out_.imageHeight, imageSide_, proposalSettings_, scanner_, top ? &*top : nullptr);
    }

    std::optional<LandmarkHeadTop> TopOf(bool found, const FaceLandmarks& p) const
    {
        if (!found)
            return std::nullopt;
        const int eyeRow = (p.leftEyeY + p.rightEyeY) / 2;
        LandmarkHeadTop top = HeadTopFromLandmarks(eyeRow, p.chinY);
        // The head's top lies between one and two eye-to-chin heights above the eyes on every face of the
        // development set; the profile is read over a third of that height either side of the eyes' middle.
        const int reach = top.eyeToChin;
        if (reach > 0)
            top.profileTop = FindHeadTopByProfile(
                square_, (p.leftEyeX + p.rightEyeX) / 2, reach / 3, eyeRow - 2 * reach, eyeRow - reach * 19 / 20);
        return top;
    }

    int Fail(int result, std::string message, std::string reason = {})
    {
        out_.result = result;
        out_.message = std::move(message);
        out_.reason = std::move(reason);
        return result;
    }

    // A detection of the reduced copy in pixels of the working image. The copy's last pixel may stand for fewer
    // than `factor` pixels, so a right or bottom edge is kept inside the image.
    FaceRect Enlarged(const FaceRect& r, int factor) const
    {
        if (factor == 1)
            return r;
        const auto scale = [factor](int v, int limit) {
            return static_cast<int>(std::min<std::int64_t>(static_cast<std::int64_t>(v) * factor, limit));
        };
        return { scale(r.x1, out_.imageWidth), scale(r.y1, out_.imageHeight), scale(r.x2, out_.imageWidth),
            scale(r.y2, out_.imageHeight) };
    }
    static int EnlargedPoint(int v, int factor)
    {
        // A point names a pixel's centre: copy pixel i covers image pixels i × factor … (i + 1) × factor − 1.
        return static_cast<int>(static_cast<std::int64_t>(v) * factor + (factor - 1) / 2);
    }

    int DetectionAt(FaceDetector& detector, int index, FaceRect& rect)
    {
        FaceRect r;
        const int rc = detector.Detection(index, r);
        if (rc == kDetectorOk)
            rect = Enlarged(r, factor_);
        return rc;
    }

    // The landmarks of detection `index` of the last face pass, in pixels of the working image.
    int LandmarksAt(FaceDetector& detector, int index, bool& found, FaceLandmarks& points)
    {
        FaceLandmarks p;
        const int rc = detector.Landmarks(index, p, found);
        if (rc == kDetectorOk && found) {
            points = { EnlargedPoint(p.chinX, factor_), EnlargedPoint(p.chinY, factor_),
                EnlargedPoint(p.leftEyeX, factor_), EnlargedPoint(p.leftEyeY, factor_),
                EnlargedPoint(p.rightEyeX, factor_), EnlargedPoint(p.rightEyeY, factor_) };
            points.hasSides = p.hasSides;
            if (p.hasSides) {
                points.leftSideX = EnlargedPoint(p.leftSideX, factor_);
                points.leftSideY = EnlargedPoint(p.leftSideY, factor_);
                points.rightSideX = EnlargedPoint(p.rightSideX, factor_);
                points.rightSideY = EnlargedPoint(p.rightSideY, factor_);
            }
        }
        return rc;
    }

    // The library's part: face pass, re-detection, chin. Returns 0, or the code of the first call that could not
    // be made; the library is released by the caller's FaceDetector either way.
    int Detect(FaceDetector& detector, const std::string& tempPath, const std::string& faceCascade,
        const std::string& chinCascade)
    {
        const RecognitionSettings& s = settings_;
        const int m = s.minFaceSize;
        int rc = detector.SetMinSize(ReducedSize(m, factor_), ReducedSize(m, factor_));
        int status = 0;
        if (rc == kDetectorOk)
            rc = detector.Detect(tempPath, faceCascade, 0, s.precision, status);
        if (rc == kDetectorOk)
            rc = detector.Count(out_.candidateCount);
        if (rc == kDetectorOk)
            rc = DetectionAt(detector, 0, out_.face);
        if (rc == kDetectorOk && out_.candidateCount > 0)
            rc = LandmarksAt(detector, 0, out_.landmarks, out_.points);
        if (rc == kDetectorOk && out_.landmarks)
            rc = detector.EyeOpenness(0, out_.eyeOpening, out_.eyeOpeningKnown);
        if (rc != kDetectorOk)
            return rc;
        out_.status = EffectiveDetectorStatus(status);

        // Every test is made, the plausibility scan included, whatever the first one says: each scan leaves its
        // sample mark on the view.
        headTop_ = TopOf(out_.landmarks, out_.points);
        const bool plausible = Plausible(out_.face, headTop_);
        if (NeedsRedetection(out_.candidateCount, out_.face, out_.imageWidth, out_.imageHeight, s.upperHalfOnly,
                plausible, out_.landmarks)) {
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
                const std::size_t count = static_cast<std::size_t>(std::min(k, kMaxCandidates));
                std::vector<FaceRect> candidates(count);
                std::vector<FaceLandmarks> points(count);
                std::vector<std::optional<LandmarkHeadTop>> tops(count);
                for (std::size_t i = 0; i < count; ++i) {
                    bool found = false;
                    if ((rc = DetectionAt(detector, static_cast<int>(i), candidates[i])) != kDetectorOk
                        || (rc = LandmarksAt(detector, static_cast<int>(i), found, points[i])) != kDetectorOk)
                        return rc;
                    tops[i] = TopOf(found, points[i]);
                }
                // ChooseCandidate hands over the candidates themselves, so each one's place gives its landmarks.
                const int best = ChooseCandidate(
                    candidates, out_.imageWidth, out_.imageHeight, s.upperHalfOnly, [&](const FaceRect& c) {
                        return Plausible(c, tops[static_cast<std::size_t>(&c - candidates.data())]);
                    });
                chosenDetection_ = best;
                if (best >= 0) {
                    const std::size_t b = static_cast<std::size_t>(best);
                    out_.face = candidates[b];
                    out_.status = 0;
                    out_.candidateCount = static_cast<int>(candidates.size());
                    out_.landmarks = tops[b].has_value();
                    out_.points = out_.landmarks ? points[b] : FaceLandmarks {};
                    headTop_ = tops[b];
                    out_.eyeOpeningKnown = false;
                    if (out_.landmarks
                        && (rc = detector.EyeOpenness(best, out_.eyeOpening, out_.eyeOpeningKnown)) != kDetectorOk)
                        return rc;
                }
            }
        }
        if (out_.candidateCount <= 0 && detector.HasLandmarks()
            && (rc = SmallFacePass(detector, tempPath, faceCascade)) != kDetectorOk)
            return rc;
        if ((rc = ListConfirmedFaces(detector)) != kDetectorOk)
            return rc;
        if (s.faceIndex >= 0) {
            if (static_cast<std::size_t>(s.faceIndex) >= out_.faces.size())
                return kRecognitionNoSuchFace;
            // The face asked for takes the chosen one's place; everything after is worked out from it alike.
            const ConfirmedFace& asked = out_.faces[static_cast<std::size_t>(s.faceIndex)];
            out_.face = asked.box;
            out_.points = asked.points;
            out_.landmarks = true;
            out_.status = 0;
            out_.chosenFace = s.faceIndex;
            headTop_ = TopOf(true, out_.points);
            out_.eyeOpeningKnown = false;
            if ((rc = detector.EyeOpenness(
                     faceDetections_[static_cast<std::size_t>(s.faceIndex)], out_.eyeOpening, out_.eyeOpeningKnown))
                != kDetectorOk)
                return rc;
        }
        if (out_.landmarks) {
            const FaceLandmarks& p = out_.points;
            out_.levellingAngle = LevellingAngle(p.leftEyeX, p.leftEyeY, p.rightEyeX, p.rightEyeY);
            out_.levellingKnown = p.rightEyeX > p.leftEyeX;
            if (headTop_) {
                headTop_->hasCentre = true;
                headTop_->centreX = FaceCentreColumn(p);
            }
            if ((rc = ReadPersonMask(detector)) != kDetectorOk)
                return rc;
        }

        const int fw = out_.face.x2 - out_.face.x1, fh = out_.face.y2 - out_.face.y1;
        // An empty face has no strip to cut; trying would fail the save and turn "no face" into a write error.
        if (!s.detectChin || fw <= 0 || fh <= 0)
            return kDetectorOk;
        out_.chinStripTop = ChinStripTop(out_.face, out_.imageHeight);
        if (detector.HasLandmarks()) {
            // The face's own chin point; a library that has landmarks but none for this face (its model is
            // missing) leaves the estimate, as the strip search would mostly do.
            if (out_.landmarks)
                TakeLandmarkChin();
            return kDetectorOk;
        }
        return StripSearch(detector, tempPath, chinCascade, fw, fh);
    }

    // When no face was found at the minimum face size, one face pass more for faces down to a third of it
    // (kSmallFaceDivisor) or a tenth of the photo's longer side, whichever is larger: a small or enlarged photo of one
    // person is still framed, and the run says that the face is below the minimum (smallFace), as its print will be
    // soft. Only a face the face detector confirms and places the landmarks of is taken, as a plausible first candidate
    // is: at this size the cascade alone finds faces in foliage and textures.
    int SmallFacePass(FaceDetector& detector, const std::string& tempPath, const std::string& faceCascade)
    {
        const RecognitionSettings& s = settings_;
        // Nor below a tenth of the photo's longer side, as the library's own whole search: a smaller face is one in
        // the background of a larger photo, and the search for it would cost a large photo several tenths of a second.
        const int m
            = std::max({ 1, s.minFaceSize / kSmallFaceDivisor, std::max(out_.imageWidth, out_.imageHeight) / 10 });
        if (m >= s.minFaceSize)
            return kDetectorOk;
        int rc = detector.SetMinSize(ReducedSize(m, factor_), ReducedSize(m, factor_));
        int status = 0, count = 0;
        if (rc == kDetectorOk)
            rc = detector.Detect(tempPath, faceCascade, 0, s.precision, status);
        if (rc == kDetectorOk)
            rc = detector.Count(count);
        if (rc != kDetectorOk || EffectiveDetectorStatus(status) != 0 || count <= 0)
            return rc;
        FaceRect face;
        FaceLandmarks points;
        bool found = false;
        if ((rc = DetectionAt(detector, 0, face)) != kDetectorOk
            || (rc = LandmarksAt(detector, 0, found, points)) != kDetectorOk)
            return rc;
        const std::optional<LandmarkHeadTop> top = TopOf(found, points);
        const bool low = s.upperHalfOnly && 2 * (face.y1 + (face.y2 - face.y1) / 2) > out_.imageHeight;
        if (!found || low || !Plausible(face, top))
            return kDetectorOk;
        out_.face = face;
        out_.points = points;
        out_.landmarks = true;
        out_.status = 0;
        out_.candidateCount = count;
        out_.smallFace = true;
        headTop_ = top;
        chosenDetection_ = 0;
        out_.eyeOpeningKnown = false;
        return detector.EyeOpenness(0, out_.eyeOpening, out_.eyeOpeningKnown);
    }

    // The confirmed faces of the last face pass, left to right, and the chosen face's place among them.
    int ListConfirmedFaces(FaceDetector& detector)
    {
        int count = 0;
        int rc = detector.Count(count);
        struct Listed {
            ConfirmedFace face;
            int detection;
        };
        std::vector<Listed> listed;
        for (int i = 0; rc == kDetectorOk && i < std::min(count, kMaxCandidates); ++i) {
            Listed l { {}, i };
            bool found = false;
            if ((rc = DetectionAt(detector, i, l.face.box)) == kDetectorOk
                && (rc = LandmarksAt(detector, i, found, l.face.points)) == kDetectorOk && found)
                listed.push_back(l);
        }
        if (rc != kDetectorOk)
            return rc;
        std::stable_sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) {
            return a.face.box.x1 != b.face.box.x1 ? a.face.box.x1 < b.face.box.x1 : a.face.box.y1 < b.face.box.y1;
        });
        for (const Listed& l : listed) {
            // A face kept from the first pass after the second found none better is the second's finding of it.
            const bool chosen = chosenDetection_ >= 0 ? l.detection == chosenDetection_
                                                      : out_.chosenFace < 0 && SameFace(l.face.points, out_.points);
            if (out_.landmarks && chosen)
                out_.chosenFace = static_cast<int>(out_.faces.size());
            out_.faces.push_back(l.face);
            faceDetections_.push_back(l.detection);
        }
        return kDetectorOk;
    }

    // The learned face detector, the library's last resort when no face is confirmed, with the person model it
    // checks each of the network's faces against (the model a confirmed face reads anyway, ReadPersonMask); each takes
    // about 10 ms in a fresh process and nothing once read. A library that can prepare them reads the learned detector
    // only when it first needs it (most photos' faces are found without it) and the person model without a run of its
    // own. A library or folder without either finds the faces it always did.
    int LoadFaceModel(FaceDetector& detector)
    {
        if (!detector.HasFaceModel() || faceModelPath_.empty() || personModelPath_.empty())
            return kDetectorOk;
        if (detector.PreparesModels()) {
            PersonModelState person = PersonModelState::NotSupported;
            return detector.PrepareModels(faceModelPath_, personModelPath_, person);
        }
        FaceModelState face = FaceModelState::NotSupported;
        int rc = detector.LoadFaceModel(faceModelPath_, face);
        PersonModelState person = PersonModelState::NotSupported;
        if (rc == kDetectorOk && face == FaceModelState::Ready)
            rc = detector.LoadPersonModel(personModelPath_, person);
        return rc;
    }

    // The person mask of the square, the region of the chosen face's person in it and the head top it gives; the
    // other confirmed faces of the last pass, for OtherPersonInFrame. Only a confirmed face gets one: the model marks
    // cats and statues as readily as people. A library or model without a mask leaves everything as it was.
    int ReadPersonMask(FaceDetector& detector)
    {
        if (!detector.HasPersonMask() || personModelPath_.empty())
            return kDetectorOk;
        if (maskAhead_.joinable())
            maskAhead_.join();
        // A mask made ahead is the model's proof: it was read and gave this photo's mask.
        int rc = kDetectorOk;
        if (aheadResult_ == kPersonMaskOk)
            out_.personModel = PersonModelState::Ready;
        else
            rc = detector.LoadPersonModel(personModelPath_, out_.personModel);
        if (rc != kDetectorOk || out_.personModel != PersonModelState::Ready)
            return rc;
        int count = 0;
        if ((rc = detector.Count(count)) != kDetectorOk)
            return rc;
        for (int i = 0; i < std::min(count, kMaxCandidates); ++i) {
            bool found = false;
            FaceLandmarks p;
            if ((rc = LandmarksAt(detector, i, found, p)) != kDetectorOk)
                return rc;
            // The chosen face itself, also as a pass other than the one it was chosen from found it, is no other.
            if (found && !SameFace(p, out_.points))
                otherFaces_.push_back({ (p.leftEyeX + p.rightEyeX) / 2, (p.leftEyeY + p.rightEyeY) / 2 });
        }
        if (aheadResult_ == kPersonMaskOk) {
            out_.personMaskResult = kPersonMaskOk;
            personMask_ = std::move(aheadMask_);
        } else {
            out_.personMaskResult = maskPictureMade_ ? ComputePersonMask(detector, maskPicture_, personMask_)
                                                     : ComputePersonMask(detector, square_, personMask_);
        }
        if (out_.personMaskResult != kPersonMaskOk)
            return kDetectorOk;
        const FaceLandmarks& p = out_.points;
        PersonMask region = personMask_;
        if (!KeepRegionAt(region, FaceCentreColumn(p), (p.leftEyeY + p.rightEyeY) / 2)) {
            out_.personMaskResult = kPersonMaskNothingToSegment;
            out_.noPersonAtFace = true;
            return kDetectorOk;
        }
        out_.personRegion = std::move(region);
        out_.maskHeadTop = HeadTopFromMask(out_.personRegion, p);
        if (headTop_)
            headTop_->maskTop = out_.maskHeadTop;
        return kDetectorOk;
    }

    // With a second core the person mask is made on it while the faces are searched: most photos have the face that
    // asks for it, and a photo without one leaves it unread. The thread has its own handle on the library (whose
    // model holder takes one run at a time). When anything fails there, the mask is made as without the thread.
    void StartMaskAhead(const std::string& library)
    {
        if (settings_.threads < 2 || !maskPictureMade_ || maskPicture_.picture.Empty())
            return;
        try {
            maskAhead_ = std::jthread([this, library] {
                try {
                    FaceDetector detector;
                    PersonModelState state = PersonModelState::NotSupported;
                    if (detector.Load(library) != kDetectorOk)
                        return;
                    // Read for this first mask when it was not read before, without a run of its own to prove it.
                    const int rc = detector.PreparesModels() ? detector.PrepareModels({}, personModelPath_, state)
                                                             : detector.LoadPersonModel(personModelPath_, state);
                    if (rc == kDetectorOk && state == PersonModelState::Ready)
                        aheadResult_ = ComputePersonMask(detector, maskPicture_, aheadMask_);
                } catch (...) {
                    aheadResult_ = kPersonMaskFailed; // made again on the run's own thread
                }
            });
        } catch (const std::system_error&) {
        }
    }

    // The chin from the landmarks, as a small box centred on the chin point so that the chin outline shows where
    // it lies. A chin point above the face's middle or more than half a face below it is a landmark gone astray.
    void TakeLandmarkChin()
    {
        const FaceRect& f = out_.face;
        const int fw = f.x2 - f.x1, fh = f.y2 - f.y1;
        const int y = out_.points.chinY;
        if (y < f.y1 + fh / 2 || y > f.y2 + fh / 2)
            return;
        ChinDetection chin;
        chin.chinStripTop = out_.chinStripTop;
        chin.cx1 = out_.points.chinX - f.x1 - fw / 8;
        chin.cx2 = out_.points.chinX - f.x1 + fw / 8;
        chin.cy1 = y - out_.chinStripTop - fh / 32;
        chin.cy2 = y - out_.chinStripTop + fh / 32;
        out_.chin = chin;
        out_.chinAccepted = true;
        out_.chinFromLandmarks = true;
    }

    // A library without landmarks: its lower-face cascade over the strip from mid-face down one face height; the
    // first detection whose centre lies where a chin can be (AcceptChin) is the chin.
    int StripSearch(FaceDetector& detector, const std::string& tempPath, const std::string& chinCascade, int fw, int fh)
    {
        const RecognitionSettings& s = settings_;
        out_.chinPassRan = true;
        Bitmap strip;
        // Parts of the strip outside the image stay black, as the face rectangle may reach past an edge.
        if (!strip.Resize(fw, fh)) {
            out_.reason = "no memory for the chin strip";
            return kRecognitionTempNotSaved;
        }
        CopyRect(square_, { out_.face.x1, out_.chinStripTop, out_.face.x2, out_.chinStripTop + fh }, strip, 0, 0);
        const int factor = DetectorImageFactor(fw, fh);
        if (std::string why = WriteDetectorImage(strip, factor, tempPath); !why.empty()) {
            out_.reason = std::move(why);
            return kRecognitionTempNotSaved;
        }
        const int m = ReducedSize(s.minFaceSize / 8, factor);
        int rc = detector.SetMinSize(m, m);
        int chinStatus = 0; // not used: a failed chin pass just leaves the estimate
        if (rc == kDetectorOk)
            rc = detector.Detect(tempPath, chinCascade, 0, s.precision, chinStatus);
        int cn = 0;
        if (rc == kDetectorOk)
            rc = detector.Count(cn);
        for (int i = 0; rc == kDetectorOk && i < std::min(cn, kMaxCandidates); ++i) {
            FaceRect c;
            if ((rc = detector.Detection(i, c)) != kDetectorOk)
                break;
            c = EnlargedBy(c, factor);
            if (AcceptChin(out_.chinStripTop, c.y1, c.y2, out_.face)) {
                out_.chin = { out_.chinStripTop, c.x1, c.y1, c.x2, c.y2 };
                out_.chinAccepted = true;
                break;
            }
        }
        return rc;
    }

    static FaceRect EnlargedBy(const FaceRect& r, int factor)
    {
        return { r.x1 * factor, r.y1 * factor, r.x2 * factor, r.y2 * factor };
    }
    // A size in pixels of the working image as the reduced copy has it (at least 1 where it was at least 1).
    static int ReducedSize(int size, int factor) { return size > 0 ? std::max(1, size / factor) : size; }

    // Saves the face as a JPEG named after the photo in the face image folder and appends its annotation line.
    int SaveFaceImage()
    {
        const RecognitionSettings& s = settings_;
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

    void Execute(const DetectorFiles& files, const std::string& tempFolder, const ReducedPictures* pictures)
    {
        const RecognitionSettings& s = settings_;
        out_.imageWidth = square_.Width();
        out_.imageHeight = square_.Height();
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

        if (!files.personModel.empty())
            personModelPath_ = Absolute(files.personModel);
        if (!files.faceModel.empty())
            faceModelPath_ = Absolute(files.faceModel);
        const std::string tempPath = Join(Absolute(tempFolder), kRecognitionTempImage);
        factor_ = DetectorImageFactor(out_.imageWidth, out_.imageHeight);
        {
            // The person mask's picture comes from the same pass over the square as the detector's copy, while its
            // rows are at hand: most photos have the face that asks for it.
            // Or they were made while the photo was decoded.
            GreyImage grey;
            maskPictureMade_ = !personModelPath_.empty();
            std::string why;
            if (pictures && pictures->MadeFor(square_, s.photoArea, factor_)) {
                grey = pictures->grey;
                if (maskPictureMade_)
                    maskPicture_ = pictures->mask;
            } else {
                why = MakeReducedPictures(
                    square_, s.photoArea, factor_, grey, maskPictureMade_ ? &maskPicture_ : nullptr, s.threads);
            }
            if (why.empty())
                why = WriteGreyImage(grey, tempPath);
            if (!why.empty()) {
                Fail(kRecognitionTempNotSaved, std::string(kMessageTempNotSaved), why);
                return;
            }
        }

        int rc = kDetectorOk;
        {
            FaceDetector detector;
            const std::string library = Absolute(files.library);
            rc = detector.Load(library);
            if (rc == kDetectorOk)
                rc = detector.SetThreads(s.threads);
            if (rc == kDetectorOk) {
                StartMaskAhead(library);
                rc = LoadFaceModel(detector);
            }
            if (rc == kDetectorOk) {
                Pause(500);
                rc = Detect(detector, tempPath, faceCascade, Absolute(files.chinCascade));
            }
            if (rc != kDetectorOk && rc != kRecognitionTempNotSaved && rc != kRecognitionNoSuchFace)
                out_.reason = detector.Reason();
            if (rc == kDetectorNotLoaded && !fs::exists(library, ec))
                out_.reason += LookedIn(files.libraryFolders);
        } // the library is released here, before anything is shown
        if (rc == kRecognitionTempNotSaved) {
            Fail(rc, std::string(kMessageTempNotSaved), out_.reason);
            return;
        }
        if (rc == kRecognitionNoSuchFace) {
            out_.reason = "face " + std::to_string(s.faceIndex) + " asked for, " + std::to_string(out_.faces.size())
                + " confirmed";
            Fail(rc, std::string(kMessageNoSuchFace), out_.reason);
            Status(kStatusFailed);
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
        const bool nobody = out_.noPersonAtFace && s.faceIndex < 0;
        if (nobody) {
            // Nothing of the face that was not taken is told: not its tilt, nor that it is small.
            out_.levellingKnown = false;
            out_.smallFace = false;
        }
        if (nobody
            || IsNotRecognised(out_.face, out_.candidateCount, out_.imageWidth, out_.imageHeight, out_.landmarks)) {
            out_.log = RecognitionLogKind::NotDetected;
            NotRecognised(kMessageNotRecognised);
            return;
        }
        if (s.saveFaceImage && SaveFaceImage() != kRecognised)
            return;

        const int proposed = ProposeFrame(out_.face, out_.chinAccepted ? &out_.chin : nullptr, imageSide_,
            proposalSettings_, scanner_, out_.proposal, headTop_ ? &*headTop_ : nullptr);
        out_.proposed = proposed == kProposed;
        // A face so far out that no frame can be computed for it is as false a detection as an oversize frame,
        // whatever the oversize setting says: there is nothing to place.
        const bool oversize = out_.landmarks
            ? ConfirmedOversize(out_.proposal, out_.imageHeight)
            : Oversize(out_.proposal.w, out_.proposal.h, out_.imageWidth, out_.imageHeight);
        if (!out_.proposed || (s.oversizeIsError && oversize)) {
            out_.log = RecognitionLogKind::FalseDetection;
            NotRecognised(kMessageOversize);
            return;
        }
        if (!out_.personRegion.Empty()) {
            const FrameProposal& f = out_.proposal;
            const Rect frame { f.frameLeft, f.frameTop, f.frameRight, f.frameBottom };
            out_.otherPeople = OtherPersonInFrame(personMask_, out_.personRegion, frame, otherFaces_)
                || (out_.landmarks && NeighbourMergedInRegion(out_.personRegion, out_.points, frame));
        }
        personMask_ = {};
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
        out_.chosenFace = -1; // the confirmed faces stay listed, but none of them is framed
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
    int factor_ = 1; // the temporary image's reduction
    std::optional<LandmarkHeadTop> headTop_; // the chosen face's head top from its landmarks
    std::string personModelPath_; // the person model beside the cascades
    std::string faceModelPath_; // the learned face detector's model beside the cascades
    PersonMask personMask_; // the whole mask, every person in it
    bool maskPictureMade_ = false; // the mask's picture was made with the detector's copy, into:
    MaskPicture maskPicture_;
    std::vector<ImagePoint> otherFaces_; // the eyes' middles of the other confirmed faces
    int chosenDetection_ = 0; // the chosen face's detection in the last face pass (-1: the first pass's, kept)
    std::vector<int> faceDetections_; // each listed face's detection in the last face pass
    PersonMask aheadMask_; // StartMaskAhead's mask and its result, read after the thread is joined
    int aheadResult_ = kPersonMaskFailed;
    std::jthread maskAhead_; // last: joined before anything it reads or writes goes
};

} // namespace

RecognitionOutcome RecognitionRun(const Bitmap& square, const DetectorFiles& files, const std::string& tempFolder,
    const RecognitionSettings& settings, const SheetLayout& layout, int imageSide, const RecognitionHooks& hooks,
    const ReducedPictures* pictures)
{
    RecognitionOutcome outcome;
    if (!ArgumentsUsable(square, files, tempFolder, settings, imageSide)) {
        outcome.result = kRecognitionBadArguments;
        outcome.reason = "unusable arguments";
        return outcome;
    }
    Run run(square, settings, layout, imageSide, hooks, outcome);
    run.Execute(files, tempFolder, pictures);
    return outcome;
}

RecognitionOutcome RecognitionRun(const Bitmap& square, const std::string& programFolder, const std::string& tempFolder,
    const RecognitionSettings& settings, const SheetLayout& layout, int imageSide, const RecognitionHooks& hooks,
    const ReducedPictures* pictures)
{
    return RecognitionRun(
        square, FindDetectorFiles(programFolder), tempFolder, settings, layout, imageSide, hooks, pictures);
}

} // namespace vellicam
