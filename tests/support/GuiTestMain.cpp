#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Real windows on the rig's X display: focus, key events and the toolkit's own handling.
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
