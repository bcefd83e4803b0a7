#include "platform/Seams.h"

int RecordingMessageBox::MessageBox(std::string_view text, std::string_view caption, unsigned flags)
{
    messages.push_back({std::string(text), std::string(caption), flags});
    return answer;
}

void RecordingStatus::SetProgressText(std::string_view label, std::int32_t n)
{
    texts.push_back(FormatProgressText(label, n));
}

std::string FormatProgressText(std::string_view label, std::int32_t n)
{
    std::string text(label);
    text += ' ';
    text += std::to_string(n);
    return text;
}
