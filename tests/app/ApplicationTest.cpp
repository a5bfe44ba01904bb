#include "app/Application.h"

#include "ScriptedDialogs.h"

#include <QEvent>
#include <QObject>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

class TThrower : public QObject {
public:
    bool Plain = false;
    int Handled = 0;

protected:
    bool event(QEvent* event) override {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        ++Handled;
        if (Plain)
            throw 42;
        throw std::runtime_error("disk full");
    }
};

} // namespace

// An exception escaping a handler becomes the error message, and the program goes on.
TEST(Application, ShowsEscapingExceptionsAndGoesOn) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "parvane";
    char* argv[] = {name, nullptr};
    TScriptedDialogs dialogs;
    TApplication app(argc, argv, dialogs);
    EXPECT_EQ(QApplication::applicationDisplayName(), "Parvane");

    TThrower thrower;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    thrower.Plain = true;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QCoreApplication::processEvents();

    EXPECT_EQ(thrower.Handled, 2);
    ASSERT_EQ(dialogs.Shown.size(), 2u);
    EXPECT_EQ(dialogs.Shown[0].Kind, "error");
    EXPECT_EQ(dialogs.Shown[0].Text, "disk full");
    EXPECT_EQ(dialogs.Shown[1].Text, "");
}
