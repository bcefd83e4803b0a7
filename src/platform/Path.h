#pragma once
// Path splitting and making with the rules the listing has always used, on this system's paths:
// "/" is the only separator and there are no drive letters, so the drive part is always empty.

#include <string>

struct PathParts {
    std::string drive;  // always empty here
    std::string dir;    // everything up to and including the last "/"
    std::string fname;  // after the last "/", up to the last dot
    std::string ext;    // from the last dot of the last component, dot included; "" when none
};

[[nodiscard]] PathParts SplitPath(const std::string& path);

// Joins the parts: a separator is added after a non-empty directory that lacks one, and a dot
// before a non-empty extension that lacks one.
[[nodiscard]] std::string MakePath(const std::string& drive, const std::string& dir,
                                   const std::string& fname, const std::string& ext);

// directory + "/" + name, without doubling a separator the directory already ends in.
[[nodiscard]] std::string JoinPath(const std::string& directory, const std::string& name);
