#include <gtest/gtest.h>

#include "platform/Path.h"

TEST(PathTest, SplitTakesExtensionFromLastDotOfLastComponent)
{
    struct Case {
        const char* path;
        const char* dir;
        const char* fname;
        const char* ext;
    };
    const Case cases[] = {
        {"/home/a/notes.tar.eml", "/home/a/", "notes.tar", ".eml"},
        {"/home/a/README", "/home/a/", "README", ""},
        {"/home/a.b/README", "/home/a.b/", "README", ""},   // a dot in the directory is not an extension
        {"/home/a/.hidden", "/home/a/", "", ".hidden"},
        {"/home/a/dir/", "/home/a/dir/", "", ""},
        {"name.msg", "", "name", ".msg"},
        {"/", "/", "", ""},
        {"", "", "", ""},
        {"/x/trailing.", "/x/", "trailing", "."},
    };
    for (const Case& c : cases) {
        const PathParts parts = SplitPath(c.path);
        EXPECT_EQ(parts.drive, "") << c.path;
        EXPECT_EQ(parts.dir, c.dir) << c.path;
        EXPECT_EQ(parts.fname, c.fname) << c.path;
        EXPECT_EQ(parts.ext, c.ext) << c.path;
    }
}

TEST(PathTest, MakeAndJoinAddOneSeparator)
{
    EXPECT_EQ(MakePath("", "/home/a", "Msg00001", "eml"), "/home/a/Msg00001.eml");
    EXPECT_EQ(MakePath("", "/home/a/", "Msg00001", ".eml"), "/home/a/Msg00001.eml");
    EXPECT_EQ(MakePath("", "", "x", ""), "x");
    EXPECT_EQ(JoinPath("/", "etc"), "/etc");
    EXPECT_EQ(JoinPath("/home/a", "b c"), "/home/a/b c");
    EXPECT_EQ(JoinPath("/home/a/", "b"), "/home/a/b");
}
