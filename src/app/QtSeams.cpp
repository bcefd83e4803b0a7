#include "app/QtSeams.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringDecoder>

QString TextFromBytes(std::string_view bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (decoder.hasError())
        return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    return text;
}

std::string PathToBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

int CQtMessageBox::MessageBox(std::string_view text, std::string_view caption, unsigned flags)
{
    QMessageBox box(m_pOwner);
    box.setWindowTitle(TextFromBytes(caption));
    box.setText(TextFromBytes(text));
    box.setTextFormat(Qt::PlainText);
    switch (flags & 0xF0) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    switch (flags & 0x0F) {
    case MB_OKCANCEL: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MB_YESNO: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    default: box.setStandardButtons(QMessageBox::Ok); break;
    }
    switch (box.exec()) {
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Ok: return IDOK;
    default:
        // Closed with Escape or the close box: the answer that changes nothing.
        return (flags & 0x0F) == MB_YESNO ? IDNO : ((flags & 0x0F) == MB_OKCANCEL ? IDCANCEL : IDOK);
    }
}

SaveFilters ParseSaveFilter(const std::string& filter, const std::string& defaultExt)
{
    QString fallback = QString::fromLatin1(defaultExt.data(), qsizetype(defaultExt.size()));
    if (fallback.startsWith(u'*'))
        fallback.remove(0, 1);
    if (fallback.startsWith(u'.'))
        fallback.remove(0, 1);
    fallback = fallback.toLower();

    SaveFilters out;
    const QStringList parts = QString::fromLatin1(filter.data(), qsizetype(filter.size())).split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty())
            break;  // the "||" that ends the list
        // The text already carries its pattern in parentheses, which is Qt's form of a filter.
        out.names << parts[i];
        QString pattern = parts[i + 1].section(u';', 0, 0);
        QString suffix;
        if (pattern.startsWith(QLatin1String("*.")) && pattern.indexOf(u'*', 2) < 0
            && !pattern.contains(u'?'))
            suffix = pattern.mid(2);
        out.suffixes << (suffix.isEmpty() ? fallback : suffix);
    }
    return out;
}

namespace {

// A typed name without an extension gets the one of the file type chosen when the dialog ends,
// however the type was chosen.
class SaveFileDialog : public QFileDialog {
public:
    SaveFileDialog(QWidget* parent, SaveFilters filters)
        : QFileDialog(parent), m_filters(std::move(filters))
    {
    }

    void accept() override
    {
        const qsizetype index = m_filters.names.indexOf(selectedNameFilter());
        if (index >= 0)
            setDefaultSuffix(m_filters.suffixes[index]);
        QFileDialog::accept();
    }

private:
    SaveFilters m_filters;
};

} // namespace

std::optional<std::string> CQtSaveDialog::AskSavePath(const SaveDialogRequest& request)
{
    const SaveFilters filters = ParseSaveFilter(request.strFilter, request.strDefaultExt);
    SaveFileDialog dialog(m_pOwner, filters);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(request.bSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.bSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.bOverwritePrompt);
    dialog.setNameFilters(filters.names);
    if (!filters.suffixes.isEmpty())
        dialog.setDefaultSuffix(filters.suffixes.first());

    const QString dir = TextFromBytes(request.strInitialDir);
    if (!dir.isEmpty() && QFileInfo(dir).isDir())
        dialog.setDirectory(dir);
    else
        dialog.setDirectory(QDir::currentPath());
    if (!request.strInitialName.empty())
        dialog.selectFile(TextFromBytes(request.strInitialName));

    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        return std::nullopt;
    return PathToBytes(files.first());
}
