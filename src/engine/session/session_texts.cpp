// The texts made from the engine's results: failures to read and write files, the reduction's messages and the
// rotation's status line.
#include "session/session_texts.h"

#include "image/image_io.h"
#include "recognition/recognition_run.h"
#include "resample/reduce.h"
#include "resample/rotate.h"
#include "sheet/output_path.h"
#include "sheet/photo_size.h"
#include "sheet/sheet_layout.h"

#include <cerrno>
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

// The common reasons the system gives, in the words people know them by; "" for the rest.
std::string_view SystemReasonText(int error)
{
    switch (error) {
    case ENOENT:
        return "ファイルが見つかりません";
    case EACCES:
    case EPERM:
        return "アクセスが拒否されました";
    case ENOSPC:
    case EDQUOT:
        return "ディスクの空き容量が不足しています";
    case EFBIG:
        return "ファイルが大きすぎます";
    case EROFS:
        return "読み取り専用の場所です";
    case EISDIR:
        return "フォルダです（ファイルではありません）";
    case ENOTDIR:
        return "途中にフォルダではないものがあります";
    case EEXIST:
        return "同じ名前のファイルがあります";
    case ELOOP:
        return "シンボリックリンクが循環しています";
    case ENAMETOOLONG:
        return "名前が長すぎます";
    case EIO:
        return "読み書きの途中でエラーが起きました（ディスクを確認して下さい）";
    case EMFILE:
    case ENFILE:
        return "開いているファイルが多すぎます";
    case EBUSY:
    case ETXTBSY:
        return "ファイルが使用中です";
    case ENOMEM:
        return kTextOutOfMemory;
    default:
        return {};
    }
}

// What lies at a path that holds no regular file.
std::string_view NotAFileText(const std::string& path)
{
    switch (KindOfFile(path)) {
    case FileKind::Folder:
        return "写真のファイルではありません（フォルダ）";
    case FileKind::NamedPipe:
        return "写真のファイルではありません（名前付きパイプ）";
    case FileKind::Device:
        return "写真のファイルではありません（デバイス）";
    case FileKind::Socket:
        return "写真のファイルではありません（ソケット）";
    default:
        return "写真のファイルではありません";
    }
}

std::string Lines(std::string_view first, const std::string& path, const std::string& reason)
{
    return std::string(first) + "\n" + path + "\n" + reason;
}

} // namespace

std::string FailureReasonText(const EngineError& error, const std::string& path)
{
    if (error.code == ErrorCode::OutOfMemory)
        return std::string(kTextOutOfMemory);
    // A file that is not there is "not found" whatever the system called it (a part of the path that is a file).
    if (error.code == ErrorCode::NotFound)
        return std::string(SystemReasonText(ENOENT));
    if (const std::string_view known = SystemReasonText(error.systemError); !known.empty())
        return std::string(known);
    switch (error.code) {
    case ErrorCode::NoFileName:
        return "ファイル名がありません";
    case ErrorCode::NotARegularFile:
        return std::string(NotAFileText(path));
    case ErrorCode::UnknownFormat:
    case ErrorCode::Corrupt:
        return "画像として読み込めません（壊れているか、JPEG・PNG・PPMではありません）";
    case ErrorCode::Truncated:
        return "画像が途中で切れています（ファイルが壊れているか、書き込みの途中です）";
    case ErrorCode::Unsupported:
        return "対応していない種類の画像です";
    case ErrorCode::TooLarge:
        if (error.domain == ErrorDomain::Decode)
            return PhotoTooLargeText(error.width, error.height);
        break;
    default:
        break;
    }
    if (!error.reason.empty())
        return error.reason;
    switch (error.domain) {
    case ErrorDomain::Decode:
        return "画像として読み込めません";
    case ErrorDomain::Encode:
        return "画像を作れませんでした";
    default:
        return "ファイルを読み書きできません";
    }
}

std::string PhotoOpenFailureText(const std::string& path, const EngineError& error)
{
    return Lines(kTextPhotoNotOpened, path, FailureReasonText(error, path));
}

std::string PhotoTooLargeText(int width, int height)
{
    char text[256];
    std::snprintf(text, sizeof text, std::string(kTextPhotoTooLarge).c_str(), width, height);
    return text;
}

std::string LowResolutionMessage(int width, int height)
{
    char text[256];
    std::snprintf(text, sizeof text,
        "画像解像度が低いので作成画像が荒れる可能性があります。\n\n横ピクセル数:%d 縦ピクセル数: %d", width, height);
    return text;
}

std::string SheetSaveFailureText(const std::string& path, int code, const EngineError& error)
{
    switch (code) {
    case kSheetSaved:
        return {};
    case kSaveNoFolder:
        return std::string(kTextNoOutputFolder);
    case kSaveFolderNotCreated:
    case kSaveFolderUnusable:
        return Lines(kTextFolderNotCreated, FolderOf(path), FailureReasonText(error));
    default:
        return Lines(kTextSheetNotSaved, path, FailureReasonText(error));
    }
}

std::string LogFolderFailureText(const std::string& folder)
{
    return std::string(kTextFolderNotCreated) + "\n" + folder;
}

std::string RecognitionLogPath(const std::string& folderBoxText, const std::string& photoFolder)
{
    return OutputFolder(folderBoxText, photoFolder) + kRecognitionLogName;
}

std::string RecognitionErrorLine(RecognitionError error, const std::string& timestamp, const std::string& photoPath)
{
    // The first label has full-width parentheses, the other two half-width ones; readers of old logs know them so.
    const char* label = "  自動顔認識エラー（内部エラー）:  ";
    if (error == RecognitionError::NotDetected)
        label = "  自動顔認識エラー(非検出):  ";
    else if (error == RecognitionError::FalseDetection)
        label = "  自動顔認識エラー(誤検出):  ";
    return timestamp + label + photoPath;
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

std::string SheetErrorLine(const std::string& timestamp, const std::string& photoPath, const std::string& reason)
{
    std::string line = timestamp + "  シート作成エラー:  " + photoPath + "  ";
    // One line per photo: the reason's own line breaks become spaces.
    for (const char c : reason)
        line += c == '\n' || c == '\r' ? ' ' : c;
    return line;
}

std::string FaceRuleText(const PhotoSize& size)
{
    const std::string top = "・頭上 " + Millimetres(size.topSpace) + "mm";
    if (size.faceMin <= 0 && size.faceMax <= 0)
        return "顔 " + Millimetres(size.faceTarget) + "mm（目安）" + top;
    return "顔 " + Millimetres(size.faceMin) + "〜" + Millimetres(size.faceMax) + "mm" + top;
}

std::string FaceHeightText(const FaceHeightCheck& check, const PhotoSize& size)
{
    char figure[32];
    std::snprintf(figure, sizeof figure, "%d.%d", check.tenths / 10, check.tenths % 10);
    std::string text = std::string("顔の高さ ") + figure + "mm";
    if (check.meets)
        text += " ✓";
    else if (check.ruled)
        text += "（規定 " + Millimetres(size.faceMin) + "〜" + Millimetres(size.faceMax) + "mm）";
    return text;
}

std::string LayoutStatusText(const PhotoSize& size, const PaperSize& paper, const SheetLayout& layout)
{
    return std::string(size.name) + " " + SizeText(size) + "・" + paper.name + " " + std::to_string(layout.CellCount)
        + "枚";
}

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
