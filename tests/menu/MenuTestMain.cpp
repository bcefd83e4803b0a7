// One QApplication for all menu tests, offscreen, with a fixed font so text lands on known pixels.
#include "MenuTestSupport.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setFont(menutest::FixedFont());
    QApplication::setPalette(menutest::ThemedPalette());
    return RUN_ALL_TESTS();
}
