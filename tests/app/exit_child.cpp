// The program's own way from start to end, run as a child process by the exit
// tests: boxes are answered from the command line and the program is driven
// to its end the way the test names.
//   tev_exit_child MODE [Yes|No|Ok ...]
// MODE: "start" (start-up only: for the paths on which it ends by itself),
// "exit" (Setup > Exit once the main window shows), "close-splash" (the splash
// is closed before its tick, then Exit once the main window shows).
#include "app/AppMain.h"
#include "app/frmMDI.h"
#include "app/frmSplash.h"
#include "platform/clock.h"
#include "platform/help.h"
#include "platform/ui.h"
#include "startup/Startup.h"

#include <QAction>
#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

constexpr int kCheckMs = 20;

// Exit through the menu once the main window is there, as a user would.
void exitWhenShown()
{
    frmMDI *main = frmMDI::existing();
    if (main && main->isVisible()) {
        std::puts("main window shown");
        std::fflush(stdout);
        main->mnuSetupExit->trigger();
        return;
    }
    QTimer::singleShot(kCheckMs, exitWhenShown);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const char *mode = argv[1];
    Platform::Ui::installScript();
    Platform::Help::installScript();
    Platform::Clock::setFastClock(50);  // a locked database is reported without the full busy wait
    for (int i = 2; i < argc; ++i) {
        if (!std::strcmp(argv[i], "Yes"))
            Platform::Ui::queueAnswer(Platform::Ui::Answer::Yes);
        else if (!std::strcmp(argv[i], "No"))
            Platform::Ui::queueAnswer(Platform::Ui::Answer::No);
        else
            Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    }

    if (!std::strcmp(mode, "exit")) {
        QTimer::singleShot(0, exitWhenShown);
    } else if (!std::strcmp(mode, "close-splash")) {
        QTimer::singleShot(0, [] {
            if (frmSplash::existing())
                frmSplash::existing()->close();
            QTimer::singleShot(kCheckMs, exitWhenShown);
        });
    }
    const int code = AppMain::Run();
    for (const auto &shown : Platform::Ui::shown()) {
        if (shown.kind == QLatin1String("msgbox"))
            std::printf("box: %s | %s\n", qPrintable(shown.title), qPrintable(shown.text));
    }
    // A box without its answer, or an answer left over, is a path other than the one meant.
    if (!Platform::Ui::unscriptedBoxes().isEmpty() || Platform::Ui::unusedCount() != 0)
        return 3;
    return code;
}
