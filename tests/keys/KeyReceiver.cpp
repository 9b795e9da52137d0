// A login form in a process of its own, for typing tests: a user field and a
// password field. Enter in the password field writes what arrived as UTF-8
// JSON {"user": ..., "password": ...} to the file named on the command line
// and quits. Progress goes to stdout, one line each, so tests need no sleeps:
//   window <X window id>   the form is on screen and can take the focus
//   active                 the form has the keyboard focus
//   done                   the file is written
#include <QApplication>
#include <QFile>
#include <QFormLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QWindow>
#include <cstdio>
#include <utility>

namespace {

void say(const QByteArray& line)
{
    std::printf("%s\n", line.constData());
    std::fflush(stdout);
}

class Form final : public QWidget {
public:
    Form(const QString& outFile, const QString& title)
    {
        auto* layout = new QFormLayout(this);
        auto* user = new QLineEdit(this);
        auto* password = new QLineEdit(this);
        password->setEchoMode(QLineEdit::Password);
        layout->addRow(QStringLiteral("User"), user);
        layout->addRow(QStringLiteral("Password"), password);
        connect(password, &QLineEdit::returnPressed, this, [=] {
            QFile file(outFile);
            if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                file.write(QJsonDocument(QJsonObject{{"user", user->text()}, {"password", password->text()}})
                               .toJson(QJsonDocument::Compact));
            file.close();
            say("done");
            QCoreApplication::quit();
        });
        user->setFocus();
        setWindowTitle(title);
        resize(320, 100);
        winId(); // creates the native window, so exposure can be watched from the start
        windowHandle()->installEventFilter(this);
    }

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::WindowActivate && !std::exchange(m_saidActive, true))
            say("active");
        return QWidget::event(e);
    }
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == QEvent::Expose && windowHandle()->isExposed() && !std::exchange(m_saidWindow, true))
            say("window " + QByteArray::number(winId()));
        return QWidget::eventFilter(watched, e);
    }

private:
    bool m_saidWindow = false;
    bool m_saidActive = false;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fputs("usage: kr_key_receiver <output.json> [window title]\n", stderr);
        return 2;
    }
    Form form(args.at(1), args.value(2, QStringLiteral("kr_key_receiver")));
    form.show();
    return app.exec();
}
