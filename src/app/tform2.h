// The settings dialog: every tunable of the program, held as the state of its own controls, and the memory
// report's memo. Other windows read the controls when they need a value.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QPlainTextEdit>
#include <QSlider>
#include <QToolButton>

namespace vellicam {

class TForm1;

class TForm2 : public QDialog {
public:
    explicit TForm2(TForm1& form1, QWidget* parent = nullptr);

    QCheckBox* CheckBox4 = nullptr; // 画像読込時に自動認識を行う
    QCheckBox* CheckBox9 = nullptr; // 自動認識出来ないのをスキップ
    QCheckBox* CheckBox7 = nullptr; // 背景色で頭頂位置を補正する
    QCheckBox* CheckBox11 = nullptr; // 画像の90％以上の場合は認識エラーとする
    QCheckBox* CheckBox12 = nullptr; // 画像の上半分のみを対象に検出する
    QCheckBox* CheckBox14 = nullptr; // 顎も検出する
    QCheckBox* CheckBox3 = nullptr; // 顔認識結果を表示する
    QCheckBox* CheckBox1 = nullptr; // センタートンボ出力
    QCheckBox* CheckBox2 = nullptr; // コーナートンボ出力
    QCheckBox* CheckBox5 = nullptr; // 目盛の出力
    QCheckBox* CheckBox8 = nullptr; // 同名のファイルは上書きしない
    QCheckBox* CheckBox6 = nullptr; // 認識結果画像を保存
    QSlider* TrackBar4 = nullptr; // Jpeg画質
    QSlider* TrackBar3 = nullptr; // 頭頂部の背景色比率しきい値
    QSlider* TrackBar1 = nullptr; // 背景色とする色範囲
    QSlider* TrackBar2 = nullptr; // 自動検出精度
    QSlider* TrackBar6 = nullptr; // 顔最小サイズ
    QToolButton* BitBtn11 = nullptr; // 閉じる
    QPlainTextEdit* Memo1 = nullptr;

    void FormShow();
    void BitBtn11Click();
    void CheckBox4Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    TForm1& form1_;
};

} // namespace vellicam
