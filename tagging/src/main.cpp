// Tagging, the library's tag programming workstation.
//
//   Tagging [--screenshot FILE [--screenshot-delay MS]] [--drive]
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
#include "mainframe.h"
#include "taggingapp.h"
#include "taggingview.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <memory>

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

} // namespace

int main(int argc, char** argv)
{
    CTaggingApp app(argc, argv);

    QCommandLineParser options;
    options.addHelpOption();
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the screen to <file> and end."),
                                        QStringLiteral("file"));
    const QCommandLineOption delay(QStringLiteral("screenshot-delay"),
                                   QStringLiteral("Milliseconds before the picture is taken."),
                                   QStringLiteral("ms"), QStringLiteral("2000"));
    const QCommandLineOption drive(QStringLiteral("drive"),
                                   QStringLiteral("Take staff actions from standard input, one a line: "
                                                  "page NAME, scan BARCODE, read, stop, tick BOX on|off, "
                                                  "set LABEL VALUE, rows, wait MS, shot FILE, quit."));
    options.addOption(screenshot);
    options.addOption(delay);
    options.addOption(drive);
    options.process(app);

    std::unique_ptr<DriverUi> driverUi;
    if (options.isSet(drive)) {
        driverUi = std::make_unique<DriverUi>(printLine);
        Ui::install(driverUi.get());
    }

    app.initInstance();

    if (options.isSet(drive)) {
        auto* driver = new CDriver(*app.mainFrame()->view(), printLine, &app);
        // After the form's first connection attempt, which is due already.
        QTimer::singleShot(0, driver, [driver] { driver->readFrom(STDIN_FILENO); });
    }
    if (options.isSet(screenshot)) {
        const QString file = options.value(screenshot);
        QTimer::singleShot(options.value(delay).toInt(), &app, [&app, file] {
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
