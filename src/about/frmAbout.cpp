#include "about/frmAbout.h"

#include "about/ProgramIcon.h"
#include "common/Version.h"
#include "ui/Controls.h"
#include "ui/LinkLabel.h"
#include "ui/WindowOrder.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QRadialGradient>
#include <QVBoxLayout>
#include <QWidget>

namespace kr {
namespace {

constexpr int kBannerWidth = 548;
constexpr int kBannerHeight = 86;
constexpr int kPresentationWidth = 215;

QString makerName()
{
    return QStringLiteral("Quillmark");
}

// The banner: the maker's name as a logo, white on a deep blue ground, with
// the program's padlock beside it.
QPixmap drawBanner()
{
    QPixmap banner(kBannerWidth, kBannerHeight);
    const QRectF all(0, 0, kBannerWidth, kBannerHeight);
    QPainter p(&banner);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient ground(0, 0, kBannerWidth, kBannerHeight);
    ground.setColorAt(0.0, QColor(0x0B, 0x2A, 0x6F));
    ground.setColorAt(0.6, QColor(0x14, 0x4F, 0xC4));
    ground.setColorAt(1.0, QColor(0x2A, 0x7B, 0xE8));
    p.fillRect(all, ground);

    // Soft rings on the right, for depth.
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i) {
        QRadialGradient ring(QPointF(470 + 30 * i, 10 + 30 * i), 90 - 20 * i);
        ring.setColorAt(0.0, QColor(255, 255, 255, 40));
        ring.setColorAt(1.0, QColor(255, 255, 255, 0));
        p.setBrush(ring);
        p.drawEllipse(ring.center(), ring.radius(), ring.radius());
    }

    // A tapered quill stroke sweeping under the name.
    QPainterPath quill;
    quill.moveTo(100, 76);
    quill.cubicTo(220, 66, 340, 74, 450, 58);
    quill.cubicTo(340, 80, 220, 74, 100, 79);
    quill.closeSubpath();
    p.setBrush(QColor(0xE8, 0xB0, 0x2A, 220));
    p.drawPath(quill);

    p.drawImage(QRectF(18, 11, 64, 64), programIconImage(64));

    QFont font(QStringLiteral("Georgia"));
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(44);
    font.setBold(true);
    font.setItalic(true);
    p.setFont(font);
    const QRectF textRect(100, 2, kBannerWidth - 110, 62);
    p.setPen(QColor(0, 0, 0, 110));
    p.drawText(textRect.translated(2, 2), Qt::AlignLeft | Qt::AlignVCenter, makerName());
    p.setPen(Qt::white);
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, makerName());
    p.end();
    return banner;
}

LinkLabel* makeLink(QWidget* parent, const char* name, const QString& text)
{
    auto* label = new LinkLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QLabel* makeCaption(QWidget* parent, const char* name, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLineEdit* makeField(QWidget* parent, const char* name)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setReadOnly(true);
    return box;
}

} // namespace

frmAbout::frmAbout(Platform& platform, std::function<QWidget*()> mainWindow,
                   std::function<bool()> keepMainOnTop, QObject* parent)
    : FormOf(parent), m_platform(platform), m_mainWindow(std::move(mainWindow)),
      m_keepMainOnTop(std::move(keepMainOnTop))
{
    setObjectName(QStringLiteral("frmAbout"));
}

std::unique_ptr<QWidget> frmAbout::createWidget()
{
    auto window = std::make_unique<QWidget>(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    window->setObjectName(QStringLiteral("frmAbout"));
    window->setWindowTitle(QStringLiteral("A Propo De..."));
    window->setWindowIcon(programIcon());

    auto* outer = new QVBoxLayout(window.get());
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    auto* Frame1 = new QFrame(window.get());
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFixedWidth(kBannerWidth);
    outer->addWidget(Frame1);

    auto* frameLayout = new QVBoxLayout(Frame1);
    frameLayout->setContentsMargins(0, 0, 0, 12);
    frameLayout->setSpacing(12);

    auto* Image2 = new QLabel(Frame1);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setFixedSize(kBannerWidth, kBannerHeight);
    Image2->setPixmap(drawBanner());
    frameLayout->addWidget(Image2);

    // Presentation on the left, the three fields on the right.
    auto* middle = new QHBoxLayout;
    middle->setContentsMargins(12, 0, 12, 0);
    middle->setSpacing(14);
    frameLayout->addLayout(middle);

    auto* Label1 = makeCaption(Frame1, "Label1",
                               QStringLiteral("Ce programme a été conçu à l'origine pour mon "
                                              "utilisation personnel. Suite au multiple demande, "
                                              "il est maintenant disponible pour vous tous !! "
                                              "Consulter notre site internet "));
    QFont arial(QStringLiteral("Arial"));
    arial.setStyleHint(QFont::SansSerif);
    arial.setPointSize(9);
    Label1->setFont(arial);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setFixedWidth(kPresentationWidth);
    Label1->setMinimumHeight(Label1->heightForWidth(kPresentationWidth));
    middle->addWidget(Label1, 0, Qt::AlignTop);

    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(8);
    fields->setVerticalSpacing(6);
    m_ui.txtProg = makeField(Frame1, "txtProg");
    m_ui.txtVersion = makeField(Frame1, "txtVersion");
    m_ui.txtComments = makeField(Frame1, "txtComments");
    fields->addWidget(makeCaption(Frame1, "Label3", QStringLiteral("Nom :")), 0, 0);
    fields->addWidget(m_ui.txtProg, 0, 1);
    fields->addWidget(makeCaption(Frame1, "Label4", QStringLiteral("Version :")), 1, 0);
    fields->addWidget(m_ui.txtVersion, 1, 1);
    fields->addWidget(makeCaption(Frame1, "Label5", QStringLiteral("Commentaire :")), 2, 0);
    fields->addWidget(m_ui.txtComments, 2, 1);
    fields->setRowStretch(3, 1);
    middle->addLayout(fields, 1);

    // Along the bottom: site address, maker with the rights notice, close button.
    auto* bottom = new QGridLayout;
    bottom->setContentsMargins(12, 0, 12, 0);
    for (int column = 0; column < 3; ++column)
        bottom->setColumnStretch(column, 1);
    frameLayout->addLayout(bottom);

    LinkLabel* site = makeLink(Frame1, "lblSite", vendorHomePage());
    site->setToolTip(QStringLiteral("Aller Sur Le Site Web"));
    connect(site, &LinkLabel::clicked, this, &frmAbout::lblSite_Click);
    m_ui.lblSite = site;
    bottom->addWidget(m_ui.lblSite, 0, 0, Qt::AlignLeft | Qt::AlignVCenter);

    auto* maker = new QVBoxLayout;
    maker->setSpacing(2);
    LinkLabel* quillmark = makeLink(Frame1, "lblQuillmark", makerName());
    QFont makerFont = quillmark->font();
    makerFont.setBold(true);
    quillmark->setFont(makerFont);
    connect(quillmark, &LinkLabel::clicked, this, &frmAbout::lblQuillmark_Click);
    m_ui.lblQuillmark = quillmark;
    maker->addWidget(m_ui.lblQuillmark, 0, Qt::AlignHCenter);
    auto* Label2 =
        makeCaption(Frame1, "Label2", QStringLiteral("© %1 - Tous droits réservés").arg(makerName()));
    QFont small = Label2->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    Label2->setFont(small);
    maker->addWidget(Label2, 0, Qt::AlignHCenter);
    bottom->addLayout(maker, 0, 1, Qt::AlignCenter);

    m_ui.cmdQuit = new QPushButton(QStringLiteral("&Fermer"), Frame1);
    m_ui.cmdQuit->setObjectName(QStringLiteral("cmdQuit"));
    connect(m_ui.cmdQuit, &QPushButton::clicked, this, &frmAbout::cmdQuit_Click);
    bottom->addWidget(m_ui.cmdQuit, 0, 2, Qt::AlignRight | Qt::AlignVCenter);

    return window;
}

void frmAbout::onLoad()
{
    const QString name = executableName();
    const QString version = versionText();
    widget()->setWindowTitle(QStringLiteral("A propos de ") + name + QLatin1Char(' ') + version);
    setBoxText(m_ui.txtProg, name);
    setBoxText(m_ui.txtVersion, version);
    setBoxText(m_ui.txtComments, versionComment());
    ClearAlwaysOnTop(m_mainWindow ? m_mainWindow() : nullptr);
}

void frmAbout::onUnload()
{
    SetTopmost(m_mainWindow ? m_mainWindow() : nullptr, m_keepMainOnTop && m_keepMainOnTop());
}

void frmAbout::cmdQuit_Click()
{
    Unload();
}

void frmAbout::lblSite_Click()
{
    openSite();
}

void frmAbout::lblQuillmark_Click()
{
    openSite();
}

void frmAbout::openSite()
{
    // Handed to the desktop; neither waited for nor checked.
    if (m_platform.shell)
        m_platform.shell->open(vendorHomePage());
}

} // namespace kr
