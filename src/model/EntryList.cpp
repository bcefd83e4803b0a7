// The application object's entry list: the members that own, extend and search it.

#include "core/QuilloryApp.h"
#include "model/listax.h"

CQuilloryApp::~CQuilloryApp() { DeleteAllEntries(); }

listaf* CQuilloryApp::FirstEntry() const { return static_cast<listaf*>(m_pEntries); }

void CQuilloryApp::DeleteAllEntries()
{
    listax* p = m_pEntries;
    while (p) {
        listax* next = p->m_pNext;
        delete p;
        p = next;
    }
    m_pEntries = nullptr;
    // Every entry is gone, the current one too: never leave a pointer that could be read through.
    // The place it named is already in m_strCurrentDir.
    m_pCurrentEntry = nullptr;
}

listaf* CQuilloryApp::AppendEntry()
{
    return new listaf(&m_pEntries, m_nNextSerial);
}

listaf* CQuilloryApp::FindEntry(std::int32_t nSerial) const
{
    for (listaf* p = FirstEntry(); p; p = p->Next())
        if (p->m_nSerial == nSerial)
            return p;
    return nullptr;
}
