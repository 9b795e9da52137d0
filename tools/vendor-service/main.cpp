// keyrovia-vendor-service: the version check and the suggestion service of the
// vendor web site, HTTP/1.0 on one port.
#include "VendorService.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Answers Keyrovia's update check and stores the suggestions it sends."));
    parser.addHelpOption();
    const QCommandLineOption listen(QStringLiteral("listen"), QStringLiteral("Address to listen on."),
                                    QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port (0: any free port)."),
                                  QStringLiteral("port"), QStringLiteral("80"));
    const QCommandLineOption version(QStringLiteral("announce"), QStringLiteral("Announced version."),
                                     QStringLiteral("version"), QStringLiteral("1.1"));
    const QCommandLineOption info(QStringLiteral("info"), QStringLiteral("Information text (\\n: new line)."),
                                  QStringLiteral("text"), QStringLiteral("Aucune nouvelle version."));
    const QCommandLineOption database(QStringLiteral("database"),
                                      QStringLiteral("SQLite file of suggestions."), QStringLiteral("path"),
                                      QStringLiteral("suggestions.db"));
    const QCommandLineOption silent(QStringLiteral("silent"),
                                    QStringLiteral("Accept connections and never answer (for tests)."));
    parser.addOptions({listen, port, version, info, database, silent});
    parser.process(app);

    VendorServiceConfig config;
    config.announcedVersion = parser.value(version);
    config.information = parser.value(info).replace(QStringLiteral("\\n"), QStringLiteral("\n"));
    config.databasePath = parser.value(database);
    config.silent = parser.isSet(silent);

    QTextStream out(stdout);
    VendorService service(config);
    bool portOk = false;
    const uint portNumber = parser.value(port).toUInt(&portOk);
    if (!portOk || portNumber > 65535 ||
        !service.listen(QHostAddress(parser.value(listen)), quint16(portNumber))) {
        QTextStream(stderr) << "cannot listen on " << parser.value(listen) << ':' << parser.value(port)
                            << '\n';
        return 1;
    }
    QObject::connect(&service, &VendorService::requestHandled, &service,
                     [&out](const QString& line) { out << "request " << line << Qt::endl; });
    out << "listening " << service.port() << Qt::endl;
    return QCoreApplication::exec();
}
