#include "dialog_service.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>

namespace vellicam {

void QtDialogService::Message(const QString& title, const QString& text, MessageIcon icon)
{
    QMessageBox box(icon == MessageIcon::Information ? QMessageBox::Information : QMessageBox::NoIcon, title, text,
        QMessageBox::Ok, parent_);
    box.exec();
}

bool QtDialogService::Ask(const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

QString QtDialogService::OpenPicture(const QString& title, const QString& folder)
{
    QFileDialog dialog(parent_, title, folder);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({ QStringLiteral("JPEG画像 (*.jpg *.jpeg *.JPG *.JPEG)"), QStringLiteral("すべてのファイル (*)") });
    // Wide enough for the name, size, type and date columns of the detail view.
    dialog.resize(900, 560);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList files = dialog.selectedFiles();
    // More than one file is treated as no choice at all.
    return files.size() == 1 ? files.front() : QString();
}

bool QtDialogService::OpenUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

} // namespace vellicam
