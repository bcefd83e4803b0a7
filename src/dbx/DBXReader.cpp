#include "dbx/DBXReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>

#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "dbx/DbxBlockChain.h"
#include "dbx/DbxMessageList.h"
#include "dbx/DbxSource.h"
#include "model/HeaderLines.h"
#include "model/TextSearch.h"

namespace {

constexpr std::size_t kPieceSize = 3000;     // largest piece read at once; largest text searched
constexpr std::size_t kGatherEnough = 2500;  // gathering ends with the piece that passes this
// From this many messages on, a listing reads with two walks at once (two threads): below it the
// second thread costs more than it saves.
constexpr std::size_t kTwoWalksFrom = 4096;

// A found header line as the listing shows it: escaped, and for every field but the subject its
// quoted-printable codes replaced. Done on the line alone rather than on the whole searched text:
// the result is the same, since no label, code or line end contains a character that escaping or
// replacing writes or removes, and it spares rewriting 3000 bytes for every message.
std::string TakeLine(const std::optional<std::string_view>& found, bool bReplaceCodes)
{
    if (!found)
        return {};
    std::string line = EscapedForHtml(*found);
    if (bReplaceCodes && line.find('=') != std::string::npos) {
        DBXReader::ReplaceAll(line, "=2E", ".");
        DBXReader::ReplaceAll(line, "=20", " ");
    }
    return line;
}

} // namespace

std::string DamagedFolderText(const std::string& strPath)
{
    return "The mail-folder file " + strPath + " is damaged. Only the messages that could be read are listed.";
}

DBXReader::DBXReader(CQuilloryApp& app, const listaf* pCurrentEntry) : m_app(app)
{
    if (pCurrentEntry && !pCurrentEntry->m_strPath.empty())
        m_strFilePath = pCurrentEntry->m_strPath;
    m_app.DeleteAllEntries();
}

DBXReader::~DBXReader() = default;

bool DBXReader::Open()
{
    if (m_strFilePath.empty() || !m_file.Open(m_strFilePath, CFile::modeRead | CFile::typeBinary, &m_error)) {
        m_app.ShowMessage("Errore in apertura file");
        return false;
    }
    unsigned char count[4];
    if (m_file.ReadAt(DBX_COUNT_OFFSET, count, sizeof count) == sizeof count) {
        m_nCount = LoadU32(count);
    } else {
        // Too short to hold even the file header: nothing to list, but not an empty folder either.
        m_nCount = 0;
        m_bDamaged = true;
    }
    return true;
}

void DBXReader::Close() { m_file.Close(); }

std::int32_t DBXReader::ReadMessages()
{
    m_app.m_nItemCount = 0;
    DbxSource source(m_file);
    Prepare(source);

    DbxMessageList list = FindFolderMessages(source, m_nCount);
    m_nIndexMark = list.nIndexMark;
    if (list.bDamaged)
        m_bDamaged = true;
    if (list.bHeadersOnly) {
        m_app.ShowMessage("No message in this place!");
        return 1;
    }

    std::vector<listaf*> entries;
    entries.reserve(list.messages.size());
    for (const DbxMessageRef& message : list.messages) {
        listaf* entry = m_app.AppendEntry();
        entry->m_nKind = KIND_FOLDER_MESSAGE;
        entry->m_nRecordOffset = message.nRecord;
        entry->m_nDataOffset = message.nFirstBlock;
        entries.push_back(entry);
    }
    // Recovery wants every block the walks pass in one set: then one walk reads them all.
    if (entries.size() < kTwoWalksFrom || m_indexedBlocks || !ReadInTwoWalks(source, entries))
        ReadEntries(source, entries, 0, entries.size());
    m_nListed = static_cast<std::int32_t>(entries.size());
    return 0;
}

void DBXReader::ReadEntry(DbxSource& source, Lane& lane, listaf& entry, std::size_t k)
{
    Gather(source, lane, entry);
    TakeHeaderLines(entry, "Msg", static_cast<std::int32_t>(k + 1));
    // Nothing reads the gathered text once its header lines are taken. Kept, it would cost 2.5 to
    // 5.5 KB a message: about 250 MB more at the peak of a 100,000-message listing. Its buffer
    // goes back to the lane for the next message, sparing an allocation each.
    entry.m_hText.swap(lane.gathered);
}

void DBXReader::ReadEntries(DbxSource& source, const std::vector<listaf*>& entries, std::size_t from, std::size_t to)
{
    for (std::size_t k = from; k < to; ++k) {
        m_app.m_nItemCount = static_cast<std::int32_t>(k + 1);
        m_app.ShowProgress("Reading", static_cast<std::int32_t>(k));
        ReadEntry(source, m_lane, *entries[k], k);
    }
}

bool DBXReader::ReadInTwoWalks(DbxSource& source, const std::vector<listaf*>& entries)
{
    // The listing must come out as one walk in order gives it. Only the budgets tie one message's
    // reading to another's, so the second walk, from the middle on, gets budgets of its own, full
    // ones. Where what the first walk leaves would have covered all the second spent, no budget
    // check came out otherwise, and its spending is charged. Otherwise, which only a file that
    // points many messages at one chain brings about, the second half is read again after the
    // first, as one walk would read it.
    const std::size_t n = entries.size();
    const std::size_t half = n / 2;
    Lane second;
    second.passedBlocks.emplace(source.Size());
    second.nGatherBudget = m_lane.nGatherBudget;
    second.nBlockBudget = m_lane.nBlockBudget;
    const std::uint64_t fullGather = second.nGatherBudget;
    const std::uint64_t fullBlocks = second.nBlockBudget;
    std::exception_ptr failure;
    std::thread walker;
    try {
        walker = std::thread([&] {
            try {
                DbxSource own(m_file);
                for (std::size_t k = half; k < n; ++k)
                    ReadEntry(own, second, *entries[k], k);
            } catch (...) {
                failure = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        return false;
    }
    // Joined however this is left: a thread still joinable at its end would end the process.
    struct Joiner {
        std::thread& thread;
        ~Joiner()
        {
            if (thread.joinable())
                thread.join();
        }
    } joiner{walker};
    ReadEntries(source, entries, 0, half);
    walker.join();
    if (failure)
        std::rethrow_exception(failure);

    const std::uint64_t spentGather = fullGather - second.nGatherBudget;
    const std::uint64_t spentBlocks = fullBlocks - second.nBlockBudget;
    if (spentGather <= m_lane.nGatherBudget && spentBlocks <= m_lane.nBlockBudget) {
        m_lane.nGatherBudget -= spentGather;
        m_lane.nBlockBudget -= spentBlocks;
        m_lane.bDamaged = m_lane.bDamaged || second.bDamaged;
        m_app.m_nItemCount = static_cast<std::int32_t>(n);
        m_app.ShowProgress("Reading", static_cast<std::int32_t>(n - 1));
    } else {
        ReadEntries(source, entries, half, n);
    }
    return true;
}

void DBXReader::Prepare(DbxSource& source)
{
    if (m_lane.passedBlocks)
        return;
    m_lane.nGatherBudget = source.Size();
    m_lane.nBlockBudget = source.Size() / DBX_BLOCK_HEADER_SIZE + 1;
    m_lane.passedBlocks.emplace(source.Size());
    if (m_bKeepIndexed)
        m_indexedBlocks.emplace(source.Size());
}

bool DBXReader::ShouldRecover(bool bAsked) const
{
    return bAsked || Damaged() || (m_nListed == 0 && m_file.GetLength() > 0);
}

std::int32_t DBXReader::RecoverMessages()
{
    DbxSource source(m_file);
    Prepare(source);
    if (!m_indexedBlocks) {
        // Not kept while listing: walk the listed chains once more, within the same bounds.
        std::vector<std::uint32_t> firstBlocks;
        for (const listaf* e = m_app.FirstEntry(); e; e = e->Next())
            firstBlocks.push_back(e->m_nDataOffset);
        m_indexedBlocks.emplace(ChainBlocks(source, firstBlocks));
    }
    DbxScanOptions options;
    options.pIndexed = &*m_indexedBlocks;
    options.progress = [this](std::uint64_t nDone, std::uint64_t) {
        m_app.ShowProgress("Scanning", static_cast<std::int32_t>(nDone >> 20));  // megabytes
        return true;
    };
    const DbxScanResult scan = ScanForMessages(m_file, options);
    m_indexedBlocks.reset();
    if (scan.bShortRead)
        m_bDamaged = true;

    std::int32_t n = 0;
    for (const DbxRecoveredChain& found : scan.chains) {
        listaf* entry = m_app.AppendEntry();
        entry->m_nKind = KIND_FOLDER_MESSAGE;
        entry->m_nDataOffset = found.nFirstBlock;
        entry->m_recovery = found.bComplete ? MessageRecovery::Complete : MessageRecovery::Partial;
        m_app.m_nItemCount = m_nListed + n + 1;
        m_app.ShowProgress("Reading", m_nListed + n);
        Gather(source, *entry, &found);
        TakeHeaderLines(*entry, "Rec", n + 1);
        entry->m_hText.swap(m_lane.gathered);  // its buffer back to the reader, as for the indexed ones
        ++n;
    }
    return n;
}

void DBXReader::Gather(DbxSource& source, Lane& lane, listaf& entry, const DbxRecoveredChain* pRecovered)
{
    // Only the beginning of a message is read while listing: the pieces up to the first one that
    // takes the count past 2500 bytes. Of the rest of the chain only the block headers are read,
    // for the message's size and to see that the chain is whole. A recovered chain is walked as
    // the scan walked it, and its size is known: it is read no further than its beginning.
    std::vector<unsigned char>& text = lane.gathered;
    text.clear();
    // Without header lines the bytes are only counted, so the budget runs out where it would.
    const bool bRead = m_app.m_bListHeaderLines;
    if (bRead)
        text.reserve(kGatherEnough + kPieceSize);
    std::size_t nGathered = 0;
    const bool bPartial = pRecovered && !pRecovered->bComplete;
    DbxBlockChain chain(source, entry.m_nDataOffset, *lane.passedBlocks,
                        bPartial ? DbxChainBlocks::AlsoLostOffset : DbxChainBlocks::Verified);
    if (pRecovered)
        chain.StopAfter(pRecovered->nSize);
    std::uint64_t total = 0;
    bool bGathering = true;
    while ((bGathering || !pRecovered) && chain.Next()) {
        if (m_indexedBlocks && !pRecovered)
            (void)m_indexedBlocks->Insert(chain.BlockOffset());
        // Real chains never share blocks, so a listing never passes more blocks or gathers more
        // bytes than the file holds; a file that makes it do so points many messages at one chain.
        if (lane.nBlockBudget == 0) {
            lane.bDamaged = true;
            break;
        }
        --lane.nBlockBudget;
        total += chain.Count();
        std::uint64_t pos = chain.DataOffset();
        std::uint32_t remaining = chain.Count();
        while (bGathering && remaining > 0) {
            const std::size_t piece = std::min<std::size_t>(remaining, kPieceSize);
            if (piece > lane.nGatherBudget) {
                lane.bDamaged = true;
                bGathering = false;
                break;
            }
            // The chain hands out no count past the file's end, so only a file that shrank
            // since it was opened gives less than a piece; a copy of the message finds that out.
            std::size_t got = piece;
            if (bRead) {
                const std::size_t old = text.size();
                text.resize(old + piece);
                got = source.ReadSome(pos, text.data() + old, piece);
                text.resize(old + got);
            }
            nGathered += got;
            lane.nGatherBudget -= got;
            if (got < piece) {
                lane.bDamaged = true;  // the file shrank while it was read
                bGathering = false;
                break;
            }
            remaining -= static_cast<std::uint32_t>(piece);
            pos += piece;
            if (nGathered > kGatherEnough)
                bGathering = false;
        }
    }
    if (pRecovered) {
        // The scan's own chain, in a file held open since: anything else means it changed.
        if (bGathering && total != pRecovered->nSize)
            lane.bDamaged = true;
        total = pRecovered->nSize;
    } else if (chain.Damaged()) {
        lane.bDamaged = true;
    }
    entry.SetSize(total);
    // Two zero bytes after the text, so that it always reads as a terminated string. The entry
    // holds the reader's buffer while its header lines are taken.
    text.push_back(0);
    text.push_back(0);
    entry.m_hText.swap(text);
}

void DBXReader::TakeHeaderLines(listaf& entry, const char* pszPrefix, std::int32_t nNumber)
{
    char name[32];
    std::snprintf(name, sizeof name, "%s%05ld", pszPrefix, static_cast<long>(nNumber));
    entry.m_strName = name;
    entry.m_strPath = m_strFilePath;
    if (!m_app.m_bListHeaderLines)
        return;
    // The searched text is at most the first 3000 gathered bytes, and ends at the first zero byte
    // (the zeros after the gathered bytes end a shorter one).
    const std::size_t n = std::min(entry.m_hText.size(), kPieceSize);
    const char* bytes = reinterpret_cast<const char*>(entry.m_hText.data());
    const std::string_view raw(bytes, strnlen(bytes, n));
    const HeaderFields fields = FindHeaderFields(raw);

    // The subject keeps its quoted-printable codes; sender, recipient and date have them replaced.
    entry.m_strSubject = TakeLine(fields.subject, false);
    entry.m_strFrom = TakeLine(fields.from, true);
    entry.m_strTo = TakeLine(fields.to, true);
    entry.m_strDate = TakeLine(fields.date, true);
    entry.m_strHeader = fields.block ? std::string(*fields.block) : std::string();
    // Raw lines found in the header block are found there again by whoever writes them out
    // (FindHeaderFields over m_strHeader); only those of a message without a header block, whose
    // text is gone, are kept. Kept for every message they would cost about 400 bytes each.
    entry.m_pRawLines = m_app.m_bKeepRawHeaders && !fields.block ? MakeRawLines(fields) : nullptr;
}

std::uint32_t DBXReader::ChainLength(std::uint32_t nBlock)
{
    DbxSource source(m_file);
    DbxBlockChain chain(source, nBlock);
    std::uint32_t total = 0;
    while (chain.Next())
        total += chain.Count();
    if (chain.Damaged())
        m_bDamaged = true;
    return total;
}

std::int32_t DBXReader::CountUntil(std::string_view text, std::int32_t start, char c)
{
    if (start < 0 || static_cast<std::size_t>(start) > text.size())
        return 0;
    const auto pos = text.find(c, static_cast<std::size_t>(start));
    const std::size_t end = pos == std::string_view::npos ? text.size() : pos;
    return static_cast<std::int32_t>(end - static_cast<std::size_t>(start));
}

void DBXReader::ReplaceAll(std::string& text, std::string_view code, std::string_view replacement)
{
    if (code.empty())
        return;
    // Searching again from the start after each replacement finds the same leftmost occurrence as
    // searching from just before the replaced text: nothing earlier changed, and it held none.
    // A replacement that contains the code would make that search endless; such a replacement is
    // made once per original occurrence instead.
    const bool bEndless = replacement.find(code) != std::string_view::npos;
    std::size_t from = 0;
    for (std::size_t pos; (pos = text.find(code, from)) != std::string::npos;) {
        text.replace(pos, code.size(), replacement);
        from = bEndless ? pos + replacement.size() : pos - std::min(pos, code.size() - 1);
    }
}
