// Tagging, the library's tag programming workstation.
//
//   Tagging [--screenshot FILE [--screenshot-delay MS]]
//
// --screenshot saves a picture of the screen to FILE once the program has
// run for MS milliseconds (default 2000) and then ends the program.
#include "mainframe.h"
#include "taggingapp.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>

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
    options.addOption(screenshot);
    options.addOption(delay);
    options.process(app);

    app.initInstance();

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
    return app.exec();
}
