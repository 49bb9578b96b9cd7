// make_artwork OUTPUT_FOLDER [SCALE]
// Draws every picture, the outline block and the chime into OUTPUT_FOLDER.

#include "tools/ArtworkGenerator.h"

#include <QGuiApplication>
#include <QTextStream>

int main(int argc, char **argv)
{
    // Text is drawn with the platform's fonts, but no screen is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() < 2 || args.size() > 3) {
        err << "usage: make_artwork OUTPUT_FOLDER [SCALE]\n";
        return 2;
    }
    bool ok = true;
    const double scale = args.size() == 3 ? args[2].toDouble(&ok) : 1.0;
    if (!ok || scale <= 0 || scale > 4) {
        err << "make_artwork: scale must be a number above 0 and at most 4\n";
        return 2;
    }
    const QString error = ArtworkGenerator::WriteAll(args[1], scale);
    if (!error.isEmpty()) {
        err << "make_artwork: " << error << '\n';
        return 1;
    }
    return 0;
}
