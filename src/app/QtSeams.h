#pragma once
// The core's message-box and save-dialog seams answered with real Qt dialogs, and the conversions
// between the core's byte strings and Qt text.

#include <QPointer>
#include <QString>
#include <QWidget>
#include <string>
#include <string_view>

#include "platform/Seams.h"

// Core text is bytes: shown as UTF-8 when it is valid UTF-8 (paths and messages on this system),
// else byte for byte as Latin-1, so that nothing is ever lost to replacement characters.
[[nodiscard]] QString TextFromBytes(std::string_view bytes);
// A path as the file system wants its bytes.
[[nodiscard]] std::string PathToBytes(const QString& path);

// Message boxes with the exact text and caption, owned by the given window while it lives.
class CQtMessageBox : public IMessageBox {
public:
    void SetOwner(QWidget* pOwner) { m_pOwner = pOwner; }
    int MessageBox(std::string_view text, std::string_view caption, unsigned flags) override;

private:
    QPointer<QWidget> m_pOwner;
};

// The save dialog: the request's filters, default extension, overwrite prompt and start directory.
class CQtSaveDialog : public ISaveDialog {
public:
    void SetOwner(QWidget* pOwner) { m_pOwner = pOwner; }
    std::optional<std::string> AskSavePath(const SaveDialogRequest& request) override;

private:
    QPointer<QWidget> m_pOwner;
};

// The request's filter ("text|pattern|...||") as Qt name filters, one per pair, and the extension
// a typed name without one gets under each ("" for a pattern that names none).
struct SaveFilters {
    QStringList names;
    QStringList suffixes;
};
[[nodiscard]] SaveFilters ParseSaveFilter(const std::string& filter, const std::string& defaultExt);
