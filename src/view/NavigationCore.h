#pragma once
// What the listing view does when the page is about to navigate and when a load has completed. The
// page never really navigates: a click names an entry by its serial (or the go-up link), the view
// cancels it and acts on the entry. No Qt here; the view feeds in the address text.

#include <cstdint>
#include <string_view>

class CQuilloryApp;

// The last path segment of the go-up link, relative to the skeleton's address.
inline constexpr std::string_view kGoUpSegment = "00001";

// The text after the last "/" of an address, or the whole address when it has none.
[[nodiscard]] std::string_view LastSegment(std::string_view address);

// The serial at the start of a segment: its leading decimal digits, 0 when there are none, and the
// largest serial when there are too many.
[[nodiscard]] std::int32_t ReadSerial(std::string_view segment);

// Before the page navigates to address. Sets bCancel to refuse the navigation; leaves it alone
// when the navigation may go on (the page's own resources, or an address naming no entry).
void HandleBeforeNavigate(CQuilloryApp& app, std::string_view address, bool& bCancel);

// After every completed load: rebuilds the entry list when a rebuild is pending, then refills
// the table.
void HandleDocumentComplete(CQuilloryApp& app, std::string_view address);
