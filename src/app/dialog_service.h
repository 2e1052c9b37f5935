// The one door to modal message boxes, the picture open dialog and the desktop's "open": the window asks through
// it, so tests can answer questions and record what would have been shown.
#pragma once

#include <QString>
#include <QUrl>

class QWidget;

namespace vellicam {

enum class MessageIcon { None, Information };

class DialogService {
public:
    virtual ~DialogService() = default;
    // A message box with one OK button.
    virtual void Message(const QString& title, const QString& text, MessageIcon icon) = 0;
    // A Yes/No question; true for Yes.
    virtual bool Ask(const QString& title, const QString& text) = 0;
    // The picture open dialog: one existing file, or an empty string when the user cancelled.
    virtual QString OpenPicture(const QString& title, const QString& folder) = 0;
    // Hands a folder or a file to the desktop to open; false when nothing could open it.
    virtual bool OpenUrl(const QUrl& url) = 0;
};

// The real boxes, parented to `parent` so they stay above the main window.
class QtDialogService final : public DialogService {
public:
    explicit QtDialogService(QWidget* parent = nullptr)
        : parent_(parent)
    {
    }
    void SetParent(QWidget* parent) { parent_ = parent; }

    void Message(const QString& title, const QString& text, MessageIcon icon) override;
    bool Ask(const QString& title, const QString& text) override;
    QString OpenPicture(const QString& title, const QString& folder) override;
    bool OpenUrl(const QUrl& url) override;

private:
    QWidget* parent_ = nullptr;
};

} // namespace vellicam
