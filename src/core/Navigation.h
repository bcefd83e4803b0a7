#pragma once
// The frame and view calls that navigation needs, as seams: the window implements them, tests
// replace them.

class IMainFrame {
public:
    virtual ~IMainFrame() = default;
    // Makes the chosen place current and reloads the page; bNewBase is true for the Open command.
    virtual void GoToFolder(bool bNewBase) = 0;
};

class IListingView {
public:
    virtual ~IListingView() = default;
    virtual void ReloadPage() = 0;
    virtual int CheckPage() = 0;
    virtual int FillTable() = 0;
};
