// One QApplication for every window test; the browser's scheme must be known before it exists.

#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

#include "reader/ReaderPage.h"
#include "view/ResScheme.h"

int main(int argc, char* argv[])
{
    ::testing::InitGoogleTest(&argc, argv);
    // Run by hand the tests need the same headless set-up that CTest gives them.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu", 0);
    RegisterResScheme();
    RegisterReaderScheme();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
