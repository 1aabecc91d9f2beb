#include "kavrixkernel.h"
#include "kavrixmainwnd.h"
#include "quitonsignal.h"
#include "startup.h"

#include <QApplication>
#include <QLocale>
#include <QSettings>
#include <QStringList>

#include <memory>

int main(int argc, char* argv[])
{
    auto app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("lumbrix"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("lumbrix.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Kavro"));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(KavroStartup::applicationId));
    KavroStartup::installTranslations(QLocale(), app.get());
    QSettings::setDefaultFormat(QSettings::NativeFormat);
    Q_INIT_RESOURCE(images);
    KavrixKernel::Instance()->ReadSettings();
    int exitCode = 0;
    {
        auto window = std::make_unique<KavrixMainWnd>();
        new QuitOnSignal(window.get());  // owned by the window
        window->show();
        // Files named on the command line (the desktop entry passes them): each by its kind.
        QStringList files = QCoreApplication::arguments().mid(1);
        files.removeIf([](const QString& arg) { return arg.startsWith(QLatin1Char('-')); });
        window->OpenFiles(files);
        exitCode = QApplication::exec();
    }
    app.reset();  // destroys the kernel, which writes the settings
    return exitCode;
}
