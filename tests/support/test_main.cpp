// Test entry: one QApplication for the whole run, headless unless a display
// platform is asked for explicitly.
#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// After each test no top-level window may stay open: one left behind would
// leak into the next test (focus, modality, the active window). The check
// fails the test that left it and closes it.
class NoWindowLeftOpen : public ::testing::EmptyTestEventListener
{
    void OnTestEnd(const ::testing::TestInfo &) override
    {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (!window->isVisible())
                continue;
            ADD_FAILURE() << "a top-level window stayed open after the test: "
                          << window->metaObject()->className() << " \""
                          << window->windowTitle().toStdString() << "\"";
            window->close();
        }
    }
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new NoWindowLeftOpen);
    return RUN_ALL_TESTS();
}
