#pragma once
// Lists a generated mail-folder file the way the window does: the folder's entry is current when
// the reader starts. What the user was told and shown is recorded.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TempDir.h"
#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "dbxgen/DbxGen.h"

// Lists the mail-folder file at path as the window does after a click on it: the folder's entry
// is current when the reader starts. Returns the listed entries in list order.
inline std::vector<listaf*> ListFolderFile(CQuilloryApp& app, const std::string& path)
{
    listaf* folder = app.AppendEntry();
    folder->m_strPath = path;
    folder->m_nKind = KIND_MAIL_FOLDER;
    app.m_pCurrentEntry = folder;
    app.m_strCurrentDir = path;
    EXPECT_EQ(app.ListMailFolder(), 0);
    std::vector<listaf*> entries;
    for (listaf* e = app.FirstEntry(); e; e = e->Next())
        entries.push_back(e);
    return entries;
}

class DbxFixture : public ::testing::Test {
public:
    // A small message whose subject line is "Subject: <label>".
    [[nodiscard]] static dbxgen::Message Small(const std::string& label)
    {
        dbxgen::Message m;
        m.text = "Received: by test\r\nSubject: " + label + "\r\n\r\nbody of " + label + "\r\n";
        return m;
    }

protected:
    void SetUp() override
    {
        app.m_pMessageBox = &box;
        app.m_pStatus = &status;
    }

    // Writes bytes as a folder file and lists it; returns the listed entries in list order.
    std::vector<listaf*> List(const std::vector<unsigned char>& bytes, const std::string& name = "Inbox.dbx")
    {
        path = dir.Write(name, std::string(bytes.begin(), bytes.end()));
        return ListPath(path);
    }
    std::vector<listaf*> ListPath(const std::string& file) { return ListFolderFile(app, file); }
    [[nodiscard]] std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const auto& m : box.messages)
            texts.push_back(m.text);
        return texts;
    }
    [[nodiscard]] static std::vector<std::string> Subjects(const std::vector<listaf*>& entries)
    {
        std::vector<std::string> subjects;
        for (const listaf* e : entries)
            subjects.push_back(e->m_strSubject);
        return subjects;
    }
    // The entries listed through the index, or those found outside it.
    [[nodiscard]] static std::vector<listaf*> Indexed(const std::vector<listaf*>& entries, bool bIndexed = true)
    {
        std::vector<listaf*> kept;
        for (listaf* e : entries)
            if ((e->m_recovery == MessageRecovery::None) == bIndexed)
                kept.push_back(e);
        return kept;
    }
    [[nodiscard]] static std::vector<listaf*> Recovered(const std::vector<listaf*>& entries)
    {
        return Indexed(entries, false);
    }
    TempDir dir;
    std::string path;
    RecordingMessageBox box;
    RecordingStatus status;
    CQuilloryApp app;
};
