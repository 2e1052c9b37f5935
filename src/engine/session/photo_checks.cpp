// The framed photo's checks against its size's rules.
#include "session/photo_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace vellicam {

namespace {

constexpr double kMillimetresPerPrintedRow = 25.4 / kSheetResolution;

std::string Figure(double value, const char* unit)
{
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.1f%s", std::round(value * 10) / 10 + 0.0, unit);
    return buffer;
}

std::string Tenths(int tenths)
{
    return Figure(tenths / 10.0, "");
}

// The list's line: "傾き -10.0°（±5.0°以内）✗"; an unknown check gives its reason instead of a figure.
void Finish(PhotoCheck& check, const char* name, const std::string& shown)
{
    check.text = std::string(name) + " " + shown;
    if (!check.rule.empty())
        check.text += "（" + check.rule + "）";
    if (check.state == CheckState::Passed)
        check.text += " ✓";
    else if (check.state == CheckState::Failed)
        check.text += " ✗";
}

PhotoCheck Unknown(const char* id, const char* name, std::string rule, const char* why)
{
    PhotoCheck check;
    check.id = id;
    check.rule = std::move(rule);
    Finish(check, name, why);
    return check;
}

// Mean, spread and the other figures of the brightness over some pixels.
struct Brightness {
    std::int64_t count = 0;
    double sum = 0, sumSquares = 0;
    std::int64_t clipped = 0;
    void Add(Rgb c)
    {
        // Rec. 601 luma in fixed point.
        const int y = (77 * c.r + 150 * c.g + 29 * c.b) >> 8;
        ++count;
        sum += y;
        sumSquares += static_cast<double>(y) * y;
        if (y >= 250)
            ++clipped;
    }
    [[nodiscard]] double Mean() const { return count ? sum / count : 0; }
    [[nodiscard]] double Spread() const
    {
        if (!count)
            return 0;
        const double mean = Mean();
        return std::sqrt(std::max(0.0, sumSquares / count - mean * mean));
    }
};

// Adds the square's pixels of [x0, x1) × [y0, y1) (clipped to it), every `step`-th in each direction.
template <typename Accept>
void Sample(const Bitmap& square, double x0, double y0, double x1, double y1, int step, Brightness& b, Accept accept)
{
    const int left = std::max(0, static_cast<int>(std::floor(x0)));
    const int top = std::max(0, static_cast<int>(std::floor(y0)));
    const int right = std::min(square.Width(), static_cast<int>(std::ceil(x1)));
    const int bottom = std::min(square.Height(), static_cast<int>(std::ceil(y1)));
    for (int y = top; y < bottom; y += step)
        for (int x = left; x < right; x += step)
            if (accept(x, y))
                b.Add(square.Pixel(x, y));
}

} // namespace

std::vector<PhotoCheck> CheckPhoto(const PhotoSize& size, const CheckInputs& in)
{
    const CheckFace& face = in.face;
    const bool framed = in.square && !in.square->Empty() && in.frame.width > 0 && in.frame.height > 0;
    const double left = in.frame.source.left, top = in.frame.source.top;
    const double width = in.frame.width, height = in.frame.height;
    // The frame prints as the size's image, bleed included: square pixels to millimetres on the print.
    const double mmPerRow = framed ? PrintedImageHeight(size) * kMillimetresPerPrintedRow / height : 0;
    const double mmPerColumn = framed ? PrintedImageWidth(size) * kMillimetresPerPrintedRow / width : 0;
    const double bleed = TenthsToPixels(kBleedTenths) * kMillimetresPerPrintedRow;
    const bool eyes = face.hasEyes && face.rightEyeX > face.leftEyeX;
    std::vector<PhotoCheck> checks;

    // Head top to chin as printed.
    {
        const bool ruled = size.faceMin > 0 || size.faceMax > 0;
        std::string rule = ruled ? Tenths(size.faceMin) + "〜" + Tenths(size.faceMax) + "mm"
                                 : "規定なし・目安 " + Tenths(size.faceTarget) + "mm";
        FaceHeightCheck figure;
        if (!framed || !face.hasHeight
            || CheckFaceHeight(size, face.headTop, face.chin, in.frame.height, figure) != kFaceHeightChecked)
            checks.push_back(Unknown("face_height", "顔の高さ", std::move(rule), "不明（顔が分かりません）"));
        else {
            PhotoCheck c { "face_height", CheckState::Unknown, true, figure.tenths / 10.0, std::move(rule), {} };
            if (ruled)
                c.state = figure.meets ? CheckState::Passed : CheckState::Failed;
            Finish(c, "顔の高さ", Tenths(figure.tenths) + "mm");
            checks.push_back(std::move(c));
        }
    }

    // Head top to the cut's top edge as printed.
    {
        const bool ruled = size.topMin > 0 || size.topMax > 0;
        std::string rule = ruled ? Tenths(size.topMin) + "〜" + Tenths(size.topMax) + "mm"
                                 : "規定なし・目安 " + Tenths(size.topSpace) + "mm";
        if (!framed || !face.hasHeight)
            checks.push_back(Unknown("head_margin", "頭上の余白", std::move(rule), "不明（顔が分かりません）"));
        else {
            const double mm = std::round(((face.headTop - top) * mmPerRow - bleed) * 10) / 10;
            PhotoCheck c { "head_margin", CheckState::Unknown, true, mm, std::move(rule), {} };
            if (ruled)
                c.state = mm * 10 >= size.topMin - 1e-6 && mm * 10 <= size.topMax + 1e-6 ? CheckState::Passed
                                                                                          : CheckState::Failed;
            Finish(c, "頭上の余白", Figure(mm, "mm"));
            checks.push_back(std::move(c));
        }
    }

    // The eye line's angle.
    {
        std::string rule = "±" + Tenths(size.tiltMax) + "°以内";
        if (!eyes)
            checks.push_back(Unknown("tilt", "傾き", std::move(rule), "不明（目の位置が分かりません）"));
        else {
            const double degrees = std::atan2(face.rightEyeY - face.leftEyeY, face.rightEyeX - face.leftEyeX) * 180
                / std::numbers::pi;
            const double shown = std::round(degrees * 10) / 10 + 0.0;
            PhotoCheck c { "tilt", std::abs(shown) * 10 <= size.tiltMax + 1e-6 ? CheckState::Passed
                                                                                : CheckState::Failed,
                true, shown, std::move(rule), {} };
            Finish(c, "傾き", Figure(shown, "°"));
            checks.push_back(std::move(c));
        }
    }

    // The face's centre line against the photo's.
    {
        const double allowed = size.width * size.centrePercent / 1000.0; // mm
        std::string rule = "中心から±" + Figure(allowed, "mm") + "以内";
        double centre = 0;
        bool known = framed;
        if (eyes)
            centre = ((face.leftEyeX + face.rightEyeX) / 2 + face.chinX) / 2; // the nose line, between eyes and chin
        else if (face.hasCentre)
            centre = face.centreX;
        else if (face.hasBox)
            centre = (face.box.x1 + face.box.x2) / 2.0;
        else
            known = false;
        if (!known)
            checks.push_back(Unknown("centre", "中心", std::move(rule), "不明（顔が分かりません）"));
        else {
            const double mm = std::round((centre - (left + width / 2)) * mmPerColumn * 10) / 10 + 0.0;
            PhotoCheck c { "centre", std::abs(mm) <= std::round(allowed * 10) / 10 + 1e-6 ? CheckState::Passed
                                                                                         : CheckState::Failed,
                true, mm, std::move(rule), {} };
            Finish(c, "中心", Figure(mm, "mm"));
            checks.push_back(std::move(c));
        }
    }

    // Both eyes open and inside the cut.
    {
        std::string rule = "両目が開いて写っていること";
        const auto inside = [&](double x, double y) {
            return x >= std::max(0.0, left) && x < std::min<double>(in.square->Width(), left + width)
                && y >= std::max(0.0, top) && y < std::min<double>(in.square->Height(), top + height);
        };
        if (!framed || !eyes)
            checks.push_back(Unknown("eyes", "目", std::move(rule), "不明（目の位置が分かりません）"));
        else if (!inside(face.leftEyeX, face.leftEyeY) || !inside(face.rightEyeX, face.rightEyeY)) {
            PhotoCheck c { "eyes", CheckState::Failed, false, 0, std::move(rule), {} };
            Finish(c, "目", "写真の外にあります");
            checks.push_back(std::move(c));
        } else if (!face.hasOpening)
            checks.push_back(Unknown("eyes", "目", std::move(rule), "不明（目の開きが分かりません）"));
        else {
            const int least = std::min(face.opening.left, face.opening.right);
            PhotoCheck c { "eyes", least >= kEyeOpenMin ? CheckState::Passed : CheckState::Failed, true,
                least / 1000.0, std::move(rule), {} };
            Finish(c, "目", least >= kEyeOpenMin ? "開いています" : "閉じています");
            checks.push_back(std::move(c));
        }
    }

    // The background inside the cut: plain and light.
    {
        std::string rule = "無地で明るいこと";
        Brightness b;
        if (framed) {
            // About 200 samples across the frame's width whatever the photo's resolution.
            const int step = std::max(1, static_cast<int>(width / 200));
            const MaskView* m = in.mask;
            if (m && m->cells && m->width == in.square->Width() && m->height == in.square->Height()) {
                Sample(*in.square, left, top, left + width, top + height, step, b, [m](int x, int y) {
                    return m->cells[static_cast<std::size_t>(y) * m->stride + static_cast<std::size_t>(x)] < 128;
                });
            } else {
                // Without a mask: a strip above the head and one down each side to the eyes, where a frame around a
                // face shows only the wall.
                const double strip = width * 0.08;
                double topStrip = height * 0.08;
                if (face.hasHeight)
                    topStrip = std::min(topStrip, (face.headTop - top) * 0.8);
                double sideBottom = top + height / 3;
                if (eyes)
                    sideBottom = std::min(face.leftEyeY, face.rightEyeY);
                else if (face.hasHeight)
                    sideBottom = (face.headTop + face.chin) / 2.0;
                const auto all = [](int, int) { return true; };
                if (topStrip >= 1)
                    Sample(*in.square, left, top, left + width, top + topStrip, step, b, all);
                Sample(*in.square, left, top + std::max(0.0, topStrip), left + strip, sideBottom, step, b, all);
                Sample(*in.square, left + width - strip, top + std::max(0.0, topStrip), left + width, sideBottom,
                    step, b, all);
            }
        }
        if (b.count < 50)
            checks.push_back(Unknown("background", "背景", std::move(rule), "不明（背景が見えません）"));
        else {
            const double spread = std::round(b.Spread() * 10) / 10, mean = b.Mean();
            const bool patterned = spread > kBackgroundSpreadMax, dark = mean < kBackgroundBrightMin;
            PhotoCheck c { "background", CheckState::Passed, true, spread, std::move(rule), {} };
            std::string shown;
            if (in.backgroundReplaced)
                shown = "無地にします";
            else if (patterned || dark) {
                c.state = CheckState::Failed;
                shown = patterned && dark ? "模様・影があり暗い" : patterned ? "模様・影があります" : "暗い";
            } else
                shown = "無地";
            char figures[64];
            std::snprintf(figures, sizeof figures, " 明るさ %d・むら %.1f", static_cast<int>(std::lround(mean)), spread);
            Finish(c, "背景", shown + figures);
            checks.push_back(std::move(c));
        }
    }

    // The face's exposure: mean brightness, burnt-out share, and a shadow across it (one half darker).
    {
        std::string rule = "暗すぎず白飛び・影がないこと";
        Brightness all, leftHalf, rightHalf;
        double x0 = 0, x1 = 0, y0 = 0, y1 = 0, split = 0;
        if (eyes) {
            // Cheeks, nose and mouth: from just below the eyes to above the chin, as wide as the cheeks.
            const double eyeDistance = std::hypot(face.rightEyeX - face.leftEyeX, face.rightEyeY - face.leftEyeY);
            const double eyeRow = (face.leftEyeY + face.rightEyeY) / 2;
            split = (face.leftEyeX + face.rightEyeX) / 2;
            x0 = split - 0.75 * eyeDistance;
            x1 = split + 0.75 * eyeDistance;
            y0 = eyeRow + 0.15 * (face.chinY - eyeRow);
            y1 = face.chinY - 0.2 * (face.chinY - eyeRow);
        } else if (face.hasBox) {
            const double w = face.box.x2 - face.box.x1, h = face.box.y2 - face.box.y1;
            x0 = face.box.x1 + 0.2 * w;
            x1 = face.box.x2 - 0.2 * w;
            y0 = face.box.y1 + 0.45 * h;
            y1 = face.box.y1 + 0.85 * h;
            split = (x0 + x1) / 2;
        }
        if (framed && x1 > x0 && y1 > y0) {
            const int step = std::max(1, static_cast<int>((x1 - x0) / 100));
            Sample(*in.square, x0, y0, x1, y1, step, all, [](int, int) { return true; });
            Sample(*in.square, x0, y0, split, y1, step, leftHalf, [](int, int) { return true; });
            Sample(*in.square, split, y0, x1, y1, step, rightHalf, [](int, int) { return true; });
        }
        if (all.count < 20 || !leftHalf.count || !rightHalf.count)
            checks.push_back(Unknown("exposure", "明るさ", std::move(rule), "不明（顔が分かりません）"));
        else {
            const double mean = std::round(all.Mean() * 10) / 10;
            const bool dark = mean < kFaceDarkMax;
            const bool burnt = mean > kFaceBrightMin || all.clipped * 100 > all.count * kFaceClippedMaxPercent;
            const bool shadow = std::abs(leftHalf.Mean() - rightHalf.Mean()) > kFaceShadowMax;
            PhotoCheck c { "exposure", dark || burnt || shadow ? CheckState::Failed : CheckState::Passed, true, mean,
                std::move(rule), {} };
            std::string shown = dark ? "暗すぎます" : burnt ? "白飛びしています" : shadow ? "顔に影があります" : "良好";
            char figure[32];
            std::snprintf(figure, sizeof figure, " %d", static_cast<int>(std::lround(mean)));
            Finish(c, "明るさ", shown + figure);
            checks.push_back(std::move(c));
        }
    }

    // A background to be painted plain, for an authority that refuses or may refuse processed photos.
    if (in.backgroundReplaced) {
        PhotoCheck c { "edited", CheckState::Unknown, false, 0, "背景の加工", {} };
        switch (size.editedBackground) {
        case EditedBackground::Accepted:
            c.state = CheckState::Passed;
            c.rule = "加工の規定なし";
            Finish(c, "背景の加工", "問題ありません");
            break;
        case EditedBackground::Refused:
            c.state = CheckState::Failed;
            c.rule = "加工した写真は受け付けられません";
            Finish(c, "背景の加工", "この規格では背景を加工した写真が断られます");
            break;
        case EditedBackground::Unknown:
            c.rule = "加工の可否は公表されていません";
            Finish(c, "背景の加工", "断られる場合があります");
            break;
        }
        checks.push_back(std::move(c));
    }
    return checks;
}

bool ChecksPassed(const std::vector<PhotoCheck>& checks)
{
    return std::none_of(
        checks.begin(), checks.end(), [](const PhotoCheck& c) { return c.state == CheckState::Failed; });
}

std::string ChecksSummaryText(const std::vector<PhotoCheck>& checks)
{
    if (std::all_of(checks.begin(), checks.end(), [](const PhotoCheck& c) { return c.state == CheckState::Unknown; }))
        return {};
    std::string failed;
    for (const PhotoCheck& c : checks) {
        if (c.state != CheckState::Failed)
            continue;
        // The list's name of the check: the line up to its first space.
        const std::string name = c.text.substr(0, c.text.find(' '));
        failed += (failed.empty() ? "" : "・") + name;
    }
    return failed.empty() ? "規格 ✓" : "規格 ✗ " + failed;
}

} // namespace vellicam
