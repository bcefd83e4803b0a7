#pragma once
// The subject of a listed message as a reader reads it, for the listing's "Copy subject": decoded,
// without its label, folded lines joined. No Qt here.

#include <string>
#include <string_view>

class listaf;

// The value of the first header line labelled label (case ignored, ASCII) in a header block, with
// its continuation lines; nothing found gives "".
[[nodiscard]] std::string HeaderValueIn(std::string_view block, std::string_view label);

// The entry's subject in UTF-8, decoded: from its header block when the listing found one, else
// from the raw line or the cell it shows. "" when the message has no subject.
[[nodiscard]] std::string EntrySubject(const listaf& entry);
