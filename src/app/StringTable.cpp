#include "app/StringTable.h"

#include <QFile>
#include <QHash>

namespace {

QString Unescape(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size()) {
            const QChar next = text[++i];
            if (next == u'n')
                out += u'\n';
            else if (next == u't')
                out += u'\t';
            else
                out += next;
            continue;
        }
        out += text[i];
    }
    return out;
}

QHash<QString, QString> LoadTable()
{
    QHash<QString, QString> table;
    QFile file(QStringLiteral(":/app/strings.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return table;
    const QString all = QString::fromUtf8(file.readAll());
    for (QStringView line : QStringView(all).split(u'\n')) {
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype tab = line.indexOf(u'\t');
        if (tab <= 0)
            continue;
        QString text = Unescape(line.mid(tab + 1));
        text.replace(QLatin1String("{version}"), QLatin1String(QUILLORY_VERSION));
        table.insert(line.left(tab).toString(), text);
    }
    return table;
}

const QHash<QString, QString>& Table()
{
    static const QHash<QString, QString> table = LoadTable();
    return table;
}

} // namespace

QString ResourceString(const QString& key) { return Table().value(key); }

QString LoadString(int nId) { return ResourceString(QString::number(nId)); }

CommandPrompt LoadPrompt(int nId)
{
    const QString text = LoadString(nId);
    const qsizetype newline = text.indexOf(u'\n');
    if (newline < 0)
        return {text, QString()};
    return {text.left(newline), text.mid(newline + 1)};
}
