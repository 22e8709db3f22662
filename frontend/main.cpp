// kvx-sim [FILE]: the simulator window, optionally loading FILE at start as "&Laden" does.

#include <cstdio>
#include <cstdlib>
#include <string>

#include <QApplication>
#include <QCommandLineParser>

#include "frontend/mainwindow.h"
#include "session/clocks.h"

namespace kvx {
namespace {

// What a simulator that cannot open its window exits with.
constexpr int NoWindowSystem = 225;

[[noreturn]] void failNoWindow(const std::string& why) {
    std::fprintf(stderr, "kvx-sim: cannot open the simulator window: %s\n", why.c_str());
    std::fflush(stderr);
    std::_Exit(NoWindowSystem);
}

// Without any display Qt would abort in the QApplication constructor; tell the user instead.
bool windowSystemNamed() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
#else
    return true;
#endif
}

// A named display can still fail to open, and then Qt reports it as a fatal message and
// aborts. While the application starts, its messages are held back: a fatal one ends the
// program with one line naming the first complaint; otherwise they are passed on afterwards.
class StartupMessages final {
public:
    StartupMessages() {
        instance = this;
        previous = qInstallMessageHandler(&StartupMessages::handle);
    }
    ~StartupMessages() { release(); }
    StartupMessages(const StartupMessages&) = delete;
    StartupMessages& operator=(const StartupMessages&) = delete;

    void release() {
        if (instance != this) {
            return;
        }
        qInstallMessageHandler(previous);
        instance = nullptr;
        for (const Held& m : held) {
            const QMessageLogContext context(nullptr, 0, nullptr, m.category.constData());
            previous(m.type, context, m.text);
        }
        held.clear();
    }

private:
    struct Held {
        QtMsgType type;
        QByteArray category;
        QString text;
    };

    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type == QtFatalMsg) {
            const QString why = instance->held.isEmpty() ? text : instance->held.first().text;
            failNoWindow(why.simplified().toStdString());
        }
        instance->held.append({type, QByteArray(context.category), text});
    }

    static inline StartupMessages* instance = nullptr;
    QtMessageHandler previous = nullptr;
    QList<Held> held;
};

} // namespace
} // namespace kvx

int main(int argc, char** argv) {
    using namespace kvx;
    ProgramLoader::useOneHeap();
    if (!windowSystemNamed()) {
        failNoWindow("no window system (set DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM)");
    }
    StartupMessages startup;
    QApplication app(argc, argv);
    startup.release();
    QApplication::setApplicationName(QStringLiteral("kvx-sim"));

    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("Simulator window of the KVX controller."));
    options.addHelpOption();
    options.addPositionalArgument(QStringLiteral("FILE"),
                                  QStringLiteral("Program (*.awl) to load and run at start."),
                                  QStringLiteral("[FILE]"));
    options.process(app);
    const QStringList files = options.positionalArguments();
    if (files.size() > 1) {
        std::fputs("kvx-sim: at most one program file\n", stderr);
        return EXIT_FAILURE;
    }

    SteadyTickClock ticks;
    MainWindow window(ticks);
    if (!files.isEmpty()) {
        window.openAtStart(files.first());
    }
    window.show();
    return QApplication::exec();
}
