#include "browser/frmListIcon.h"

#include "browser/ieToolBar.h"
#include "common/TextFiles.h"
#include "ui/Twips.h"
#include "ui/WindowOrder.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWidget>

namespace kr {
namespace {

// Sizes of the classic registry buffers: names 255 characters, data 255 bytes.
constexpr int kNameBuffer = 255;
constexpr int kDataBuffer = 255;

// Errors about the key being enumerated itself rather than about one entry:
// asking for the next index would fail the same way forever.
bool keyUnusable(long status)
{
    switch (status) {
    case RegInvalidHandle:
    case RegKeyDeleted:
    case RegBadDb:
    case RegBusy:
    case RegAccessDenied:
    case RegCantRead:
    case RegSymbolicLink:
        return true;
    default:
        return false;
    }
}

// A string value's data holds its text and the terminating NUL: the text is
// the data less its last byte. Zero-length data reads as the empty text.
QString stringData(const QByteArray& data)
{
    return data.isEmpty() ? QString() : QString::fromLocal8Bit(data.left(data.size() - 1));
}

} // namespace

frmListIcon::frmListIcon(Platform& platform, std::function<QWidget*()> mainWindow,
                         std::function<bool()> keepMainOnTop, QObject* parent)
    : FormOf(parent), m_platform(platform), m_mainWindow(std::move(mainWindow)),
      m_keepMainOnTop(std::move(keepMainOnTop))
{}

QTreeWidget* frmListIcon::ListView()
{
    Load();
    return m_ui.list;
}

std::unique_ptr<QWidget> frmListIcon::createWidget()
{
    auto w = std::make_unique<QWidget>();
    w->setObjectName(QStringLiteral("frmListIcon"));
    w->setWindowTitle(QStringLiteral("Icon IE"));
    w->resize(twips(9600), twips(3600));
    auto* layout = new QVBoxLayout(w.get());
    layout->setContentsMargins(4, 4, 4, 4);
    m_ui.list = new QTreeWidget(w.get());
    m_ui.list->setObjectName(QStringLiteral("ListView"));
    m_ui.list->setRootIsDecorated(false);
    m_ui.list->setUniformRowHeights(true);
    m_ui.list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_ui.list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_ui.list->header()->setStretchLastSection(false);
    m_ui.list->header()->setMinimumSectionSize(1);
    layout->addWidget(m_ui.list);
    return w;
}

void frmListIcon::onLoad()
{
    // Report view: empty headers and rows, then the seven columns.
    m_ui.list->clear();
    static const struct {
        const char16_t* heading;
        int width;
    } columns[ColumnCount] = {
        {u"X", 310},        {u"Extension", 3500}, {u"CLSID", 3000}, {u"Icone", 2000},
        {u"Caption", 2000}, {u"Clé", 600},        {u"KKEY", 2000},
    };
    QStringList headings;
    for (const auto& c : columns)
        headings << QString::fromUtf16(c.heading);
    m_ui.list->setColumnCount(ColumnCount);
    m_ui.list->setHeaderLabels(headings);
    for (int i = 0; i < ColumnCount; ++i) {
        m_ui.list->headerItem()->setTextAlignment(i, Qt::AlignLeft | Qt::AlignVCenter);
        m_ui.list->setColumnWidth(i, twips(columns[i].width));
    }
    ListProgzIE(HKEY_CURRENT_USER, toolbarParentKey());
}

void frmListIcon::onUnload()
{
    QWidget* main = m_mainWindow ? m_mainWindow() : nullptr;
    if (main && m_keepMainOnTop && m_keepMainOnTop())
        SetAlwaysOnTop(main);
}

void frmListIcon::ListProgzIE(RegKey root, const QString& path)
{
    if (!m_ui.list)
        return;
    m_ui.list->clear();
    m_scanStatus = RegOk;
    if (!m_platform.registry)
        return;
    IRegistry& registry = *m_platform.registry;
    RegKey parent = 0;
    const long opened = registry.openKey(root, path, 0x3F, parent);
    if (opened != RegOk) {
        // No key yet means no button; anything else means the buttons are unknown.
        if (opened != RegFileNotFound)
            m_scanStatus = opened;
        return;
    }
    const QString ownIcon = ownIconPath(AppDir());
    const QString keyPath = path.trimmed();
    for (quint32 index = 0;; ++index) {
        QString name;
        const long status = registry.enumKey(parent, index, kNameBuffer, name);
        if (keyUnusable(status))
            m_scanStatus = status;
        if (status == RegNoMoreItems || keyUnusable(status))
            break;
        // Other errors (a name too long for the buffer) leave this entry out.
        if (name.isEmpty())
            continue;
        const RegKey button = OpenKey(registry, HKEY_CURRENT_USER, keyPath + QLatin1Char('\\') + name);
        if (button == 0)
            continue;
        QString icon;
        QString caption;
        bool valueSeen = false;
        for (quint32 v = 0;; ++v) {
            QString valueName;
            quint32 type = 0;
            QByteArray data;
            const long status =
                registry.enumValue(button, v, kNameBuffer, kDataBuffer, valueName, type, data);
            if (status == RegNoMoreItems || keyUnusable(status))
                break;
            valueSeen = true;
            const QString lower = valueName.toLower();
            if (lower.startsWith(QLatin1String("icon")))
                icon = stringData(data);
            if (lower.startsWith(QLatin1String("buttontext")))
                caption = stringData(data);
        }
        registry.closeKey(button);
        if (!valueSeen || !icon.contains(QLatin1String(".ico")))
            continue;
        auto* row = new QTreeWidgetItem(m_ui.list);
        row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
        row->setText(ColX, QString());
        row->setText(ColExtension, path);
        row->setText(ColClsid, name);
        row->setText(ColIcone, icon);
        row->setText(ColCaption, caption);
        row->setText(ColCle, QString::number(button));
        row->setText(ColKkey, QString::number(qint32(root)));
        const bool own = icon == ownIcon;
        row->setCheckState(ColX, own ? Qt::Checked : Qt::Unchecked);
        if (own)
            IEButtonPresent = 1;
    }
    registry.closeKey(parent);
}

long frmListIcon::DeliteProgzIE()
{
    if (!m_ui.list || !m_platform.registry)
        return RegOk;
    long result = RegOk;
    IRegistry& registry = *m_platform.registry;
    const int count = m_ui.list->topLevelItemCount();
    for (int i = 0; i < count; ++i) {
        const QTreeWidgetItem* row = m_ui.list->topLevelItem(i);
        if (!row || row->checkState(ColX) != Qt::Checked)
            continue;
        const QString parentPath = row->text(ColExtension);
        const QString subkey = row->text(ColClsid);
        const RegKey root = RegKey(qint32(row->text(ColKkey).toInt()));
        RegKey parent = 0;
        registry.openKey(root, parentPath, 0x3F, parent);
        RegKey button = 0;
        long status = registry.openKey(root, parentPath.trimmed() + QLatin1Char('\\') + subkey, 0x3F, button);
        // Deleted through the handle of the button's key itself, with all its values.
        if (parent != 0 && button != 0)
            status = registry.deleteKey(button, QString());
        // A key that is gone already is what was asked for.
        if (result == RegOk && status != RegOk && status != RegFileNotFound)
            result = status;
        if (button != 0)
            registry.closeKey(button);
        if (parent != 0)
            registry.closeKey(parent);
    }
    return result;
}

} // namespace kr
