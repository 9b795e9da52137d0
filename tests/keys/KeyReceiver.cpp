// A login form in a process of its own, for typing tests: a user field and a
// password field, titled as the command line says. Enter in the password field
// prints one line, "done" and what arrived as JSON {"user": ..., "password": ...}, and quits.
#include <QApplication>
#include <QFormLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget form;
    auto* layout = new QFormLayout(&form);
    auto* user = new QLineEdit(&form);
    auto* password = new QLineEdit(&form);
    password->setEchoMode(QLineEdit::Password);
    layout->addRow(QStringLiteral("User"), user);
    layout->addRow(QStringLiteral("Password"), password);
    QObject::connect(password, &QLineEdit::returnPressed, &app, [&] {
        const QJsonObject got{{"user", user->text()}, {"password", password->text()}};
        std::printf("done %s\n", QJsonDocument(got).toJson(QJsonDocument::Compact).constData());
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    user->setFocus();
    form.setWindowTitle(app.arguments().value(1, QStringLiteral("kr_key_receiver")));
    form.resize(320, 100);
    form.show();
    return app.exec();
}
