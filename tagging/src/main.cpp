// Tagging, the library's tag programming workstation.
//
//   Tagging [--screenshot FILE [--screenshot-delay MS]] [--drive]
//   Tagging --help | --version
//
// --screenshot saves a picture of the screen to FILE once the program has
// run for MS milliseconds (default 2000) and then ends the program.
//
// --drive takes staff actions from standard input instead of the keyboard,
// one a line ("page NAME", "scan BARCODE", "read", "stop", "tick BOX on|off",
// "set LABEL VALUE", "rows", "wait MS", "shot FILE", "quit"; see driver.h),
// and answers each on standard output; message boxes come out there too
// instead of being shown. The program ends when its input ends.
#include "driver.h"
#include "main_frame.h"
#include "tagging_app.h"
#include "tagging_view.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <optional>

#include <unistd.h>

namespace {

bool saveScreen(CTaggingApp& app, const QString& file)
{
    QPixmap shot;
    if (QScreen* screen = QGuiApplication::primaryScreen())
        shot = screen->grabWindow(0);
    if (shot.isNull() && app.mainFrame())
        shot = app.mainFrame()->grab();
    return !shot.isNull() && shot.save(file);
}

void printLine(const QString& line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

// The program's options. Help and version are answered before the
// application object exists, which needs a display.
struct Options {
    QCommandLineParser parser;
    QCommandLineOption screenshot{QStringLiteral("screenshot"),
                                  QStringLiteral("Save a picture of the screen to <file> and end."),
                                  QStringLiteral("file")};
    QCommandLineOption delay{QStringLiteral("screenshot-delay"),
                             QStringLiteral("Milliseconds before the picture is taken."), QStringLiteral("ms"),
                             QStringLiteral("2000")};
    QCommandLineOption drive{QStringLiteral("drive"),
                             QStringLiteral("Take staff actions from standard input, one a line: "
                                            "page NAME, scan BARCODE, read, stop, tick BOX on|off, "
                                            "set LABEL VALUE, rows, wait MS, shot FILE, quit.")};

    Options()
    {
        parser.setApplicationDescription(
            QStringLiteral("The library's tag programming workstation: writes books, patron cards and "
                           "shelf tags from their barcodes and checks tags on the reader."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOption(screenshot);
        parser.addOption(delay);
        parser.addOption(drive);
    }
};

QStringList argumentsOf(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// Whether the environment names a display (or a platform such as offscreen)
// for the application object.
bool displayGiven()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// --help and --version, answered without a display: the exit status, or
// nothing when the program is to run (or the toolkit's own options are
// among the arguments, which only the application object takes).
std::optional<int> answerWithoutDisplay(Options& options, const QStringList& arguments)
{
    if (!options.parser.parse(arguments))
        return std::nullopt;
    // --help-all adds the toolkit's own options, which only the application
    // object knows; without a display there is none, so the program's own
    // help stands for it.
    const bool helpAll = options.parser.isSet(QStringLiteral("help-all"));
    if (options.parser.isSet(QStringLiteral("help")) || (helpAll && !displayGiven())) {
        QString help = options.parser.helpText();
        help.replace(QStringLiteral("<executable_name>"), QFileInfo(arguments.value(0)).fileName());
        std::fputs(qPrintable(help), stdout);
        if (helpAll)
            std::puts("The toolkit's own options (-platform, -display and others) are listed with a display.");
        return 0;
    }
    if (options.parser.isSet(QStringLiteral("version"))) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                    qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv)
{
    CTaggingApp::nameApplication();
    Options options;
    if (const std::optional<int> status = answerWithoutDisplay(options, argumentsOf(argc, argv)))
        return *status;

    CTaggingApp app(argc, argv);
    options.parser.process(app);

    std::unique_ptr<DriverUi> driverUi;
    if (options.parser.isSet(options.drive)) {
        driverUi = std::make_unique<DriverUi>(printLine);
        Ui::install(driverUi.get());
    }

    app.initInstance();

    if (options.parser.isSet(options.drive)) {
        CTaggingView* view = app.mainFrame()->view();
        auto* driver = new CDriver(*view, printLine, &app);
        // After the form's first connection attempt.
        QObject::connect(view, &CTaggingView::started, driver, [driver] { driver->readFrom(STDIN_FILENO); },
                         Qt::SingleShotConnection);
    }
    if (options.parser.isSet(options.screenshot)) {
        const QString file = options.parser.value(options.screenshot);
        QTimer::singleShot(options.parser.value(options.delay).toInt(), &app, [&app, file] {
            if (!saveScreen(app, file)) {
                std::fprintf(stderr, "Tagging: cannot save the screen to %s\n", qPrintable(file));
                QCoreApplication::exit(1);
                return;
            }
            QCoreApplication::exit(0);
        });
    }
    const int status = app.exec();
    Ui::install(nullptr);
    return status;
}
