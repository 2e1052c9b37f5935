// Every caption, guide, status text and message the main window and its batch work show, in one place. The engine
// words its own messages (recognition, sheet saving, logs); these are the window's.
#pragma once

#include <QString>

namespace vellicam::main_window_texts {

// The window and the boxes it raises.
inline const QString kWindowTitle = QStringLiteral("Vellicam");
inline const QString kOutOfMemoryCaption = QStringLiteral("Tessaly");
inline const QString kOutOfMemory = QStringLiteral("作業用のメモリが足りません。メモリを増設して下さい。");

// Captions of the controls, left to right and top to bottom.
inline const QString kNewCaption = QStringLiteral("新規作成");
inline const QString kChoosePhotoCaption = QStringLiteral("写真選択");
inline const QString kRecogniseCaption = QStringLiteral("顔自動認識");
inline const QString kMakeSheetCaption = QStringLiteral("シート作成");
inline const QString kSettingsCaption = QStringLiteral("設定");
inline const QString kSkipCaption = QStringLiteral("スキップ");
inline const QString kAbortCaption = QStringLiteral("中断");
inline const QString kZoomLabel = QStringLiteral("拡大率");
inline const QString kAngleLabel = QStringLiteral("回転角");
inline const QString kQuitCaption = QStringLiteral("終了(&C)");
inline const QString kOutputFolderLabel = QStringLiteral("保存先フォルダ");
inline const QString kOutputFolderTip = QStringLiteral("ここへ保存先フォルダをドラッグ＆ドロップします。");
inline const QString kKeepFrameCaption = QStringLiteral("選択範囲/回転を保持する");
inline const QString kOpenFolderCaption = QStringLiteral("シート保存時にフォルダを開く");
inline const QString kSharpenCaption = QStringLiteral("シャープ処理を行う");
inline const QString kContinuousCaption = QStringLiteral("自動連続処理を行う");
inline const QString kPickBackgroundCaption = QStringLiteral("背景色を指定");
inline const QString kHeadLineCaption = QStringLiteral("頭部サイズ指定");
inline const QString kTurnLeftCaption = QStringLiteral("左９０度回転");
inline const QString kTurnLeftTenthCaption = QStringLiteral("左0.1度回転");
inline const QString kTurnRightTenthCaption = QStringLiteral("右0.1度回転");
inline const QString kTurnRightCaption = QStringLiteral("右９０度回転");
inline const QString kResetTurnCaption = QStringLiteral("回転リセット");

// Opening a photo.
inline const QString kOpenDialogTitle = QStringLiteral("写真画像の選択");
inline const QString kFileNotFound = QStringLiteral("ファイルが見つかりません: "); // + the path
inline const QString kPhotoTooLarge = QStringLiteral("写真が大きすぎて扱えません（%1 × %2 ピクセル）");

// Turning, the head line and the background pick.
inline const QString kTooLargeToTurn = QStringLiteral("回転できる画像の最大サイズは9600ピクセルです。");
inline const QString kHeadLineGuide = QStringLiteral("頭頂部と顎をドラッグして結びます");
inline const QString kPickPrompt = QStringLiteral("画面をクリックしてください");
inline const QString kPickGuide = QStringLiteral("画像上（赤枠以外）で背景色を指定する位置でクリックしてください");

// The sheet.
inline const QString kEnlargementQuestion = QStringLiteral(
    "選択範囲が出力先サイズより小さいので拡大されます。\n画質が悪くなる可能性があります。\n中断しますか？");
inline const QString kReductionFailedQuestion = QStringLiteral("縮小に失敗しました。中断しますか？");
inline const QString kSaved = QStringLiteral("保存しました。");
inline const QString kSavedStatus = QStringLiteral("保存しました。:"); // + the sheet's path

// Dropped files and batch work.
inline const QString kDroppedJpegs = QStringLiteral("JPEGファイル %1");
inline const QString kFolderCounts = QStringLiteral("サブフォルダ数 %1  全ファイル数 %2   JPEGファイル数 %3");
inline const QString kAllDone
    = QStringLiteral("このフォルダ内の画像は全て処理済みです。\n上書きする場合には[設定]画面の「同名のファイル"
                     "は上書きしない」のチェックを外して下さい。");
inline const QString kAborted = QStringLiteral("中断しました。");
// The error log's label for a batch photo that could not be opened, in the style of recognition's labels.
inline constexpr const char* kLoadErrorLabel = "  画像読込エラー:  ";

} // namespace vellicam::main_window_texts
