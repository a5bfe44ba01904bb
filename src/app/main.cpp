#include "app/Main.h"

#include "app/Application.h"
#include "app/QtDialogs.h"
#include "platform/MessagePump.h"

int main(int argc, char** argv) {
    TQtDialogs dialogs;
    TApplication app(argc, argv, dialogs);
    try {
        platform::SetMessagePump([] { QCoreApplication::processEvents(); });
        TMainForm form(dialogs);
        if (const QStringList paths = app.CommandLinePaths(); !paths.isEmpty())
            form.DropPaths(paths);
        form.show();
        app.exec();
    } catch (...) {
        app.ShowException(std::current_exception());
    }
    return 0;
}
