// The person mask over an image: how it is asked of the detector library, the region of one person in it, the head
// top that region gives over a face, whether somebody else shares the frame, and the plain background it allows.
#pragma once

#include "image/bitmap.h"
#include "recognition/face_detector.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vellicam {

// The mask is asked for on a copy reduced by a whole factor to at most this many pixels on its longer side: the
// model sees 256 × 256 anyway, and the guided refinement at this size takes a few tens of milliseconds.
inline constexpr int kPersonMaskLongSide = 640;
// Mask values from here up count as the person (the model's probability of one half).
inline constexpr int kPersonThreshold = 128;

// A mask over an image: values 0 (background) .. 255 (person), each mask pixel standing for scale × scale image
// pixels, the first one beginning at image pixel (left, top).
struct PersonMask {
    int width = 0, height = 0;
    int scale = 1;
    int left = 0, top = 0;
    std::vector<std::uint8_t> values;

    [[nodiscard]] bool Empty() const { return width <= 0 || height <= 0; }
    // The value of mask pixel (mx, my); 0 outside the mask.
    [[nodiscard]] int At(int mx, int my) const
    {
        return mx < 0 || my < 0 || mx >= width || my >= height
            ? 0
            : values[static_cast<std::size_t>(my) * static_cast<std::size_t>(width) + static_cast<std::size_t>(mx)];
    }
    // The mask pixel holding image pixel (x, y) (floor division, so negative coordinates fall outside).
    [[nodiscard]] int ToMaskX(int x) const;
    [[nodiscard]] int ToMaskY(int y) const;
    // The image row where mask row `my` begins.
    [[nodiscard]] int ToImageY(int my) const { return top + my * scale; }
};

// The picture the model is given: `image` reduced by the smallest whole factor that brings its longer side to
// `longSide` or below (each pixel the mean of its block), cut to the box of its pixels that are not black, so the
// black square around a photo and the corners of a turn do not take the model's pixels. Returns false for an empty
// image, a non-positive longSide, an all-black image (nothing to segment) or no memory.
struct MaskPicture {
    Bitmap picture;
    int scale = 1;
    int left = 0, top = 0; // in image pixels
};
[[nodiscard]] bool MakeMaskPicture(const Bitmap& image, int longSide, MaskPicture& out);
// The whole factor MakeMaskPicture reduces a width × height image by.
[[nodiscard]] int MaskPictureFactor(int width, int height, int longSide);
// MakeMaskPicture's last step: `reduced` (the image reduced by `factor`) cut to the box of its pixels that are not
// black. False when every pixel is black or the memory cannot be had.
[[nodiscard]] bool CutMaskPicture(const Bitmap& reduced, int factor, MaskPicture& out);

enum PersonMaskResult : int {
    kPersonMaskOk = 0,
    kPersonMaskNotSupported = -1, // the library has no person mask
    kPersonMaskNoModel = -2, // the model is missing or unreadable
    kPersonMaskNothingToSegment = -3, // an empty or all-black image
    kPersonMaskFailed = -4, // the library failed (no memory, a fault) or a call threw
};

// The person mask of `image` from a loaded detector whose person model was loaded (LoadPersonModel): the picture
// MakeMaskPicture makes, its mask at full size. Returns one of the codes above; `mask` is untouched on a failure.
[[nodiscard]] int ComputePersonMask(FaceDetector& detector, const Bitmap& image, PersonMask& mask);
// The same from the picture made already (an empty one is nothing to segment).
[[nodiscard]] int ComputePersonMask(FaceDetector& detector, const MaskPicture& picture, PersonMask& mask);

// Keeps the region of the person at image pixel (x, y): the mask pixels of at least kPersonThreshold connected to it
// side by side, with the soft edge around them (the pixels below the threshold next to the region keep their value);
// every other value becomes 0. Returns false, leaving the mask, when the pixel is not a person's.
[[nodiscard]] bool KeepRegionAt(PersonMask& mask, int x, int y);

// The head top the person's region gives over a face whose eyes the landmarks placed: over the columns between the
// eyes, the highest row the region reaches without a gap, going up from the eye row (leaving out the few columns that
// run far above the others into something touching the head, and a top too narrow to be a crown). -1 when it is not
// to be believed: a region that does not hold the eyes, one that runs into the mask's top edge (the head is cut by
// the photo, or the region is not a head), or a top less than 0.8 or more than 2.5 eye-to-chin heights above the
// eyes (every head of the development set lies between 1 and 2).
[[nodiscard]] int HeadTopFromMask(const PersonMask& region, const FaceLandmarks& points);

// The column of the face's own centre: the mean of the eyes' middle and the middle of the face's horizontal extent
// when the landmarks have the outline's sides, else the eyes' middle. The extent runs between the outline's sides
// at eye level, or to the chin where it lies beyond one of them: on a head tilted by 45° the sides lie high and low
// on the face and the chin far to one side, and the sides alone put the centre 15 pixels (5 % of the frame's width)
// off the face's middle. On turned heads the eyes' middle errs one way and the outline's the other; their mean
// errs by at most 4 % of the frame's width on the development set.
[[nodiscard]] int FaceCentreColumn(const FaceLandmarks& points);

// True when somebody else shares `frame` (image pixels) with the person of `region`: a person in `all` outside the
// region covering at least 2 % of the frame, or one of `otherFaces` (image points of other confirmed faces) lying
// in the region (two people touching make one region).
struct ImagePoint {
    int x = 0, y = 0;
};
[[nodiscard]] bool OtherPersonInFrame(
    const PersonMask& all, const PersonMask& region, const Rect& frame, const std::vector<ImagePoint>& otherFaces);

// True when the person's region holds somebody else merged into it (two people touching make one region, and a
// neighbour whose face was not confirmed has no face to give him away): beside the head of the face the landmarks
// placed (further from its centre than kHeadReach half head widths), the region rises above the eyes in at least
// kMergedColumns mask columns that start within kSideGap half head widths of a side of `frame`, and either rise
// above the head's own top or are parted from the head by a dip of at least kLobeDepth eye-to-chin heights in the
// region's outline. A person's own shoulders stay below the eyes, long hair falls from the crown to the sides
// without a dip, an arm behind the head stays below its top, and a raised hand stays clear of the frame's sides.
// Needs the face's sides; false without them.
inline constexpr double kHeadReach = 1.8;
inline constexpr int kMergedColumns = 3;
inline constexpr double kSideGap = 0.25;
inline constexpr double kLobeDepth = 0.2;
[[nodiscard]] bool NeighbourMergedInRegion(const PersonMask& region, const FaceLandmarks& points, const Rect& frame);

// Replaces the background of `image` (the image the mask was made for) outside the person of `region` by `colour`:
// each pixel becomes α·F + (1 − α)·colour, α the mask at that pixel (bilinear between mask pixels) and F the
// person's own colour, the pixel with the old background's share taken out (the old background being the mean
// colour of the background mask pixels nearby), so that hair and shoulders keep no fringe of it.
// Refuses (false, image untouched) a mask that does not cover the image at scale 1 or more.
[[nodiscard]] bool ReplaceBackground(Bitmap& image, const PersonMask& region, Rgb colour);

// The whole of the plain background for a cut photo: the library found for `programFolder`, its person model, the
// mask of the photo, the person whose region holds the photo's centre column between 30 % and 70 % of its height
// (where an identification frame puts the face), the replacement. Returns a PersonMaskResult (the photo untouched
// unless kPersonMaskOk); `reason` gets the words for a failure. A photo without a person there is
// kPersonMaskNothingToSegment.
[[nodiscard]] int PlainBackground(Bitmap& photo, const std::string& programFolder, Rgb colour, std::string* reason);

} // namespace vellicam
