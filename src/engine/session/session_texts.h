// The texts a person reads from the session's actions, kept in one place: questions, messages and status lines, the
// words for the engine's failures, and the error log's name and lines. The image, sheet and resample layers below
// word nothing: they return values, and the texts are made here.
#pragma once

#include "core/engine_error.h"

#include <string>
#include <string_view>

namespace vellicam {

struct FaceHeightCheck;
struct PaperSize;
struct PhotoSize;
struct RecognitionOutcome;
struct SheetLayout;

inline constexpr std::string_view kTextOutOfMemory = "作業用のメモリが足りません。メモリを増設して下さい。";
inline constexpr std::string_view kTextTooLargeToTurn = "回転できる画像の最大サイズは9600ピクセルです。";
inline constexpr std::string_view kTextPhotoTooLarge = "写真が大きすぎて扱えません（%d × %d ピクセル）";
inline constexpr std::string_view kTextEnlargementQuestion
    = "選択範囲が出力先サイズより小さいので拡大されます。\n画質が悪くなる可能性があります。\n中断しますか？";
// A proposed frame that no place on the photo can hold: the angle panel's warning, the sheet's question and the
// error log's label in an unattended run.
inline constexpr std::string_view kTextFrameOutsidePhoto = "写真の外側が含まれます";
inline constexpr std::string_view kTextFrameOutsideQuestion
    = "選択範囲に写真の外側（黒い部分）が含まれます。\n証明写真に黒い部分が入ります。中断しますか？";
inline constexpr std::string_view kLogLabelFrameOutside = "  写真の外側を含む:  ";
inline constexpr std::string_view kTextReductionFailedQuestion = "縮小に失敗しました。中断しますか？";
// The plain background could not be made; the reason follows. No sheet is made rather than one with the old background.
inline constexpr std::string_view kTextPlainBackgroundFailed = "背景を無地にできません: ";
inline constexpr std::string_view kTextPlainBackgroundNoModel
    = "人物マスクのモデルがありません（[設定]の顔検出の欄を参照して下さい）。";
inline constexpr std::string_view kTextPlainBackgroundNoPerson = "写真の中央に人物が見つかりません。";
inline constexpr std::string_view kTextPlainBackgroundMaskFailed = "人物マスクを作れませんでした。";
inline constexpr std::string_view kLogLabelPlainBackground = "  背景を無地にできません:  ";
// A person beside the chosen one shares the frame: status panel 2.
inline constexpr std::string_view kTextOtherPeople = "他の人が写っています";
// The face was found only below the minimum face size (設定): status panel 2.
inline constexpr std::string_view kTextSmallFace = "顔が小さいため印刷がぼやけます";
// A photo that did not open and a sheet that was not saved: the first line of the message (and the status panel's
// short form); the path and the reason follow on lines of their own.
inline constexpr std::string_view kTextPhotoNotOpened = "写真を開けませんでした。";
inline constexpr std::string_view kTextSheetNotSaved = "シートを保存できませんでした。";
inline constexpr std::string_view kTextNoOutputFolder = "保存先フォルダが指定されていません。";
inline constexpr std::string_view kTextFolderNotCreated = "保存先フォルダを作成出来ません。";
inline constexpr std::string_view kTextSaved = "保存しました。";
inline constexpr std::string_view kTextSavedStatus = "保存しました。:";
inline constexpr std::string_view kTextNoFreeSheetName = "保存先フォルダに使えるシートのファイル名がありません。";
inline constexpr std::string_view kTextAborted = "中断しました。";
inline constexpr std::string_view kTextAllDone = "このフォルダ内の画像は全て処理済みです。\n上書きする場合には[設定]画面の「同名のファイル"
                                                 "は上書きしない」のチェックを外して下さい。";
// The end of a batch in which some photo got no sheet: saved, skipped, failed.
inline constexpr std::string_view kTextBatchSummary = "%d枚保存しました。スキップ %d、失敗 %d";
// After it, the photos recognition could not read, and the error log that names them.
inline constexpr std::string_view kTextBatchUnrecognised = "\n自動認識出来なかった写真 %d枚";
inline constexpr std::string_view kTextBatchLogNamed = "\n記録: ";
// The error log's labels for a batch photo that could not be opened and for a rough photo in an unattended run.
inline constexpr std::string_view kLogLabelLoadError = "  画像読込エラー:  ";
inline constexpr std::string_view kLogLabelLowResolution = "  低解像度:  ";

// Why a file could not be read or written, in words for people: the common errno values and the engine's own
// refusals in Japanese, the system's own text otherwise. `path` tells a folder from a pipe or a device when the
// error is that the path holds no regular file.
[[nodiscard]] std::string FailureReasonText(const EngineError& error, const std::string& path = {});
// "写真を開けませんでした。", the photo's path and the reason, each on its line.
[[nodiscard]] std::string PhotoOpenFailureText(const std::string& path, const EngineError& error);
// The words of a photo too large to work on, with its size.
[[nodiscard]] std::string PhotoTooLargeText(int width, int height);
// The information text shown when a rough photo (IsLowResolution) is loaded.
[[nodiscard]] std::string LowResolutionMessage(int width, int height);
// What a failed sheet save at `path` says (SaveSheetJpeg's code and error): no folder given; the folder that could
// not be made or entered, with the reason; or "シートを保存できませんでした。", the sheet's path and the reason.
[[nodiscard]] std::string SheetSaveFailureText(const std::string& path, int code, const EngineError& error);
// What the error log says when its folder cannot be made: "保存先フォルダを作成出来ません。" and the folder.
[[nodiscard]] std::string LogFolderFailureText(const std::string& folder);

// The recognition error log: its file name, its path inside the output folder (OutputFolder: the box's text as a
// folder, or the photo folder) and its lines.
inline constexpr const char* kRecognitionLogName = "自動認識エラーログ.txt";
[[nodiscard]] std::string RecognitionLogPath(const std::string& folderBoxText, const std::string& photoFolder);
enum class RecognitionError {
    Internal, // the detector failed inside
    NotDetected, // no face found
    FalseDetection, // the proposed frame covers more than 90 % of the image
};
// time stamp + the error's label + the photo's path.
[[nodiscard]] std::string RecognitionErrorLine(
    RecognitionError error, const std::string& timestamp, const std::string& photoPath);
// The line for a recognition outcome (time stamp, label, photo path), or "" when the outcome asks for none.
[[nodiscard]] std::string RecognitionLogLine(
    const RecognitionOutcome& outcome, const std::string& timestamp, const std::string& photoPath);
// time stamp + the sheet's label + the photo's path + why it got no sheet: an unattended run's failed sheet.
[[nodiscard]] std::string SheetErrorLine(
    const std::string& timestamp, const std::string& photoPath, const std::string& reason);

// The size's rule as "顔 32〜36mm・頭上 4mm" ("顔 27mm（目安）・頭上 4mm" without one).
[[nodiscard]] std::string FaceRuleText(const PhotoSize& size);
// The face-height check as the angle panel shows it: "顔の高さ 34.1mm ✓", "顔の高さ 29.0mm（規定 32〜36mm）",
// "顔の高さ 18.0mm" for a size without a rule.
[[nodiscard]] std::string FaceHeightText(const FaceHeightCheck& check, const PhotoSize& size);
// What the window's status bar or title says of the layout in use: "パスポート 35 × 45mm・2L判 6枚".
[[nodiscard]] std::string LayoutStatusText(const PhotoSize& size, const PaperSize& paper, const SheetLayout& layout);

// The reduction's message for what it refused or noted ("" after a plain reduction): the sizes it names are the
// ones the error carries.
[[nodiscard]] std::string ReductionMessage(const EngineError& error);
// The status text after a rotation: "回転角 %f" of the angle normalised into 0..3599, × 0.1 ("回転角 270.000000").
[[nodiscard]] std::string RotationStatusText(int angle);

} // namespace vellicam
