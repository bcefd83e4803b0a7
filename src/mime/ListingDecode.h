#pragma once
// The listing with decoded header lines: the same rows, with their From, To, Subject and Date cells
// showing what a reader sees instead of the bytes as stored. An option on top of the listing,
// which otherwise shows the lines undecoded.

class CQuilloryApp;
class listaf;

// Sets the entry's four header cells (m_strFrom, m_strTo, m_strSubject, m_strDate) to its raw
// header lines decoded (DecodeHeaderLine: label kept, UTF-8) and escaped for the page as the
// listing escapes its cells, and marks it (m_bDecodedHeaders) so that the page shows the cells as
// UTF-8. A line the message lacks leaves an empty cell. Needs the raw lines,
// which the listing keeps only when told (CQuilloryApp::m_bKeepRawHeaders); returns false, and
// changes nothing, for an entry without them.
bool DecodeEntryHeaders(listaf& entry);

// DecodeEntryHeaders for every entry of the application's list; sort afterwards, since the sort
// keys change. Returns the number of entries decoded.
int DecodeListingHeaders(CQuilloryApp& app);
