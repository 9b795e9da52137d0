// The toolbar button: registration, the manager window's scan and removal,
// and the tutorial window, on the in-memory registry.
#include "ButtonKeys.h"
#include "RegistryDouble.h"
#include "browser/frmAddIe.h"
#include "browser/frmListIcon.h"
#include "browser/ieToolBar.h"
#include "ui/WindowOrder.h"

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QtTest>

using namespace kr;
using test::kExtensionsKey;
using test::MemoryRegistry;
using test::sz;

namespace {

const QString kAppDir = QStringLiteral("/opt/Keyrovia/");
const QString kOwnIcon = QStringLiteral("/opt/Keyrovia/ICON.ico");
const QString kOther = QStringLiteral("/usr/share/autre/outil.ico");

// One key under the extensions key, written as another program would.
struct KeySpec {
    QString name;
    std::vector<std::pair<QString, QByteArray>> values;
};
using Keys = QList<KeySpec>;
// A listed row: subkey name, icon, caption, ticked.
using Rows = QStringList;

KeySpec button(const QString& name, const QString& icon, const QString& caption = QString())
{
    KeySpec k{name, {{QStringLiteral("Exec"), sz(QStringLiteral("/x/y"))}}};
    if (!icon.isNull())
        k.values.push_back({QStringLiteral("Icon"), sz(icon)});
    if (!caption.isNull())
        k.values.push_back({QStringLiteral("ButtonText"), sz(caption)});
    return k;
}

qint16 anyTicked(const Rows& rows)
{
    return rows.filter(QRegularExpression(QStringLiteral("\\|x$"))).isEmpty() ? 0 : 1;
}

QString rowText(const QTreeWidgetItem* row)
{
    const bool ticked = row->checkState(frmListIcon::ColX) == Qt::Checked;
    return QStringList{row->text(frmListIcon::ColClsid), row->text(frmListIcon::ColIcone),
                       row->text(frmListIcon::ColCaption), ticked ? QStringLiteral("x") : QStringLiteral("-")}
        .join(QLatin1Char('|'));
}

} // namespace

Q_DECLARE_METATYPE(KeySpec)

class TestToolbar : public QObject {
    Q_OBJECT

    MemoryRegistry registry;
    Platform platform;
    std::unique_ptr<QWidget> mainWindow;
    bool keepMainOnTop = false;
    std::unique_ptr<frmListIcon> manager;
    std::unique_ptr<frmAddIe> tutorial;

    QStringList scan()
    {
        manager->Unload();
        manager->Load();
        QStringList rows;
        QTreeWidget* list = manager->ListView();
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            rows << rowText(list->topLevelItem(i));
        return rows;
    }
    void put(const Keys& keys)
    {
        for (const KeySpec& k : keys)
            registry.put(kExtensionsKey + QLatin1Char('\\') + k.name, k.values);
    }
    std::vector<MemoryRegistry::Value> values(const QString& name) const
    {
        return registry.values(kExtensionsKey + QLatin1Char('\\') + name);
    }

private slots:
    void init()
    {
        registry = MemoryRegistry();
        platform.registry = &registry;
        IEButtonPresent = 0;
        qputenv("KEYROVIA_APP_DIR", kAppDir.toLocal8Bit());
        mainWindow = std::make_unique<QWidget>();
        manager = std::make_unique<frmListIcon>(
            platform, [this] { return mainWindow.get(); }, [this] { return keepMainOnTop; });
        tutorial = std::make_unique<frmAddIe>([this] { return mainWindow.get(); });
    }
    void cleanup()
    {
        manager.reset();
        tutorial.reset();
        mainWindow.reset();
        qunsetenv("KEYROVIA_APP_DIR");
    }

    // The program's files may be kept elsewhere (KEYROVIA_APP_DIR): the icon
    // is theirs, the command is the executable that runs. Registering twice
    // gives two keys, and the next scan ticks both as the program's own.
    void registrationWritesTheSixValues()
    {
        const QString appDir = QStringLiteral("/home/zoé/Mes Outils/");
        const QString icon = appDir + QStringLiteral("ICON.ico");
        qputenv("KEYROVIA_APP_DIR", appDir.toLocal8Bit());
        QCOMPARE(AddProgzIE(registry), long(RegOk));
        QCOMPARE(AddProgzIE(registry), long(RegOk));
        const QRegularExpression guid(QStringLiteral("^\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\}$"));
        const QStringList keys = registry.subkeys(kExtensionsKey);
        QCOMPARE(keys.size(), 2);
        for (const QString& name : keys) {
            QVERIFY2(guid.match(name).hasMatch(), qPrintable(name));
            test::TextValues written;
            for (const auto& v : values(name)) {
                QVERIFY(v.type == REG_SZ && v.data.endsWith('\0'));
                written.append({v.name, QString::fromLocal8Bit(v.data.chopped(1))});
            }
            QCOMPARE(written, test::buttonValues(QCoreApplication::applicationFilePath(), icon));
        }
        QCOMPARE(registry.openHandles(), 0);
        const QString own = QLatin1Char('|') + icon + QStringLiteral("|Keyrovia|x");
        QCOMPARE(scan(), (QStringList{keys[0] + own, keys[1] + own}));
        QCOMPARE(IEButtonPresent, qint16(1));
    }

    // A failed write leaves the values after it written; a failed create or
    // reopen stops there. The first open is the existence check, which must
    // find nothing; the second write is "Icon".
    void registrationFailures()
    {
        const struct {
            const char* call;
            int failingCall;
            int keys;
            int values;
        } rows[] = {{"create", 1, 0, 0}, {"open", 2, 1, 0}, {"set", 2, 1, 5}};
        for (const auto& row : rows) {
            registry = MemoryRegistry();
            registry.put(kExtensionsKey, {}); // the browser's own key is there
            int calls = 0;
            registry.fault = [&](const QString& call, const QString&) -> long {
                const bool fails = call == QLatin1String(row.call) && ++calls == row.failingCall;
                return fails ? RegAccessDenied : RegOk;
            };
            QCOMPARE(AddProgzIE(registry, kAppDir, "Keyrovia"), long(RegAccessDenied));
            registry.fault = nullptr;
            const QStringList found = registry.subkeys(kExtensionsKey);
            QCOMPARE(found.size(), row.keys);
            for (const QString& name : found) {
                QCOMPARE(int(values(name).size()), row.values);
                for (const auto& v : values(name))
                    QVERIFY(v.name != QLatin1String("Icon"));
            }
            QVERIFY(registry.hasKey(kExtensionsKey));
            QCOMPARE(registry.openHandles(), 0);
        }
    }

    // The small helpers: an empty text writes nothing, so it succeeds even
    // without a key; a key that is there is found.
    void keyHelpers()
    {
        QCOMPARE(SetKeyValue(registry, 0, "Vide", REG_SZ, QString()), 0L);
        registry.put("A\\B", {});
        QVERIFY(KeyExists(registry, HKEY_CURRENT_USER, "A\\B"));
    }

    void scanReadingRules_data()
    {
        QTest::addColumn<Keys>("keys");
        QTest::addColumn<Rows>("rows");
        const QString own = kOwnIcon;
        const QString other = kOther;
        QTest::newRow("upper-case extension") << Keys{button("{C}", "/x/A.ICO", "Z")} << Rows{};
        QTest::newRow(".ico inside the text")
            << Keys{button("{C}", "/x/a.icon.png", "Z")} << Rows{"{C}|/x/a.icon.png|Z|-"};
        QTest::newRow("own path in another case")
            << Keys{button("{D}", "/opt/keyrovia/ICON.ico")} << Rows{"{D}|/opt/keyrovia/ICON.ico||-"};
        QTest::newRow("caption and icon missing after a key that has them")
            << Keys{button("{F1}", other, "Autre"), button("{F2}", other), button("{F3}", QString(), "Sans")}
            << Rows{"{F1}|" + other + "|Autre|-", "{F2}|" + other + "||-"};
        QTest::newRow("value names in any case, last one wins")
            << Keys{KeySpec{"{H}",
                            {{"ICON", sz("/a/premier.ico")},
                             {"BUTTONTEXTE", sz("Premier")},
                             {"iconique", sz(own)},
                             {"ButtonText", sz("Dernier")}}}}
            << Rows{"{H}|" + own + "|Dernier|x"};
        QTest::newRow("HotIcon is not the icon")
            << Keys{KeySpec{"{I}", {{"HotIcon", sz(own)}, {"ButtonText", sz("K")}}}} << Rows{};
        QTest::newRow("zero-length data")
            << Keys{KeySpec{"{K}", {{"Icon", sz(other)}, {"ButtonText", QByteArray()}}}}
            << Rows{"{K}|" + other + "||-"};
        QTest::newRow("data without its NUL loses its last character")
            << Keys{KeySpec{"{L}", {{"Icon", other.toLocal8Bit() + "x"}}}} << Rows{"{L}|" + other + "||-"};
        QTest::newRow("data past the 255-byte buffer")
            << Keys{KeySpec{"{M}", {{"Icon", sz("/x/" + QString(260, 'a') + ".ico")}}}} << Rows{};
        QTest::newRow("key name past the 255-character buffer")
            << Keys{button(QString(255, 'n'), own), button("{N}", other)} << Rows{"{N}|" + other + "||-"};
    }
    // The flag goes up with a ticked row; a scan never lowers it, nor changes
    // anything. Removal deletes the ticked keys (twice: the second finds them gone).
    void scanReadingRules()
    {
        QFETCH(Keys, keys);
        QFETCH(Rows, rows);
        put(keys);
        registry.changes.clear();
        QCOMPARE(scan(), rows);
        QCOMPARE(IEButtonPresent, anyTicked(rows));
        IEButtonPresent = 1;
        QCOMPARE(scan(), rows);
        QCOMPARE(IEButtonPresent, qint16(1));
        QVERIFY(registry.changes.isEmpty());
        for (int round = 0; round < 2; ++round)
            QCOMPARE(manager->DeliteProgzIE(), long(RegOk));
        const Rows kept = rows.filter(QRegularExpression(QStringLiteral("\\|-$")));
        QCOMPARE(registry.subkeys(kExtensionsKey).size(), keys.size() - rows.size() + kept.size());
        QCOMPARE(registry.openHandles(), 0);
    }

    // One unreadable button is left out; a failure of the key itself ends the scan.
    void scanFaults_data()
    {
        QTest::addColumn<QString>("failingCall");
        QTest::addColumn<QString>("onKey");
        QTest::addColumn<long>("status");
        QTest::addColumn<Rows>("rows");
        QTest::newRow("own button not opened")
            << "open"
            << "{A}" << long(RegAccessDenied) << Rows{"{B}|/b.ico||-", "{C}|/c.ico||-"};
        QTest::newRow("values unreadable")
            << "enumValue"
            << "{B}" << long(RegCantRead) << Rows{"{A}|" + kOwnIcon + "||x", "{C}|/c.ico||-"};
        QTest::newRow("damaged store") << "enumKey"
                                       << "Extensions" << long(RegBadDb) << Rows{};
        QTest::newRow("key deleted meanwhile") << "enumKey"
                                               << "Extensions" << long(RegKeyDeleted) << Rows{};
        QTest::newRow("store kept locked") << "enumKey"
                                           << "Extensions" << long(RegBusy) << Rows{};
    }
    void scanFaults()
    {
        QFETCH(QString, failingCall);
        QFETCH(QString, onKey);
        QFETCH(long, status);
        QFETCH(Rows, rows);
        put({button("{A}", kOwnIcon), button("{B}", QStringLiteral("/b.ico")),
             button("{C}", QStringLiteral("/c.ico"))});
        int calls = 0;
        registry.fault = [&](const QString& call, const QString& path) -> long {
            const bool fails = call == failingCall && path.endsWith(onKey);
            calls += fails;
            return fails ? status : RegOk;
        };
        QCOMPARE(scan(), rows);
        registry.fault = nullptr;
        QCOMPARE(calls, 1);
        QCOMPARE(IEButtonPresent, anyTicked(rows));
        QCOMPARE(registry.openHandles(), 0);
    }

    // Closed, the manager makes the main window topmost again when "Visible" is ticked.
    void closingGivesTheMainWindowItsTopmostState()
    {
        for (const bool visible : {false, true}) {
            keepMainOnTop = visible;
            manager->Show();
            QVERIFY(!IsAlwaysOnTop(mainWindow.get()));
            manager->widget()->close();
            QCOMPARE(IsAlwaysOnTop(mainWindow.get()), visible);
        }
    }

    // "Suivant" and "Précédent" switch the pictures. Unloaded, the tutorial
    // restores the minimised main window; opened again, it starts on the first page.
    void tutorialPages()
    {
        mainWindow->show();
        mainWindow->setWindowState(Qt::WindowMinimized);
        tutorial->Show();
        QVERIFY(!tutorial->imaAddIE1()->pixmap().isNull() && !tutorial->imaAddIE2()->pixmap().isNull());
        for (int clicks = 0;; ++clicks) {
            const bool firstPage = clicks % 2 == 0;
            QCOMPARE(tutorial->CmdAfter()->text(), QString(firstPage ? "Suivant" : "Précédent"));
            QCOMPARE(tutorial->imaAddIE1()->isVisible(), firstPage);
            QCOMPARE(tutorial->imaAddIE2()->isVisible(), !firstPage);
            if (clicks == 3)
                break;
            QTest::mouseClick(tutorial->CmdAfter(), Qt::LeftButton);
        }
        tutorial->Unload();
        QVERIFY(!(mainWindow->windowState() & Qt::WindowMinimized));
        tutorial->Show();
        QVERIFY(tutorial->imaAddIE1()->isVisible() && !tutorial->imaAddIE2()->isVisible());
    }
};

QTEST_MAIN(TestToolbar)
#include "tst_toolbar.moc"
