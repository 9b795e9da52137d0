#include "browser/frmAddIe.h"

#include "ui/Twips.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QWidget>

namespace kr {
namespace {

QLabel* picture(QWidget* parent, const QString& name, const QString& resource, const QRect& geometry)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    placeLabel(label, geometry);
    label->setPixmap(QPixmap(resource));
    label->setScaledContents(true);
    return label;
}

} // namespace

frmAddIe::frmAddIe(std::function<QWidget*()> mainWindow, QObject* parent)
    : FormOf(parent), m_mainWindow(std::move(mainWindow))
{}

QLabel* frmAddIe::imaAddIE1()
{
    Load();
    return m_ui.page1;
}

QLabel* frmAddIe::imaAddIE2()
{
    Load();
    return m_ui.page2;
}

QPushButton* frmAddIe::CmdAfter()
{
    Load();
    return m_ui.next;
}

std::unique_ptr<QWidget> frmAddIe::createWidget()
{
    auto w = std::make_unique<QWidget>();
    w->setObjectName(QStringLiteral("frmAddIe"));
    w->setWindowTitle(QStringLiteral("Tutorial Pour ajouter l'icone a internet explorer 7."));
    w->setFixedSize(twips(8175), twips(7560));
    m_ui.page1 = picture(w.get(), QStringLiteral("imaAddIE1"), QStringLiteral(":/toolbar/AddIE1.png"),
                         twipsRect(360, 1320, 7275, 4890));
    m_ui.page2 = picture(w.get(), QStringLiteral("imaAddIE2"), QStringLiteral(":/toolbar/AddIE2.png"),
                         twipsRect(0, 0, 8130, 6945));
    m_ui.page2->hide();
    m_ui.next = new QPushButton(QStringLiteral("Suivant"), w.get());
    m_ui.next->setObjectName(QStringLiteral("CmdAfter"));
    m_ui.next->setGeometry(twipsRect(120, 7080, 7935, 375));
    connect(m_ui.next, &QPushButton::clicked, this, &frmAddIe::CmdAfter_Click);
    return w;
}

void frmAddIe::CmdAfter_Click()
{
    if (!m_ui.next)
        return;
    if (m_ui.next->text() == QLatin1String("Suivant")) {
        m_ui.page1->hide();
        m_ui.page2->show();
        m_ui.next->setText(QStringLiteral("Précédent"));
    } else {
        m_ui.page2->hide();
        m_ui.page1->show();
        m_ui.next->setText(QStringLiteral("Suivant"));
    }
}

void frmAddIe::onUnload()
{
    QWidget* main = m_mainWindow ? m_mainWindow() : nullptr;
    if (main && (main->windowState() & Qt::WindowMinimized))
        main->setWindowState(main->windowState() & ~Qt::WindowMinimized);
}

} // namespace kr
