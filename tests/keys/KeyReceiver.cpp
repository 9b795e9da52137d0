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
#include <QWidget>
#include <QWindow>
#include <cstdio>

namespace {

void say(const QByteArray& line) {
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

class Form final : public QWidget {
public:
    explicit Form(QString outFile) : m_outFile(std::move(outFile)) {
        auto* layout = new QFormLayout(this);
        m_user = new QLineEdit(this);
        m_password = new QLineEdit(this);
        m_password->setEchoMode(QLineEdit::Password);
        layout->addRow(QStringLiteral("User"), m_user);
        layout->addRow(QStringLiteral("Password"), m_password);
        connect(m_password, &QLineEdit::returnPressed, this, &Form::submit);
        m_user->setFocus();
    }

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::WindowActivate && !m_saidActive) {
            m_saidActive = true;
            say("active");
        }
        return QWidget::event(e);
    }
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Expose && !m_saidWindow && windowHandle()->isExposed()) {
            m_saidWindow = true;
            say("window " + QByteArray::number(winId()));
        }
        return QWidget::eventFilter(watched, e);
    }

public:
    void watchExposure() { windowHandle()->installEventFilter(this); }

private:
    void submit() {
        const QJsonObject received{{QStringLiteral("user"), m_user->text()},
                                   {QStringLiteral("password"), m_password->text()}};
        QFile file(m_outFile);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(QJsonDocument(received).toJson(QJsonDocument::Compact));
        file.close();
        say("done");
        QCoreApplication::quit();
    }

    QString m_outFile;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    bool m_saidWindow = false;
    bool m_saidActive = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fputs("usage: kr_key_receiver <output.json> [window title]\n", stderr);
        return 2;
    }
    Form form(args.at(1));
    form.setWindowTitle(args.size() > 2 ? args.at(2) : QStringLiteral("kr_key_receiver"));
    form.resize(320, 100);
    form.winId(); // creates the native window, so exposure can be watched from the start
    form.watchExposure();
    form.show();
    return app.exec();
}
