// The toolbar button: registration, the manager window's scan and removal,
// and the tutorial window, on the in-memory registry.
#include "RegistryDouble.h"
#include "TestKit.h"
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

// One key under the extensions key, written as another program would.
struct KeySpec {
    QString name;
    std::vector<std::pair<QString, QByteArray>> values;
};
using Keys = QList<KeySpec>;
// A listed row: subkey name, icon, caption, ticked.
using Rows = QStringList;

QString rowText(const QTreeWidgetItem* row)
{
    return row->text(frmListIcon::ColClsid) + QLatin1Char('|') + row->text(frmListIcon::ColIcone) +
           QLatin1Char('|') + row->text(frmListIcon::ColCaption) + QLatin1Char('|') +
           (row->checkState(frmListIcon::ColX) == Qt::Checked ? QLatin1Char('x') : QLatin1Char('-'));
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
    static KeySpec button(const QString& name, const QString& icon, const QString& caption = QString())
    {
        KeySpec k{name, {{QStringLiteral("Exec"), sz(QStringLiteral("/x/y"))}}};
        if (!icon.isNull())
            k.values.push_back({QStringLiteral("Icon"), sz(icon)});
        if (!caption.isNull())
            k.values.push_back({QStringLiteral("ButtonText"), sz(caption)});
        return k;
    }

private slots:
    void init()
    {
        registry = MemoryRegistry();
        platform.registry = &registry;
        IEButtonPresent = 0;
        qputenv("KEYROVIA_APP_DIR", kAppDir.toLocal8Bit());
        mainWindow = std::make_unique<QWidget>();
        keepMainOnTop = false;
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

    void registrationWritesTheSixValues_data()
    {
        QTest::addColumn<QString>("appDir");
        QTest::addColumn<QString>("icon");
        test::textRow("folder", {"/home/ana/Tools/", "/home/ana/Tools/ICON.ico"});
        test::textRow("root", {"/", "/ICON.ico"});
        test::textRow("accents", {"/home/zoé/Mes Outils/", "/home/zoé/Mes Outils/ICON.ico"});
    }

    // The program's files may be kept elsewhere (KEYROVIA_APP_DIR): the icon
    // is theirs, the command is the executable that runs.
    void registrationWritesTheSixValues()
    {
        QFETCH(QString, appDir);
        QFETCH(QString, icon);
        const QString exec = QCoreApplication::applicationFilePath();
        qputenv("KEYROVIA_APP_DIR", appDir.toLocal8Bit());
        QCOMPARE(AddProgzIE(registry), long(RegOk));
        const QStringList keys = registry.subkeys(kExtensionsKey);
        QCOMPARE(keys.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-"
                                                   "[0-9A-F]{12}\\}$"))
                     .match(keys.first())
                     .hasMatch(),
                 qPrintable(keys.first()));
        const MemoryRegistry::Key* k = registry.key(kExtensionsKey + QLatin1Char('\\') + keys.first());
        QVERIFY(k);
        QCOMPARE(k->path, kExtensionsKey + QLatin1Char('\\') + keys.first());
        QCOMPARE(k->keyClass, QStringLiteral("REG DWORD"));
        const std::vector<std::pair<QString, QString>> expected = {
            {"Exec", exec},
            {"Icon", icon},
            {"HotIcon", icon},
            {"ButtonText", "Keyrovia"},
            {"CLSID", "{1FBA04EE-3024-11d2-8F1F-0000F87ABD16}"},
            {"Default Visible", "yes"},
        };
        QCOMPARE(k->values.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            QCOMPARE(k->values[i].name, expected[i].first);
            QCOMPARE(k->values[i].type, REG_SZ);
            QCOMPARE(k->values[i].data, sz(expected[i].second));
        }
        QCOMPARE(registry.openHandles(), 0);

        // The next scan recognises it as the program's own.
        qputenv("KEYROVIA_APP_DIR", appDir.toLocal8Bit());
        QCOMPARE(scan(), QStringList{keys.first() + QLatin1Char('|') + icon + QStringLiteral("|Keyrovia|x")});
        QCOMPARE(IEButtonPresent, qint16(1));
    }

    void registeringTwiceGivesTwoKeysWithEqualValues()
    {
        AddProgzIE(registry, kAppDir, QStringLiteral("Keyrovia"));
        AddProgzIE(registry, kAppDir, QStringLiteral("Keyrovia"));
        const QStringList keys = registry.subkeys(kExtensionsKey);
        QCOMPARE(keys.size(), 2);
        QVERIFY(keys[0] != keys[1]);
        const auto* a = registry.key(kExtensionsKey + QLatin1Char('\\') + keys[0]);
        const auto* b = registry.key(kExtensionsKey + QLatin1Char('\\') + keys[1]);
        QCOMPARE(a->values.size(), size_t(6));
        for (size_t i = 0; i < 6; ++i)
            QCOMPARE(a->values[i].data, b->values[i].data);
        QCOMPARE(scan().filter(QRegularExpression(QStringLiteral("\\|x$"))).size(), 2);
    }

    void registrationFailures_data()
    {
        QTest::addColumn<QString>("failingCall");
        QTest::addColumn<QString>("failingValue");
        QTest::addColumn<int>("keys");
        QTest::addColumn<int>("values");
        QTest::newRow("create fails") << "create"
                                      << "" << 0 << 0;
        QTest::newRow("reopen fails") << "open"
                                      << "" << 1 << 0;
        QTest::newRow("one write fails") << "set"
                                         << "Icon" << 1 << 5;
    }
    void registrationFailures()
    {
        QFETCH(QString, failingCall);
        QFETCH(QString, failingValue);
        QFETCH(int, keys);
        QFETCH(int, values);
        registry.put(kExtensionsKey, {}); // the browser's own key is there
        int opens = 0;
        registry.fault = [&](const QString& call, const QString& path) -> long {
            if (call != failingCall || !path.contains(QLatin1Char('{')))
                return RegOk;
            // The first open is the existence check, which must find nothing.
            if (call == QLatin1String("open") && ++opens == 1)
                return RegOk;
            return RegAccessDenied;
        };
        if (!failingValue.isEmpty()) {
            int sets = 0; // the second write is "Icon"
            registry.fault = [sets](const QString& call, const QString&) mutable -> long {
                return call == QLatin1String("set") && ++sets == 2 ? RegAccessDenied : RegOk;
            };
        }
        QCOMPARE(AddProgzIE(registry, kAppDir, QStringLiteral("Keyrovia")), long(RegAccessDenied));
        registry.fault = nullptr;
        const QStringList found = registry.subkeys(kExtensionsKey);
        QCOMPARE(found.size(), keys);
        if (keys) {
            const auto* k = registry.key(kExtensionsKey + QLatin1Char('\\') + found.first());
            QCOMPARE(int(k->values.size()), values);
            if (!failingValue.isEmpty())
                for (const auto& v : k->values)
                    QVERIFY(v.name != failingValue);
        }
        QVERIFY(registry.hasKey(kExtensionsKey));
        QCOMPARE(registry.openHandles(), 0);
    }

    void emptyTextWritesNothing()
    {
        RegKey k = CreateKey(registry, HKEY_CURRENT_USER, QStringLiteral("A\\B"));
        QVERIFY(k != 0);
        QVERIFY(registry.hasKey(QStringLiteral("A")));
        QCOMPARE(SetKeyValue(registry, k, QStringLiteral("Vide"), REG_SZ, QString()), 0L);
        QVERIFY(registry.key(QStringLiteral("A\\B"))->values.empty());
        QVERIFY(SetKeyValue(registry, 0, QStringLiteral("X"), REG_SZ, QStringLiteral("y")) != 0);
        registry.closeKey(k);
        QVERIFY(KeyExists(registry, HKEY_CURRENT_USER, QStringLiteral("a\\b")));
        QVERIFY(!KeyExists(registry, HKEY_CURRENT_USER, QStringLiteral("A\\C")));
        QCOMPARE(OpenKey(registry, HKEY_CURRENT_USER, QStringLiteral("A\\C")), RegKey(0));
        QCOMPARE(registry.openHandles(), 0);
    }

    void scanReadingRules_data()
    {
        QTest::addColumn<Keys>("keys");
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<int>("present");
        const QString other = QStringLiteral("/usr/share/autre/outil.ico");
        QTest::newRow("none") << Keys{} << Rows{} << 0;
        QTest::newRow("own at index 0")
            << Keys{button("{A}", kOwnIcon, "Keyrovia")} << Rows{"{A}|" + kOwnIcon + "|Keyrovia|x"} << 1;
        QTest::newRow("foreign") << Keys{button("{B}", other, "Autre")} << Rows{"{B}|" + other + "|Autre|-"}
                                 << 0;
        QTest::newRow("upper-case extension") << Keys{button("{C}", "/x/A.ICO", "Z")} << Rows{} << 0;
        QTest::newRow(".ico inside the text")
            << Keys{button("{C}", "/x/a.icon.png", "Z")} << Rows{"{C}|/x/a.icon.png|Z|-"} << 0;
        QTest::newRow("own path in another case")
            << Keys{button("{D}", "/opt/keyrovia/ICON.ico")} << Rows{"{D}|/opt/keyrovia/ICON.ico||-"} << 0;
        QTest::newRow("moved folder") << Keys{button("{E}", "/old/place/ICON.ico", "Keyrovia")}
                                      << Rows{"{E}|/old/place/ICON.ico|Keyrovia|-"} << 0;
        QTest::newRow("caption missing after one that has it")
            << Keys{button("{F1}", other, "Autre"), button("{F2}", other)}
            << Rows{"{F1}|" + other + "|Autre|-", "{F2}|" + other + "||-"} << 0;
        QTest::newRow("icon missing after a listed key")
            << Keys{button("{G1}", other, "Autre"), button("{G2}", QString(), "Sans")}
            << Rows{"{G1}|" + other + "|Autre|-"} << 0;
        QTest::newRow("value names in any case, last one wins")
            << Keys{KeySpec{"{H}",
                            {{"ICON", sz("/a/premier.ico")},
                             {"BUTTONTEXTE", sz("Premier")},
                             {"iconique", sz(kOwnIcon)},
                             {"ButtonText", sz("Dernier")}}}}
            << Rows{"{H}|" + kOwnIcon + "|Dernier|x"} << 1;
        QTest::newRow("HotIcon is not the icon")
            << Keys{KeySpec{"{I}", {{"HotIcon", sz(kOwnIcon)}, {"ButtonText", sz("K")}}}} << Rows{} << 0;
        QTest::newRow("no value at all") << Keys{KeySpec{"{J}", {}}} << Rows{} << 0;
        QTest::newRow("zero-length data")
            << Keys{KeySpec{"{K}", {{"Icon", sz(other)}, {"ButtonText", QByteArray()}}}}
            << Rows{"{K}|" + other + "||-"} << 0;
        QTest::newRow("data without its NUL loses its last character")
            << Keys{KeySpec{"{L}", {{"Icon", other.toLocal8Bit() + "x"}}}} << Rows{"{L}|" + other + "||-"}
            << 0;
        QTest::newRow("data past the 255-byte buffer")
            << Keys{KeySpec{"{M}", {{"Icon", sz("/x/" + QString(260, 'a') + ".ico")}}}} << Rows{} << 0;
        QTest::newRow("key name past the 255-character buffer")
            << Keys{button(QString(255, 'n'), kOwnIcon), button("{N}", other)} << Rows{"{N}|" + other + "||-"}
            << 0;
        QTest::newRow("three own keys") << Keys{button("{O1}", kOwnIcon), button("{O2}", other),
                                                button("{O3}", kOwnIcon), button("{O4}", kOwnIcon)}
                                        << Rows{"{O1}|" + kOwnIcon + "||x", "{O2}|" + other + "||-",
                                                "{O3}|" + kOwnIcon + "||x", "{O4}|" + kOwnIcon + "||x"}
                                        << 1;
    }
    void scanReadingRules()
    {
        QFETCH(Keys, keys);
        QFETCH(Rows, rows);
        QFETCH(int, present);
        registry.put(kExtensionsKey, {});
        put(keys);
        QCOMPARE(scan(), rows);
        QCOMPARE(int(IEButtonPresent), present);
        QCOMPARE(registry.openHandles(), 0);
        // Nothing is changed by a scan.
        registry.changes.clear();
        scan();
        QVERIFY(registry.changes.isEmpty());
    }

    void scanNeverClearsTheFlag()
    {
        IEButtonPresent = 1;
        QCOMPARE(scan(), QStringList()); // no parent key at all
        put({button("{A}", QStringLiteral("/x/y.ico"))});
        QCOMPARE(scan().size(), 1);
        QCOMPARE(IEButtonPresent, qint16(1));
    }

    void scanGoesOnPastErrors()
    {
        put({button("{A}", kOwnIcon), button("{B}", QStringLiteral("/b.ico")),
             button("{C}", QStringLiteral("/c.ico"))});
        registry.fault = [](const QString& call, const QString& path) -> long {
            if (call == QLatin1String("open") && path.endsWith(QLatin1String("{A}")))
                return RegAccessDenied;
            if (call == QLatin1String("enumValue") && path.endsWith(QLatin1String("{B}")))
                return RegCantRead; // every value of B unreadable
            return RegOk;
        };
        const QStringList rows = scan();
        registry.fault = nullptr;
        QCOMPARE(rows, QStringList{QStringLiteral("{C}|/c.ico||-")});
        QCOMPARE(IEButtonPresent, qint16(0));
    }

    void scanEndsWhenTheKeyItselfFails_data()
    {
        QTest::addColumn<long>("status");
        QTest::newRow("damaged store") << long(RegBadDb);
        QTest::newRow("key deleted meanwhile") << long(RegKeyDeleted);
        QTest::newRow("store kept locked") << long(RegBusy);
    }
    void scanEndsWhenTheKeyItselfFails()
    {
        QFETCH(long, status);
        put({button("{A}", kOwnIcon)});
        int calls = 0;
        registry.fault = [&](const QString& call, const QString&) -> long {
            if (call != QLatin1String("enumKey"))
                return RegOk;
            ++calls;
            return status;
        };
        QCOMPARE(scan(), QStringList());
        registry.fault = nullptr;
        QCOMPARE(calls, 1);
        QCOMPARE(IEButtonPresent, qint16(0));
        QCOMPARE(registry.openHandles(), 0);
    }

    void listColumns()
    {
        put({button("{A}", kOwnIcon, QStringLiteral("Keyrovia"))});
        manager->Load();
        QTreeWidget* list = manager->ListView();
        QCOMPARE(manager->widget()->windowTitle(), QStringLiteral("Icon IE"));
        const QStringList headings = {"X", "Extension", "CLSID", "Icone", "Caption", "Clé", "KKEY"};
        const QList<int> widths = {21, 233, 200, 133, 133, 40, 133};
        QCOMPARE(list->columnCount(), 7);
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(list->headerItem()->text(i), headings[i]);
            QCOMPARE(list->columnWidth(i), widths[i]);
        }
        const QTreeWidgetItem* row = list->topLevelItem(0);
        QCOMPARE(row->text(frmListIcon::ColX), QString());
        QCOMPARE(row->text(frmListIcon::ColExtension), kExtensionsKey);
        QCOMPARE(row->text(frmListIcon::ColKkey), QStringLiteral("-2147483647"));
        QVERIFY(row->text(frmListIcon::ColCle).toUInt() != 0);
    }

    void removalDeletesEveryTickedKey()
    {
        const KeySpec foreign = button("{F}", QStringLiteral("/autre/outil.ico"), QStringLiteral("Autre"));
        put({button("{A}", kOwnIcon), foreign, button("{B}", kOwnIcon), button("{C}", kOwnIcon)});
        QCOMPARE(scan().size(), 4);
        manager->DeliteProgzIE();
        QCOMPARE(registry.subkeys(kExtensionsKey), QStringList{QStringLiteral("{F}")});
        QCOMPARE(registry.key(kExtensionsKey + QStringLiteral("\\{F}"))->values.size(),
                 foreign.values.size());
        QVERIFY(registry.hasKey(kExtensionsKey));
        QCOMPARE(manager->ListView()->topLevelItemCount(), 4); // rows stay
        QCOMPARE(registry.openHandles(), 0);
        manager->DeliteProgzIE(); // keys already gone: nothing happens
        QCOMPARE(registry.subkeys(kExtensionsKey).size(), 1);
    }

    void closingGivesTheMainWindowItsTopmostState_data()
    {
        QTest::addColumn<bool>("visible");
        QTest::newRow("Visible ticked") << true;
        QTest::newRow("Visible not ticked") << false;
    }
    void closingGivesTheMainWindowItsTopmostState()
    {
        QFETCH(bool, visible);
        keepMainOnTop = visible;
        manager->Show();
        QVERIFY(!IsAlwaysOnTop(mainWindow.get()));
        manager->widget()->close();
        QVERIFY(!manager->isLoaded());
        QCOMPARE(IsAlwaysOnTop(mainWindow.get()), visible);
    }

    void tutorialPaging_data()
    {
        QTest::addColumn<int>("clicks");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("firstPage");
        QTest::newRow("opened") << 0 << "Suivant" << true;
        QTest::newRow("one click") << 1 << "Précédent" << false;
        QTest::newRow("two clicks") << 2 << "Suivant" << true;
        QTest::newRow("three clicks") << 3 << "Précédent" << false;
    }
    void tutorialPaging()
    {
        QFETCH(int, clicks);
        QFETCH(QString, caption);
        QFETCH(bool, firstPage);
        tutorial->Show();
        QCOMPARE(tutorial->widget()->windowTitle(),
                 QStringLiteral("Tutorial Pour ajouter l'icone a internet explorer 7."));
        for (int i = 0; i < clicks; ++i)
            QTest::mouseClick(tutorial->CmdAfter(), Qt::LeftButton);
        QCOMPARE(tutorial->CmdAfter()->text(), caption);
        QCOMPARE(tutorial->imaAddIE1()->isVisible(), firstPage);
        QCOMPARE(tutorial->imaAddIE2()->isVisible(), !firstPage);
        QVERIFY(!tutorial->imaAddIE1()->pixmap().isNull());
        QVERIFY(!tutorial->imaAddIE2()->pixmap().isNull());
    }

    void tutorialClosingRestoresTheMainWindow_data()
    {
        QTest::addColumn<bool>("byCloseBox");
        QTest::newRow("close box") << true;
        QTest::newRow("unloaded by the program") << false;
    }
    void tutorialClosingRestoresTheMainWindow()
    {
        QFETCH(bool, byCloseBox);
        mainWindow->show();
        mainWindow->setWindowState(Qt::WindowMinimized);
        tutorial->Show();
        QTest::mouseClick(tutorial->CmdAfter(), Qt::LeftButton); // page 2
        if (byCloseBox)
            tutorial->widget()->close();
        else
            tutorial->Unload();
        QVERIFY(!tutorial->isLoaded());
        QVERIFY(!(mainWindow->windowState() & Qt::WindowMinimized));
        // Opened again, it starts on page 1.
        tutorial->Show();
        QCOMPARE(tutorial->CmdAfter()->text(), QStringLiteral("Suivant"));
        QVERIFY(tutorial->imaAddIE1()->isVisible());
        QVERIFY(!tutorial->imaAddIE2()->isVisible());
    }
};

QTEST_MAIN(TestToolbar)
#include "tst_toolbar.moc"
