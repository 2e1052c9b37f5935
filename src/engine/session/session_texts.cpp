// The texts made from the engine's results: the reduction's messages and the rotation's status line.
#include "session/session_texts.h"

#include "resample/reduce.h"
#include "resample/rotate.h"

#include <charconv>
#include <cstdio>

namespace vellicam {

namespace {

// "(幅 %d  高さ%d)" and the rest of a reduction message, with the sizes the refusal is about.
std::string WithSize(const char* format, const EngineError& error)
{
    char text[512];
    std::snprintf(text, sizeof text, format, error.width, error.height, kMaxPlaneSide, kMaxPlaneSide);
    return text;
}

} // namespace

std::string ReductionMessage(const EngineError& error)
{
    switch (error.code) {
    case ErrorCode::SizeBelowOne:
        return WithSize("画像サイズが1px未満なので高画質圧縮を中断しました。(幅 %d  高さ%d)", error);
    case ErrorCode::AspectDiffers:
        return WithSize("比率が違うので高画質圧縮を中断しました。(幅 %d  高さ%d)", error);
    case ErrorCode::SameSize:
        return WithSize("画像サイズが同じなので高画質圧縮を中断しました。(幅 %d  高さ%d)", error);
    case ErrorCode::SourceTooLarge:
        return WithSize("元画像が大きすぎるので高画質圧縮を中断しました。(幅 %d  高さ%d)\n"
                        "最大サイズは幅　%dpx　高さ%dpxです。",
            error);
    case ErrorCode::TargetTooLarge:
        return WithSize("縮小後画像が大きすぎるので高画質圧縮を中断しました。(幅 %d  高さ%d)\n"
                        "最大サイズは幅　%dpx　高さ%dpxです。",
            error);
    case ErrorCode::BeyondHundredth:
        return "縮小率が大きすぎるので高画質圧縮を中断しました。最大1/100です。";
    case ErrorCode::NotSmaller:
        return "拡大なので高画質圧縮を中断しました。";
    case ErrorCode::OutOfMemory:
        return std::string(kTextOutOfMemory);
    default:
        return {};
    }
}

std::string RotationStatusText(int angle)
{
    // Six decimals as printf's %f gives them, but independent of the locale's decimal mark.
    char digits[64];
    const double degrees = NormaliseRotationAngle(angle) * 0.1;
    const auto result = std::to_chars(digits, digits + sizeof digits, degrees, std::chars_format::fixed, 6);
    return "回転角 " + std::string(digits, result.ptr);
}

} // namespace vellicam
