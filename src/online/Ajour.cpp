#include "online/Ajour.h"

#include "common/Strings.h"
#include "common/Version.h"
#include "online/PictureButton.h"
#include "online/UpdateCheck.h"
#include "ui/Twips.h"

#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>

namespace kr {
namespace {

const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);
constexpr int kBlinkMs = 700;
constexpr int kAlonePollMs = 100;

QColor vbColor(int color)
{
    return color == 0 ? kBlack : kRed;
}

void paintBack(QWidget* w, const QColor& color)
{
    if (!w)
        return;
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, color);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

QLabel* colouredLabel(const QString& text, const QColor& fore, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, fore);
    pal.setColor(QPalette::Window, kBlack);
    l->setPalette(pal);
    l->setAutoFillBackground(true);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSizeF(8.25);
    f.setBold(true);
    l->setFont(f);
    return l;
}

} // namespace

Ajour::Ajour(Platform& platform, std::function<void()> closeOtherWindows, QObject* parent)
    : FormOf(parent), m_platform(platform), m_closeOtherWindows(std::move(closeOtherWindows))
{}

Ajour::~Ajour()
{
    if (m_Winsock1)
        m_Winsock1->close();
}

std::unique_ptr<QWidget> Ajour::createWidget()
{
    auto w = std::make_unique<QWidget>();
    w->setObjectName(QStringLiteral("Ajour"));
    w->setWindowTitle(QStringLiteral("New Vers  : Keyrovia"));
    const QRect frame = twipsRect(0, 0, 4455, 3255);
    w->setFixedSize(frame.size());
    m_backColor = 0;
    paintBack(w.get(), kBlack);

    m_ui.fraMise = new QFrame(w.get());
    m_ui.fraMise->setObjectName(QStringLiteral("fraMise"));
    m_ui.fraMise->setGeometry(frame);
    m_ui.fraMise->setFrameShape(QFrame::Box);
    paintBack(m_ui.fraMise, kRed);
    auto* caption = new QLabel(QStringLiteral("Nouvelle Mise a jour OBLIGATOIRE Disponible"), m_ui.fraMise);
    caption->setObjectName(QStringLiteral("fraMiseCaption"));
    QFont captionFont(QStringLiteral("MS Sans Serif"));
    captionFont.setPointSizeF(8.25);
    captionFont.setBold(true);
    caption->setFont(captionFont);
    QPalette capPal = caption->palette();
    capPal.setColor(QPalette::WindowText, Qt::white);
    caption->setPalette(capPal);
    // Up to the frame's right border: the bold caption fills the narrow window.
    placeLabel(caption, QRect(8, 0, frame.width() - 9, 15));

    m_ui.lblVer = colouredLabel(QStringLiteral("Verssion : "), QColor(255, 255, 0), m_ui.fraMise);
    m_ui.lblVer->setObjectName(QStringLiteral("lblVer"));
    placeLabel(m_ui.lblVer, twipsRect(120, 240, 4215, 255), Qt::AlignHCenter);

    m_ui.lblNewVer = colouredLabel(QStringLiteral("Nouvelle Verssion :"), QColor(0, 255, 0), m_ui.fraMise);
    m_ui.lblNewVer->setObjectName(QStringLiteral("lblNewVer"));
    placeLabel(m_ui.lblNewVer, twipsRect(120, 480, 4215, 375), Qt::AlignHCenter);

    m_ui.Text2 = new QPlainTextEdit(m_ui.fraMise);
    m_ui.Text2->setObjectName(QStringLiteral("Text2"));
    m_ui.Text2->setPlainText(QStringLiteral("Information\n"));
    m_ui.Text2->setReadOnly(true);
    m_ui.Text2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_ui.Text2->setGeometry(twipsRect(120, 840, 4215, 2055));
    QFont textFont(QStringLiteral("MS Sans Serif"));
    textFont.setPointSize(12);
    textFont.setBold(true);
    m_ui.Text2->setFont(textFont);
    QPalette textPal = m_ui.Text2->palette();
    textPal.setColor(QPalette::Base, kBlack);
    textPal.setColor(QPalette::Text, Qt::white);
    m_ui.Text2->setPalette(textPal);

    auto* label2 = new QLabel(m_ui.fraMise);
    label2->setObjectName(QStringLiteral("Label2"));
    paintBack(label2, kBlack);
    placeLabel(label2, twipsRect(120, 2880, 4095, 330));

    m_ui.ImaAide = new PictureButton(QStringLiteral("Aide"), m_ui.fraMise);
    m_ui.ImaAide->setObjectName(QStringLiteral("ImaAide"));
    m_ui.ImaAide->setGeometry(twipsRect(720, 2880, 945, 330));
    m_ui.ImaSiteWeb = new PictureButton(QStringLiteral("Site Web"), m_ui.fraMise);
    m_ui.ImaSiteWeb->setObjectName(QStringLiteral("ImaSiteWeb"));
    m_ui.ImaSiteWeb->setGeometry(twipsRect(1680, 2880, 1245, 330));
    m_ui.ImaDownload = new PictureButton(QStringLiteral("Download"), m_ui.fraMise);
    m_ui.ImaDownload->setObjectName(QStringLiteral("ImaDownload"));
    m_ui.ImaDownload->setGeometry(twipsRect(3000, 2880, 1380, 330));
    connect(m_ui.ImaAide, &PictureButton::clicked, this, &Ajour::ImaAide_Click);
    connect(m_ui.ImaSiteWeb, &PictureButton::clicked, this, &Ajour::ImaSiteWeb_Click);
    connect(m_ui.ImaDownload, &PictureButton::clicked, this, &Ajour::ImaDownload_Click);

    m_ui.Timer2 = new QTimer(w.get());
    m_ui.Timer2->setObjectName(QStringLiteral("Timer2"));
    m_ui.Timer2->setInterval(kBlinkMs);
    connect(m_ui.Timer2, &QTimer::timeout, this, &Ajour::Timer2_Timer);

    m_ui.aloneWatch = new QTimer(w.get());
    m_ui.aloneWatch->setInterval(kAlonePollMs);
    connect(m_ui.aloneWatch, &QTimer::timeout, this, &Ajour::watchAlone);

    w->setVisible(false);
    return w;
}

void Ajour::onLoad()
{
    widget()->setVisible(false);
    m_VERR.clear();
    m_newVer.clear();
    m_vendor = vendorAddress();
    if (!m_platform.tcp) {
        // No network in this build: nothing to check.
        QTimer::singleShot(0, this, [this] { Unload(); });
        return;
    }
    if (!m_Winsock1) {
        m_Winsock1 = m_platform.tcp->create();
        m_Winsock1->setHandlers({[this] { Winsock1_Connect(); }, [this] { Winsock1_DataArrival(); },
                                 [this] { Winsock1_Close(); }, [this](const QString&) { Winsock1_Error(); }});
    }
    m_Winsock1->close();
    m_aloneSince.invalidate();
    m_ui.aloneWatch->start();
    m_Winsock1->connectToHost(m_vendor.host, m_vendor.port);
    // A socket that fails at once has unloaded the window already.
    if (isLoaded())
        widget()->setVisible(false);
}

void Ajour::onUnload()
{
    if (m_ui.aloneWatch)
        m_ui.aloneWatch->stop();
    if (m_ui.Timer2)
        m_ui.Timer2->stop();
    if (m_Winsock1)
        m_Winsock1->close();
}

void Ajour::Winsock1_Connect()
{
    m_Winsock1->write(versionRequest(m_vendor.urlHost));
}

void Ajour::Winsock1_DataArrival()
{
    const std::optional<QByteArray> piece = m_Winsock1->readAll();
    if (!piece) {
        // Nothing can be decided any more: the check ends here.
        endCheck();
        return;
    }
    if (!m_VERR.append(*piece))
        endCheck(); // far beyond any real reply: unusable
}

void Ajour::Winsock1_Close()
{
    const UpdateDecision d = decideUpdate(m_VERR.text(), programVersion());
    if (d.kind != UpdateDecision::Mandatory) {
        endCheck();
        return;
    }
    showMandatoryUpdate(d.newVersion, d.information);
}

void Ajour::Winsock1_Error()
{
    endCheck();
}

void Ajour::endCheck()
{
    if (m_Winsock1)
        m_Winsock1->close();
    Unload();
}

void Ajour::showMandatoryUpdate(const QString& newVersion, const QString& information)
{
    m_ui.aloneWatch->stop();
    m_newVer = newVersion;
    m_ui.lblVer->setText(QStringLiteral("Votre Verssion Est : ") + versionText());
    m_ui.Timer2->start();
    m_ui.lblNewVer->setText(QStringLiteral("Nouvelle Verssion : ") + m_newVer);
    m_ui.Text2->setPlainText(toDisplayLineBreaks(information));
    QWidget* w = widget();
    w->setVisible(true);
    w->setWindowTitle(QStringLiteral("Keyrovia"));
    w->raise();
    w->activateWindow();
    if (m_closeOtherWindows)
        m_closeOtherWindows();
    m_VERR.clear();
    m_Winsock1->close();
}

void Ajour::Timer2_Timer()
{
    setBackColor(m_backColor != 0 ? 0 : 255);
}

void Ajour::setBackColor(int color)
{
    m_backColor = color;
    if (!isLoaded())
        return;
    paintBack(m_ui.fraMise, vbColor(color));
    paintBack(widget(), vbColor(color));
}

void Ajour::ImaAide_Click()
{
    m_platform.messageBox->show(MsgInformation,
                                QStringLiteral("Vous Utiliser Actuellement La Verssion : ") + versionText() +
                                    QStringLiteral("\r\nLa Verssion : ") + m_newVer +
                                    QStringLiteral(" Est Maintenan Disponible\r\n"
                                                   "Vous Devez Installer La Dernierre Version\r\n"
                                                   "Pour Continuer A Utiliser Ce Programme."),
                                QStringLiteral("Nouvelle Verssion"));
}

void Ajour::ImaDownload_Click()
{
    leaveAndOpen(QStringLiteral("Le Téléchargement Va Démarer\r\nEt Le Programme Va Se Fermer"),
                 QStringLiteral("/download.php?ID=10"));
}

void Ajour::ImaSiteWeb_Click()
{
    leaveAndOpen(QStringLiteral("Le Site Web Va Souvrir\r\nEt Le Programme Va Se Fermer"),
                 QStringLiteral("/page.php?page=92"));
}

void Ajour::leaveAndOpen(const QString& text, const QString& page)
{
    m_platform.messageBox->show(MsgInformation, text, QString());
    m_platform.shell->open(QStringLiteral("http://") + m_vendor.urlHost + page);
    m_platform.process->endNow();
}

void Ajour::watchAlone()
{
    // Another window keeps the program open: the check may take its time.
    if (FormRegistry::instance().loadedCount() > 1) {
        m_aloneSince.invalidate();
        return;
    }
    if (!m_aloneSince.isValid()) {
        m_aloneSince.start();
        return;
    }
    if (m_aloneSince.elapsed() + kAlonePollMs >= m_aloneGraceMs)
        endCheck(); // as if the socket had failed
}

} // namespace kr
