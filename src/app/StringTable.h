#pragma once
// The program's string table and dialog texts, read once from the resource file strings.txt.
// Keys are the numeric string ids ("57345") or names for dialog texts ("about.caption").

#include <QString>

// The text under key, or an empty string when there is none.
[[nodiscard]] QString ResourceString(const QString& key);
[[nodiscard]] QString LoadString(int nId);

// A command's prompt, split at its line break: the status-bar prompt and the tooltip.
struct CommandPrompt {
    QString strPrompt;
    QString strTooltip;  // empty when the string has no second part
};
[[nodiscard]] CommandPrompt LoadPrompt(int nId);
