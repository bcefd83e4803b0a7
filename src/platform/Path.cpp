#include "platform/Path.h"

PathParts SplitPath(const std::string& path)
{
    PathParts parts;
    const auto slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    parts.dir = path.substr(0, nameStart);
    const auto dot = path.rfind('.');
    if (dot != std::string::npos && dot >= nameStart) {
        parts.fname = path.substr(nameStart, dot - nameStart);
        parts.ext = path.substr(dot);
    } else {
        parts.fname = path.substr(nameStart);
    }
    return parts;
}

std::string MakePath(const std::string& drive, const std::string& dir, const std::string& fname,
                     const std::string& ext)
{
    std::string path = drive;
    path += dir;
    if (!dir.empty() && dir.back() != '/')
        path += '/';
    path += fname;
    if (!ext.empty()) {
        if (ext.front() != '.')
            path += '.';
        path += ext;
    }
    return path;
}

std::string JoinPath(const std::string& directory, const std::string& name)
{
    if (directory.empty())
        return name;
    if (directory.back() == '/')
        return directory + name;
    return directory + "/" + name;
}
