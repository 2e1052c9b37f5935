#include "face_search.h"

#include "area_reduce.h"

#include "grey_image_file.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numeric>
#include <string>

namespace vellicam::facedetect {

namespace {

// OpenCV's own merging tolerance for neighbouring windows.
constexpr double kGroupEps = 0.2;

int ReadBigEndian16(std::istream& in)
{
    const int hi = in.get();
    const int lo = in.get();
    if (hi < 0 || lo < 0)
        return -1;
    return (hi << 8) | lo;
}

bool IsFrameHeader(int marker)
{
    // SOF0..SOF15 except DHT (C4), JPG (C8) and DAC (CC), which share the range.
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// How many file pixels one picture pixel may stand for.
double Reduction(int width, int height, int minObjectSide, int targetLongSide, int minSearchSide)
{
    double s = static_cast<double>(std::max(width, height)) / targetLongSide;
    // Below about twice the cascade's window the detector starts missing faces, so the smallest object
    // wanted limits how far the picture may shrink.
    const double limit
        = minObjectSide > 0 && minSearchSide > 0 ? static_cast<double>(minObjectSide) / minSearchSide : 1.0;
    return std::max(1.0, std::min(s, limit));
}

// The picture without its pure black edge rows and columns; the whole picture when it is black throughout.
cv::Rect ContentOf(const cv::Mat& grey)
{
    int top = 0, bottom = grey.rows, left = 0, right = grey.cols;
    while (top < bottom && cv::countNonZero(grey.row(top)) == 0)
        ++top;
    while (bottom > top && cv::countNonZero(grey.row(bottom - 1)) == 0)
        --bottom;
    while (left < right && cv::countNonZero(grey(cv::Range(top, bottom), cv::Range(left, left + 1))) == 0)
        ++left;
    while (right > left && cv::countNonZero(grey(cv::Range(top, bottom), cv::Range(right - 1, right))) == 0)
        --right;
    if (top >= bottom || left >= right)
        return cv::Rect(0, 0, grey.cols, grey.rows);
    return cv::Rect(left, top, right - left, bottom - top);
}

double Clamp(double v, double lo, double hi)
{
    return std::min(hi, std::max(lo, v));
}

} // namespace

bool ReadJpegSize(const std::string& path, int& width, int& height)
{
    std::ifstream in(path, std::ios::binary);
    if (!in || in.get() != 0xFF || in.get() != 0xD8)
        return false;
    for (;;) {
        int c = in.get();
        if (c != 0xFF)
            return false;
        while (c == 0xFF)
            c = in.get();
        if (c < 0 || c == 0xD9 || c == 0xDA)
            return false; // end of image or scan data before any frame header
        if (c == 0x01 || (c >= 0xD0 && c <= 0xD7))
            continue; // markers without a length
        const int length = ReadBigEndian16(in);
        if (length < 2)
            return false;
        if (IsFrameHeader(c)) {
            in.get(); // sample precision
            const int h = ReadBigEndian16(in);
            const int w = ReadBigEndian16(in);
            if (h <= 0 || w <= 0)
                return false;
            width = w;
            height = h;
            return true;
        }
        in.seekg(length - 2, std::ios::cur);
        if (!in)
            return false;
    }
}

bool ReadImageSize(const std::string& path, int& width, int& height)
{
    if (ReadJpegSize(path, width, height))
        return true;
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    if (!(in >> magic) || (magic != "P5" && magic != "P6"))
        return false;
    // Comments may stand between the header's numbers.
    const auto number = [&in](int& v) {
        for (;;) {
            in >> std::ws;
            if (in.peek() != '#')
                break;
            std::string comment;
            std::getline(in, comment);
        }
        return static_cast<bool>(in >> v);
    };
    if (!number(w) || !number(h) || !number(maxval) || w <= 0 || h <= 0)
        return false;
    width = w;
    height = h;
    return true;
}

int ReadSearchImage(
    const std::string& path, int minObjectSide, int targetLongSide, int minSearchSide, bool equalise, SearchImage& out)
{
    if (targetLongSide <= 0 || path.empty())
        return kBadArguments;
    out = SearchImage {};

    int width = 0;
    int height = 0;
    cv::Mat grey;
    if (ReadJpegSize(path, width, height)) {
        // Letting the decoder scale down is several times faster than decoding at full size and reducing.
        const double s = Reduction(width, height, minObjectSide, targetLongSide, minSearchSide);
        const int factor = s >= 8 ? 8 : s >= 4 ? 4 : s >= 2 ? 2 : 1;
        grey = ReadGreyImage(path, factor);
        if (!grey.empty() && factor == 1 && (grey.cols != width || grey.rows != height)) {
            width = grey.cols;
            height = grey.rows;
        }
    } else {
        grey = ReadGreyImage(path);
        width = grey.cols;
        height = grey.rows;
    }
    if (grey.empty() || grey.type() != CV_8UC1 || width <= 0 || height <= 0)
        return kImageUnreadable;

    const double s = Reduction(width, height, minObjectSide, targetLongSide, minSearchSide);
    const int w = std::max(1, static_cast<int>(std::lround(width / s)));
    const int h = std::max(1, static_cast<int>(std::lround(height / s)));
    if (w < grey.cols && h < grey.rows)
        ReduceByArea(grey, out.Grey, cv::Size(w, h));
    else
        out.Grey = grey;
    out.Content = ContentOf(out.Grey);
    if (equalise)
        cv::equalizeHist(out.Grey, out.Grey);
    out.FileWidth = width;
    out.FileHeight = height;
    out.Scale = static_cast<double>(width) / out.Grey.cols;
    return kOk;
}

SearchSettings SettingsFor(int pass, int precision, int minWidth, int minHeight)
{
    SearchSettings s;
    s.MinWidth = std::max(0, minWidth);
    s.MinHeight = std::max(0, minHeight);
    s.MinNeighbours = precision;
    if (pass == 1) {
        // The re-detection looks harder: the equalised picture (see facedetect.cpp) and twice as many scales.
        // A finer step puts about twice as many windows on a true face, so 2 × precision would be as strict as
        // the first pass; one fewer is more lenient, but not so much that bare walls, ice or tomatoes turn up
        // faces at the usual minimum size.
        s.ScaleStep = 1.05;
        s.MinNeighbours = std::max(1, 2 * precision - 1);
    }
    return s;
}

RawWindows FindWindows(cv::CascadeClassifier& cascade, const HaarCascade* own, const SearchImage& image,
    const SearchSettings& settings, const std::string* cascadeFile)
{
    RawWindows found;
    const cv::Rect content
        = image.Content.area() > 0 ? image.Content : cv::Rect(0, 0, image.Grey.cols, image.Grey.rows);
    const cv::Mat picture = image.Grey(content);
    const cv::Size minSize(settings.MinWidth, settings.MinHeight);
    if (own == nullptr || !own->Loaded()
        || !own->Detect(picture, settings.ScaleStep, minSize, cv::Size(), found, settings.Threads)) {
        if (cascade.empty() && cascadeFile) {
            try {
                (void)cascade.load(*cascadeFile);
            } catch (const cv::Exception&) {
            }
        }
        // No grouping inside OpenCV: the merging in Search keeps the window count and the best margin of each
        // group, which the ordering needs.
        if (!cascade.empty())
            cascade.detectMultiScale(
                picture, found.Rects, found.Levels, found.Weights, settings.ScaleStep, 0, 0, minSize, cv::Size(), true);
    }
    for (cv::Rect& r : found.Rects)
        r += content.tl();
    return found;
}

std::vector<Detection> Search(cv::CascadeClassifier& cascade, const SearchImage& image, const SearchSettings& settings,
    const HaarCascade* own, const std::string* cascadeFile)
{
    RawWindows windows = FindWindows(cascade, own, image, settings, cascadeFile);
    std::vector<cv::Rect>& raw = windows.Rects;
    std::vector<double>& weights = windows.Weights;
    if (weights.size() != raw.size())
        weights.assign(raw.size(), 0.0);
    if (raw.empty())
        return {};

    std::vector<int> labels;
    const int groups = cv::partition(raw, labels, cv::SimilarRects(kGroupEps));
    std::vector<cv::Rect2d> sums(groups, cv::Rect2d(0, 0, 0, 0));
    std::vector<int> hits(groups, 0);
    std::vector<double> best(groups, -1e9);
    for (size_t i = 0; i < raw.size(); ++i) {
        const int g = labels[i];
        sums[g].x += raw[i].x;
        sums[g].y += raw[i].y;
        sums[g].width += raw[i].width;
        sums[g].height += raw[i].height;
        ++hits[g];
        best[g] = std::max(best[g], weights[i]);
    }
    std::vector<cv::Rect> boxes(groups);
    for (int g = 0; g < groups; ++g) {
        const double n = hits[g];
        boxes[g] = cv::Rect(
            cvRound(sums[g].x / n), cvRound(sums[g].y / n), cvRound(sums[g].width / n), cvRound(sums[g].height / n));
    }

    std::vector<Detection> found;
    for (int g = 0; g < groups; ++g) {
        if (hits[g] <= settings.MinNeighbours)
            continue;
        // A small group lying inside a stronger one is a part of the same face (an eye and brow, the mouth).
        bool nested = false;
        const cv::Rect& r1 = boxes[g];
        for (int o = 0; o < groups && !nested; ++o) {
            if (o == g || hits[o] <= settings.MinNeighbours)
                continue;
            const cv::Rect& r2 = boxes[o];
            const int dx = cvRound(r2.width * kGroupEps);
            const int dy = cvRound(r2.height * kGroupEps);
            nested = r1.x >= r2.x - dx && r1.y >= r2.y - dy && r1.x + r1.width <= r2.x + r2.width + dx
                && r1.y + r1.height <= r2.y + r2.height + dy && (hits[o] > std::max(3, hits[g]) || hits[g] < 3);
        }
        if (nested)
            continue;
        Detection d;
        const int left = std::clamp(static_cast<int>(std::lround(r1.x * image.Scale)), 0, image.FileWidth);
        const int top = std::clamp(static_cast<int>(std::lround(r1.y * image.Scale)), 0, image.FileHeight);
        const int right
            = std::clamp(static_cast<int>(std::lround((r1.x + r1.width) * image.Scale)), 0, image.FileWidth);
        const int bottom
            = std::clamp(static_cast<int>(std::lround((r1.y + r1.height) * image.Scale)), 0, image.FileHeight);
        if (right <= left || bottom <= top)
            continue;
        d.Box = cv::Rect(left, top, right - left, bottom - top);
        d.Hits = hits[g];
        d.Weight = best[g];
        found.push_back(d);
    }
    return found;
}

double OrderingScore(const Detection& d, int imageWidth, int imageHeight, int largestSide)
{
    if (imageWidth <= 0 || imageHeight <= 0 || d.Box.width <= 0 || d.Box.height <= 0)
        return -1e9;
    const double w = d.Box.width;
    const double h = d.Box.height;

    // Evidence: a true face collects dozens of overlapping windows, a chance pattern a handful.
    const double evidence = std::log2(1.0 + d.Hits) + 0.5 * Clamp(d.Weight, -1.0, 4.0);

    // Size: the subject of a portrait is the largest face; window blinds and foliage give small ones.
    const double size = largestSide > 0 ? std::min(1.0, std::min(w, h) / largestSide) : 1.0;

    // Centre line: a portrait is framed on its subject.
    const double offCentre = std::abs(d.Box.x + w / 2 - imageWidth / 2.0) / (imageWidth / 2.0);

    // The whole head (hair above, chin below, ears at the sides) should lie in the picture; a face cut by the
    // edge cannot give an identification photo.
    const double hx1 = d.Box.x - 0.2 * w;
    const double hx2 = d.Box.x + 1.2 * w;
    const double hy1 = d.Box.y - 0.4 * h;
    const double hy2 = d.Box.y + 1.25 * h;
    const double inside = std::max(0.0, std::min<double>(hx2, imageWidth) - std::max(0.0, hx1))
        * std::max(0.0, std::min<double>(hy2, imageHeight) - std::max(0.0, hy1));
    const double cut = 1.0 - inside / ((hx2 - hx1) * (hy2 - hy1));

    return evidence + 4.0 * size - 2.0 * offCentre - 8.0 * cut;
}

void OrderDetections(std::vector<Detection>& detections, int imageWidth, int imageHeight)
{
    int largest = 0;
    for (const Detection& d : detections)
        largest = std::max(largest, std::min(d.Box.width, d.Box.height));
    for (Detection& d : detections)
        d.Score = OrderingScore(d, imageWidth, imageHeight, largest);
    std::stable_sort(detections.begin(), detections.end(), [](const Detection& a, const Detection& b) {
        if (a.Score != b.Score)
            return a.Score > b.Score;
        if (a.Box.y != b.Box.y)
            return a.Box.y < b.Box.y;
        return a.Box.x < b.Box.x;
    });
}

} // namespace vellicam::facedetect
