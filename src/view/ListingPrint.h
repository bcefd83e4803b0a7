#pragma once
// Every row of a listing on paper. The page in the browser holds only the rows near the screen,
// so printing does not go through it: the rows are painted here, with the cells the page shows
// (the icon on its colour, the name, the size and the four header lines as text), one line each.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QPagedPaintDevice;
class QPaintDevice;
class listaf;

// The number of pages rows take on device.
[[nodiscard]] std::int32_t ListingPrintPages(QPagedPaintDevice& device, std::int32_t rows);

// Paints the place's name and the rows on device, as many pages as they take. Returns the number
// of pages.
std::int32_t PrintListingRows(QPagedPaintDevice& device, const std::string& place,
                              const std::vector<const listaf*>& rows);

// The same on any device whose every page has its size; newPage is called between pages.
std::int32_t PaintListingPages(QPaintDevice& device, const std::function<void()>& newPage, const std::string& place,
                               const std::vector<const listaf*>& rows);
