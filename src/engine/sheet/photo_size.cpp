// The photo and paper size lists, and the face-height check.
#include "sheet/photo_size.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdio>

namespace vellicam {

namespace {

// Each face rule is the issuing authority's published requirement; where it gives a range the layout aims at its
// middle. "Head top to chin" includes the hair, as every one of these requirements measures it.
//
// The rules every entry shares unless its authority is stricter, from ICAO Doc 9303 part 3 and the ISO/IEC
// 19794-5 full-frontal portrait it refers to: the face's centre line within 5 % of the width from the photo's
// centre line (its 45–55 % band). ICAO asks for a head "not tilted" and gives no roll figure for the printed
// photo; the program allows 5.0° of eye line (its own choice: the upright portraits of the development photos lie
// within 4.4°; the leaning ones, from 5.3° to 46°, fail). No authority below gives a figure for tilt.
constexpr int kTilt = 50;
constexpr int kCentre = 5;
constexpr std::array<PhotoSize, 8> kPhotoSizes { {
    // No authority sets a résumé photo's face. The layout keeps the framing this program has always made: a
    // 27 mm face with 4 mm above it, in the common 30 × 40 mm print.
    { "resume", "履歴書・一般", 300, 400, 270, 0, 0, 40, 0, 0, kTilt, kCentre, EditedBackground::Accepted },
    // Ministry of Foreign Affairs of Japan, photo requirements for passport applications: 45 × 35 mm, head top to
    // chin 34 ± 2 mm (32–36), space above the head 4 ± 2 mm (2–6); tilted heads, closed eyes and photos processed
    // by a program ("画像を加工するなど画像処理をしている") are listed among the photos it refuses.
    { "passport", "パスポート", 350, 450, 340, 320, 360, 40, 20, 60, kTilt, kCentre, EditedBackground::Refused },
    // Japan Agency for Local Authority Information Systems (J-LIS), "顔写真のチェックポイント": 4.5 × 3.5 cm; its
    // guide figure gives the passport's proportions, head top to chin 34 ± 2 mm and 4 ± 2 mm above the head. It says
    // nothing of a replaced background.
    { "mynumber", "マイナンバーカード", 350, 450, 340, 320, 360, 40, 20, 60, kTilt, kCentre, EditedBackground::Unknown },
    // Road Traffic Act Enforcement Regulations art. 17 (2) (ix) and the prefectural police guidance: 3.0 × 2.4 cm,
    // the upper third of the body (chest up), about 3 mm above the head. No face height is set: the police samples
    // show faces of about half the height, studios print about 22 mm because smaller faces have been returned;
    // 20 mm lies between and leaves the neck and the top of the chest in the picture. No range for the space above
    // the head, nothing on a replaced background.
    { "licence", "運転免許証", 240, 300, 200, 0, 0, 30, 0, 0, kTilt, kCentre, EditedBackground::Unknown },
    // Immigration Services Agency of Japan, "提出写真の規格": 4 × 3 cm, head top (with hair) to chin 25 ± 3 mm
    // (22–28), 2–8 mm above the head. Nothing on a replaced background.
    { "residence", "在留カード", 300, 400, 250, 220, 280, 50, 20, 80, kTilt, kCentre, EditedBackground::Unknown },
    // U.S. Department of State, photo requirements for visas and passports: 2 × 2 in, head 1 to 1 3/8 in (25.4–34.9
    // mm), eyes 1 1/8 to 1 3/8 in above the bottom. The head aims at 1 3/16 in; with the eyes half-way down the
    // head and at the middle of their range, 4 mm remain above the head (no range of its own: the eyes' band sets
    // it). Photos "digitally altered" are refused.
    { "us", "米国ビザ・パスポート", 508, 508, 302, 254, 349, 40, 0, 0, kTilt, kCentre, EditedBackground::Refused },
    // Embassy of the People's Republic of China, visa application photo requirements: 33 × 48 mm, head height
    // (chin to crown) 28–33 mm, 3–5 mm between the head top and the photo's top edge. Nothing on a replaced
    // background.
    { "china", "中国ビザ", 330, 480, 305, 280, 330, 40, 30, 50, kTilt, kCentre, EditedBackground::Unknown },
    // EU Visa Code / ICAO Doc 9303 as the Schengen consulates publish it: 35 × 45 mm, chin to crown 32–36 mm (70–80 %
    // of the height). No space above the head is given; 4 mm as for the passports of the same standard. ICAO's
    // portrait must not be digitally altered.
    { "schengen", "シェンゲンビザ", 350, 450, 340, 320, 360, 40, 0, 0, kTilt, kCentre, EditedBackground::Refused },
} };

constexpr std::array<PaperSize, 3> kPaperSizes { {
    { "L", "L判", 890, 1270 },
    { "2L", "2L判", 1270, 1780 },
    // 4 × 6 in exactly (101.6 × 152.4 mm): 1200 × 1800 pixels.
    { "4x6", "4×6インチ", 1016, 1524 },
} };

} // namespace

std::string Millimetres(int tenths)
{
    char buffer[32];
    if (tenths % 10 == 0)
        std::snprintf(buffer, sizeof buffer, "%d", tenths / 10);
    else
        std::snprintf(buffer, sizeof buffer, "%d.%d", tenths / 10, tenths % 10);
    return buffer;
}

std::span<const PhotoSize> PhotoSizes()
{
    return kPhotoSizes;
}
std::span<const PaperSize> PaperSizes()
{
    return kPaperSizes;
}
const PhotoSize& DefaultPhotoSize()
{
    return kPhotoSizes[0];
}
const PaperSize& DefaultPaperSize()
{
    return kPaperSizes[0];
}

const PhotoSize* FindPhotoSize(std::string_view id)
{
    for (const PhotoSize& size : kPhotoSizes)
        if (id == size.id)
            return &size;
    return nullptr;
}

const PaperSize* FindPaperSize(std::string_view id)
{
    for (const PaperSize& paper : kPaperSizes)
        if (id == paper.id)
            return &paper;
    return nullptr;
}

int TenthsToPixels(int tenths, int dpi)
{
    if (tenths <= 0 || dpi <= 0)
        return 0;
    // Both factors below 2^31: the product stays far inside 64 bits; the result saturates at the int range.
    const std::int64_t pixels = (static_cast<std::int64_t>(tenths) * dpi * 2 + 254) / 508;
    return static_cast<int>(std::min<std::int64_t>(pixels, INT_MAX));
}

namespace {

// Half the length rounded to the nearest pixel, doubled: the nearest even number of pixels.
int EvenPixels(int tenths)
{
    if (tenths <= 0)
        return 0;
    return 2 * static_cast<int>((static_cast<std::int64_t>(tenths) * kSheetResolution * 2 + 508) / 1016);
}

} // namespace

int PrintedCutWidth(const PhotoSize& size)
{
    return EvenPixels(size.width);
}
int PrintedCutHeight(const PhotoSize& size)
{
    return EvenPixels(size.height);
}
int PrintedImageWidth(const PhotoSize& size)
{
    return PrintedCutWidth(size) + 2 * TenthsToPixels(kBleedTenths);
}
int PrintedImageHeight(const PhotoSize& size)
{
    return PrintedCutHeight(size) + 2 * TenthsToPixels(kBleedTenths);
}

std::string SizeText(const PhotoSize& size)
{
    return Millimetres(size.width) + " × " + Millimetres(size.height) + "mm";
}

int CheckFaceHeight(const PhotoSize& size, int headTop, int chin, int frameHeight, FaceHeightCheck& check)
{
    if (size.height < 1 || size.height > 100000) // beyond ten metres no photo of the lists lies
        return kFaceHeightBadSize;
    if (frameHeight < 1)
        return kFaceHeightBadFrame;
    const std::int64_t face = static_cast<std::int64_t>(chin) - headTop;
    if (face < 1)
        return kFaceHeightBadFace;
    // face / frameHeight of the printed image's rows, each 254 / kSheetResolution tenths; rounded half up.
    const std::int64_t numerator = face * PrintedImageHeight(size) * 254;
    const std::int64_t denominator = static_cast<std::int64_t>(frameHeight) * kSheetResolution;
    const std::int64_t tenths = (2 * numerator + denominator) / (2 * denominator);
    if (tenths > 100000) // ten metres: a face this many times the frame is no face of this photo
        return kFaceHeightTooLarge;

    FaceHeightCheck out;
    out.tenths = static_cast<int>(tenths);
    out.ruled = size.faceMin > 0 || size.faceMax > 0;
    out.meets = out.ruled && out.tenths >= size.faceMin && out.tenths <= size.faceMax;
    check = std::move(out);
    return kFaceHeightChecked;
}

} // namespace vellicam
