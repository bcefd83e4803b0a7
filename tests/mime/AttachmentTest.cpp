// Attachment file names and saving: names from a message can never leave the chosen directory or
// replace a file, and a saved file holds exactly the attachment's decoded bytes.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TempDir.h"
#include "mime/AttachmentNames.h"
#include "mime/AttachmentSave.h"
#include "mime/MimeDocument.h"

TEST(AttachmentNameTest, MakesEveryNameAPlainNameInTheDirectory)
{
    struct NameCase {
        std::string given;
        std::string type;
        std::string expected;
    };
    const NameCase cases[] = {
        {"report.pdf", "", "report.pdf"},
        {"../../.bashrc", "", "_._.bashrc"},
        {"/etc/passwd", "", "_etc_passwd"},
        {"..\\..\\boot.ini", "", "_._boot.ini"},
        {".profile", "", "profile"},
        {"...", "", "attachment"},
        {"", "image/png", "attachment.png"},
        {"", "application/x-unknown", "attachment"},
        {"two\r\nlines.txt", "", "two__lines.txt"},
        {"tab\tand\x1B[31mred.txt", "", "tab_and_[31mred.txt"},
        {"CON", "", "_CON"},
        {"con.txt", "", "_con.txt"},
        {"Lpt1.log", "", "_Lpt1.log"},
        {"COM10.txt", "", "COM10.txt"},
        {"console.txt", "", "console.txt"},
        {"a<b>c:d\"e|f?g*h.txt", "", "a_b_c_d_e_f_g_h.txt"},
        {"invoice\xE2\x80\xAEgpj.exe", "", "invoice_gpj.exe"},  // right-to-left override
        {"caf\xC3\xA9 menu.pdf", "", "caf\xC3\xA9 menu.pdf"},
        {"bad\xFFutf8.txt", "", "bad\xEF\xBF\xBDutf8.txt"},
        {"trailing dots... ", "", "trailing dots"},
        {"a..b.txt", "", "a.b.txt"},
    };
    for (const NameCase& c : cases)
        EXPECT_EQ(SanitizeAttachmentName(c.given, c.type), c.expected) << c.given;
}

TEST(AttachmentNameTest, CapsLengthKeepingTheExtensionAndWholeCharacters)
{
    const std::string longAscii = std::string(4000, 'x') + ".pdf";
    const std::string capped = SanitizeAttachmentName(longAscii);
    EXPECT_EQ(capped, std::string(196, 'x') + ".pdf");

    // 150 two-byte characters: the cut falls inside one, which must go whole.
    std::string wide;
    for (int i = 0; i < 150; ++i)
        wide += "\xC3\xA9";
    const std::string cut = SanitizeAttachmentName(wide + ".txt");
    std::string expected;
    for (int i = 0; i < 98; ++i)
        expected += "\xC3\xA9";
    EXPECT_EQ(cut, expected + ".txt");  // 196 bytes of text and the extension: 200
}

TEST(AttachmentNameTest, NumbersGoBeforeTheExtension)
{
    EXPECT_EQ(NumberedName("a.pdf", 1), "a.pdf");
    EXPECT_EQ(NumberedName("a.pdf", 2), "a (2).pdf");
    EXPECT_EQ(NumberedName("a.tar.gz", 12), "a.tar (12).gz");
    EXPECT_EQ(NumberedName("README", 3), "README (3)");
}

class AttachmentSaveTest : public ::testing::Test {
protected:
    TempDir dir;
    // Two attachments under one name, and one whose name climbs out.
    std::unique_ptr<MimeDocument> document = MimeDocument::Parse(
        "From: a\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\ntext\r\n"
        "--b\r\nContent-Type: application/octet-stream; name=\"same.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        "AAEC/w==\r\n"
        "--b\r\nContent-Type: text/plain\r\nContent-Disposition: attachment; filename=\"same.bin\"\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n\r\nsecond=3D2\r\n"
        "--b\r\nContent-Type: text/plain\r\nContent-Disposition: attachment; filename=\"../../escape.txt\"\r\n\r\nout\r\n--b--\r\n");
};

TEST_F(AttachmentSaveTest, SaveAllNumbersTakenNamesAndKeepsExistingFiles)
{
    const std::string out = dir.MakeDir("out");
    dir.Write("out/same.bin", "existing");

    std::vector<std::size_t> progress;
    const std::vector<SavedAttachment> saved = SaveAllAttachments(*document, out, [&](std::size_t done, std::size_t total) {
        EXPECT_EQ(total, 3u);
        progress.push_back(done);
        return true;
    });
    EXPECT_EQ(progress, (std::vector<std::size_t>{0, 1, 2}));
    ASSERT_EQ(saved.size(), 3u);
    for (const SavedAttachment& s : saved)
        EXPECT_EQ(s.strProblem, "");
    EXPECT_EQ(saved[0].strPath, out + "/same (2).bin");
    EXPECT_EQ(saved[1].strPath, out + "/same (3).bin");
    EXPECT_EQ(saved[2].strPath, out + "/_._escape.txt");
    EXPECT_EQ(ReadAll(out + "/same.bin"), "existing");
    EXPECT_EQ(ReadAll(out + "/same (2).bin"), std::string("\x00\x01\x02\xFF", 4));
    EXPECT_EQ(ReadAll(out + "/same (3).bin"), "second=2");
    EXPECT_EQ(ReadAll(out + "/_._escape.txt"), "out");
    EXPECT_FALSE(std::filesystem::exists(dir.Sub("escape.txt")));
}

TEST_F(AttachmentSaveTest, ProgressCanStopTheRun)
{
    const std::string out = dir.MakeDir("out");
    const auto saved = SaveAllAttachments(*document, out, [](std::size_t done, std::size_t) { return done < 1; });
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(out + "/same.bin"));
    EXPECT_FALSE(std::filesystem::exists(out + "/same (2).bin"));
}

// A save stopped part way through keeps no file, neither a new one nor a replaced one, and ends
// the run; the bytes it reports are those written so far.
TEST_F(AttachmentSaveTest, ByteProgressCanStopASaveAndKeepsNothingOfIt)
{
    const std::string out = dir.MakeDir("out");
    std::vector<std::uint64_t> seen;
    const SaveBytesProgress stop = [&](std::uint64_t n) {
        seen.push_back(n);
        return false;
    };
    const std::string path = dir.Write("chosen.bin", "old");
    const SavedAttachment as = SaveAttachmentAs(*document, 0, path, ExistingFile::Replace, stop);
    EXPECT_TRUE(as.bCancelled);
    EXPECT_EQ(as.strPath, "");
    EXPECT_EQ(as.strProblem, "");
    EXPECT_EQ(ReadAll(path), "old");
    EXPECT_EQ(seen, (std::vector<std::uint64_t>{4}));

    const std::vector<SavedAttachment> all = SaveAllAttachments(*document, out, {}, stop);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_TRUE(all[0].bCancelled);
    EXPECT_TRUE(std::filesystem::is_empty(out));

    std::uint64_t last = 0;
    const std::vector<SavedAttachment> whole = SaveAllAttachments(*document, out, {}, [&](std::uint64_t n) {
        last = n;
        return true;
    });
    ASSERT_EQ(whole.size(), 3u);
    EXPECT_FALSE(whole[2].bCancelled);
    EXPECT_EQ(last, 3u) << "the last attachment's bytes: \"out\"";
}

TEST_F(AttachmentSaveTest, SaveAsReplacesOnlyWhenTold)
{
    const std::string path = dir.Write("chosen.bin", "old");
    SavedAttachment kept = SaveAttachmentAs(*document, 0, path, ExistingFile::Keep);
    EXPECT_EQ(kept.strPath, "");
    EXPECT_NE(kept.strProblem, "");
    EXPECT_EQ(ReadAll(path), "old");

    SavedAttachment replaced = SaveAttachmentAs(*document, 0, path, ExistingFile::Replace);
    EXPECT_EQ(replaced.strProblem, "");
    EXPECT_EQ(ReadAll(path), std::string("\x00\x01\x02\xFF", 4));

    EXPECT_NE(SaveAttachmentAs(*document, 7, dir.Sub("none.bin"), ExistingFile::Keep).strProblem, "");
    EXPECT_NE(SaveAttachmentInto(*document, 0, dir.Sub("no/such/dir")).strProblem, "");
}
