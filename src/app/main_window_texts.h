// Every caption, guide, status text and message the main window and its batch work show, in one place. The session
// words the engine's results (a photo that did not open, sheet saving, logs: session/session_texts.h) and
// recognition its own messages; these are the window's.
#pragma once

#include "session/session_texts.h"

#include <QString>

namespace vellicam::main_window_texts {

// A text the session words too, as the window shows it.
inline QString FromSession(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The window and the boxes it raises.
inline const QString kWindowTitle = QStringLiteral("Vellicam");
inline const QString kOutOfMemoryCaption = QStringLiteral("Tessaly");
inline const QString kOutOfMemory = FromSession(kTextOutOfMemory);

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
inline const QString kUndoCaption = QStringLiteral("元に戻す");
inline const QString kRedoCaption = QStringLiteral("やり直し");
// Centred in the photo view while no photo is open.
inline const QString kEmptyViewHint = QStringLiteral("写真を選択するか、写真やフォルダをここにドロップしてください");

// Recognition on opening asked for without the face cascade beside the program.
// The settings file on the start and on a change.
inline const QString kSettingsUnreadable = QStringLiteral("設定ファイルを読めませんでした。既定の設定で始めます。");
inline const QString kSettingsUnwritable = QStringLiteral("設定ファイルに書き込めませんでした。");
inline const QString kCascadeMissing = QStringLiteral("顔認識用のXMLデータが見つかりません。");

// Opening a photo (why a photo did not open, the questions of the sheet and the error log's words are the
// session's: session/session_texts.h).
inline const QString kOpenDialogTitle = QStringLiteral("写真画像の選択");

// Turning, the head line and the background pick.
inline const QString kTooLargeToTurn = FromSession(kTextTooLargeToTurn);
inline const QString kHeadLineGuide = QStringLiteral("頭頂部と顎をドラッグして結びます");
inline const QString kPickPrompt = QStringLiteral("画面をクリックしてください");
inline const QString kPickGuide = QStringLiteral("画像上（赤枠以外）で背景色を指定する位置でクリックしてください");

// Work that stopped on a fault of its own (the program's reason follows); the window is usable after it.
inline const QString kWorkFailed = QStringLiteral("処理を続けられませんでした。\n%1");

// The sheet.
inline const QString kSaved = FromSession(kTextSaved);

// Dropped files and batch work.
inline const QString kDroppedJpegs = QStringLiteral("JPEGファイル %1");
inline const QString kFolderCounts = QStringLiteral("サブフォルダ数 %1  全ファイル数 %2   JPEGファイル数 %3");
inline const QString kAllDone = FromSession(kTextAllDone);
inline const QString kAborted = FromSession(kTextAborted);
// A message of a continuous run names its photo; a photo recognition could not read stops the run there.
inline const QString kAboutPhoto = QStringLiteral("写真「%1」\n%2");
inline const QString kRunStoppedAtPhoto = QStringLiteral(
    "自動連続処理は %1 で止まりました。枠を合わせて「シート作成」で続けるか、「スキップ」して下さい。");
// The continuous run's progress: photos done of all.
inline const QString kContinuousProgress = QStringLiteral("自動連続処理 %1 / %2");

} // namespace vellicam::main_window_texts
