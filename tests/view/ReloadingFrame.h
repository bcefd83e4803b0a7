#pragma once
// A frame for view tests and benchmarks: goes to the chosen place the way the window does after a
// click (settles the place, marks the rebuild, reloads the page) and counts how often it was asked.

#include "core/Navigation.h"
#include "core/QuilloryApp.h"
#include "model/listax.h"

class ReloadingFrame : public IMainFrame {
public:
    explicit ReloadingFrame(CQuilloryApp& app) : m_app(app) {}
    void GoToFolder(bool bNewBase) override
    {
        ++nCalls;
        if (bNewBase)
            ++nNewBaseCalls;
        if (!m_app.m_pCurrentEntry)
            m_app.m_strCurrentDir = m_app.m_strTargetDir;
        else if (m_app.m_pCurrentEntry->m_nKind == KIND_DIRECTORY)
            m_app.m_strCurrentDir = m_app.m_pCurrentEntry->m_strPath;
        m_app.m_bRebuildPending = 1;
        m_app.m_bPageReady = 0;
        m_app.m_pView->ReloadPage();
    }
    int nCalls = 0;
    int nNewBaseCalls = 0;

private:
    CQuilloryApp& m_app;
};
