#include "online/frmSuggest.h"

#include "common/Version.h"
#include "online/SuggestText.h"
#include "online/SuggestTextBox.h"
#include "ui/LinkLabel.h"
#include "ui/Twips.h"
#include "ui/WindowOrder.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

namespace kr {
namespace {

QFont arialBold(qreal points)
{
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(points);
    f.setBold(true);
    return f;
}

QLabel* placedLabel(QLabel* l, const QRect& where, const QFont& font,
                    Qt::Alignment horizontal = Qt::AlignLeft)
{
    l->setFont(font);
    l->setWordWrap(true);
    placeLabel(l, where, horizontal);
    return l;
}

QLabel* placedLabel(const QString& text, const QRect& where, const QFont& font, QWidget* parent,
                    Qt::Alignment horizontal = Qt::AlignLeft)
{
    return placedLabel(new QLabel(text, parent), where, font, horizontal);
}

// The window's controls from top to bottom, at their designed places.
struct SuggestRows {
    QLabel* intro;
    QLabel* name;
    QLineEdit* nameBox;
    QLabel* email;
    QLineEdit* emailBox;
    QWidget* message;
    QLabel* star;
    QPushButton* send;
    QLabel* allowed;
    QLabel* site;
};

// The height a word-wrapped label needs for its text at its width.
int neededHeight(const QLabel* l)
{
    return std::max(l->height(), l->heightForWidth(l->width()));
}

// A label of the name and e-mail row widened to its text; the box right of it
// gives up the room and keeps its right edge.
void widenBeforeBox(QLabel* l, QLineEdit* box, int top)
{
    l->setGeometry(l->x(), top, std::max(l->width(), l->fontMetrics().horizontalAdvance(l->text()) + 1),
                   neededHeight(l));
    const int left = std::max(box->x(), l->geometry().right() + 1);
    box->setGeometry(left, top, box->geometry().right() + 1 - left, box->height());
}

// The designed places hold the design's fonts. Where the desktop's fonts are
// larger (Arial is DejaVu Sans or Nimbus Sans here), the texts above and below
// the message box push its edges in, keeping the designed gaps, so that no
// text is cut or hidden under the next row.
void fitRowsToFonts(const SuggestRows& r)
{
    const int gapAbove = r.message->y() - (r.nameBox->y() + r.nameBox->height());
    const int gapBelow = r.star->y() - (r.message->y() + r.message->height());
    const int rowTop = std::max(r.name->y(), r.intro->y() + neededHeight(r.intro));
    r.intro->resize(r.intro->width(), std::max(r.intro->height(), rowTop - r.intro->y()));
    widenBeforeBox(r.name, r.nameBox, rowTop);
    widenBeforeBox(r.email, r.emailBox, rowTop);
    for (QLineEdit* box : {r.nameBox, r.emailBox})
        box->move(box->x(), rowTop);
    int rowBottom = 0;
    for (QWidget* w : std::initializer_list<QWidget*>{r.name, r.nameBox, r.email, r.emailBox})
        rowBottom = std::max(rowBottom, w->y() + w->height());
    const int messageTop = std::max(r.message->y(), rowBottom + gapAbove);

    // From the bottom up: the site's address, the allowed characters, the
    // star's note, each text ending where the next one begins.
    int above = r.site->parentWidget()->height();
    for (QLabel* l : {r.site, r.allowed, r.star}) {
        const int text = std::max(0, l->heightForWidth(l->width()));
        const int top = std::min(l->y(), above - text);
        l->setGeometry(l->x(), top, l->width(), std::max(l->height(), text));
        above = top;
    }
    r.send->setGeometry(r.send->x(), r.star->y(), r.send->width(),
                        std::max(r.send->height(), r.star->height()));
    r.message->setGeometry(r.message->x(), messageTop, r.message->width(),
                           std::min(r.message->y() + r.message->height(), r.star->y() - gapBelow) -
                               messageTop);
}

} // namespace

int keyAsciiOf(const QKeyEvent* key)
{
    switch (key->key()) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete: // Qt gives it the text 0x7F; it types nothing
        return -1;
    default:
        break;
    }
    if (key->modifiers() & Qt::ControlModifier) {
        if (key->key() >= Qt::Key_A && key->key() <= Qt::Key_Z)
            return key->key() - Qt::Key_A + 1;
        return -1;
    }
    const QString text = key->text();
    if (text.isEmpty())
        return -1;
    return text.at(0).unicode();
}

frmSuggest::frmSuggest(Platform& platform, std::function<QWidget*()> mainWindow,
                       std::function<bool()> keepMainOnTop, QObject* parent)
    : FormOf(parent), m_platform(platform), m_mainWindow(std::move(mainWindow)),
      m_keepMainOnTop(std::move(keepMainOnTop))
{}

frmSuggest::~frmSuggest()
{
    closeSocket();
}

std::unique_ptr<QWidget> frmSuggest::createWidget()
{
    auto w = std::make_unique<QWidget>();
    w->setObjectName(QStringLiteral("frmSuggest"));
    w->setWindowTitle(QStringLiteral("Commentaire, Bug, Suggestion...."));
    w->setFixedSize(twipsRect(0, 0, 8415, 5700).size());
    m_vendor = vendorAddress();

    const QFont big = arialBold(11.25);
    const QFont small = arialBold(9.75);
    auto* lblSiVous = placedLabel(
        QStringLiteral(
            "Si vous avez une suggestion, une idée, un bog que vous avez eu, ou tout simplement un "
            "commentaire, Écrivez ce que vous voulez. Aucun programme n'est parfait, Et c'est grâce à "
            "vous et les commentaires, qu'un programme devient plus complet.. !") +
            QString(58, QLatin1Char(' ')) +
            QStringLiteral("AUCUNE INFORMATION VOUS CONCERNANT SERA ENVOIYER SUR LE SERVEUR, Seulement les "
                           "informations si dessous."),
        twipsRect(240, 0, 7935, 1695), big, w.get());
    lblSiVous->setObjectName(QStringLiteral("lblSiVous"));

    const QString nameTip = QStringLiteral("Inscriver votre nom si vous voullez");
    const QString emailTip = QStringLiteral("Inscriver votre Email si vous voullez une réponsse.");
    auto* lblNom = placedLabel(QStringLiteral("*Nom:"), twipsRect(120, 1680, 735, 255), big, w.get());
    lblNom->setObjectName(QStringLiteral("lblNom"));
    lblNom->setToolTip(nameTip);
    m_ui.txtName = new QLineEdit(w.get());
    m_ui.txtName->setObjectName(QStringLiteral("txtName"));
    m_ui.txtName->setMaxLength(40);
    m_ui.txtName->setToolTip(nameTip);
    m_ui.txtName->setGeometry(twipsRect(840, 1680, 2535, 360));

    auto* lblEmail = placedLabel(QStringLiteral("*Email:"), twipsRect(3480, 1680, 855, 255), big, w.get());
    lblEmail->setObjectName(QStringLiteral("lblEmail"));
    lblEmail->setToolTip(emailTip);
    m_ui.txtEmail = new QLineEdit(w.get());
    m_ui.txtEmail->setObjectName(QStringLiteral("txtEmail"));
    m_ui.txtEmail->setMaxLength(40);
    m_ui.txtEmail->setToolTip(emailTip);
    m_ui.txtEmail->setGeometry(twipsRect(4320, 1680, 3855, 360));

    m_ui.txtInfo = new SuggestTextBox(w.get());
    m_ui.txtInfo->setObjectName(QStringLiteral("txtInfo"));
    m_ui.txtInfo->setToolTip(QStringLiteral("Inscrire votre suggestion ici."));
    m_ui.txtInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_ui.txtInfo->setTabChangesFocus(true);
    m_ui.txtInfo->setMaxLength(1000);
    m_ui.txtInfo->setText(suggestPlaceholder());
    QPalette infoPal = m_ui.txtInfo->palette();
    infoPal.setColor(QPalette::Base, Qt::white);
    infoPal.setColor(QPalette::Text, Qt::black);
    m_ui.txtInfo->setPalette(infoPal);
    m_ui.txtInfo->setGeometry(twipsRect(120, 2160, 8100, 2355));

    auto* lblEtoile = placedLabel(
        QStringLiteral("L'Étoile * = Vous être Pas Obliger d'inclure C'est Information ( Nom/Email )"),
        twipsRect(120, 4560, 7095, 255), small, w.get());
    lblEtoile->setObjectName(QStringLiteral("lblEtoile"));
    QPalette red = lblEtoile->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    lblEtoile->setPalette(red);

    m_ui.cmdSend = new QPushButton(QStringLiteral("Envoiyé"), w.get());
    m_ui.cmdSend->setObjectName(QStringLiteral("cmdSend"));
    m_ui.cmdSend->setToolTip(QStringLiteral("Envoiyé la suggestion."));
    m_ui.cmdSend->setGeometry(twipsRect(7200, 4560, 1095, 255));
    connect(m_ui.cmdSend, &QPushButton::clicked, this, &frmSuggest::cmdSend_Click);

    auto* lblCaracAuto = placedLabel(
        QStringLiteral("Par mesure de protection les caractères AUTORISER Sont :") +
            QString(28, QLatin1Char(' ')) +
            QStringLiteral("1234567890 ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxy ' . ,"),
        twipsRect(0, 4800, 8295, 495), small, w.get(), Qt::AlignHCenter);
    lblCaracAuto->setObjectName(QStringLiteral("lblCaracAuto"));

    auto* site = new LinkLabel(QStringLiteral("Site Web Du Créateur: Quillmark ( Http://") + vendorHost() +
                                   QStringLiteral(" )"),
                               w.get());
    m_ui.lblSite = placedLabel(site, twipsRect(360, 5280, 7575, 300), QFont(QStringLiteral("Arial")));
    m_ui.lblSite->setObjectName(QStringLiteral("lblSite"));
    m_ui.lblSite->setToolTip(QStringLiteral("Aller Sur Le Site Web"));
    connect(site, &LinkLabel::clicked, this, &frmSuggest::lblSite_Click);

    fitRowsToFonts({lblSiVous, lblNom, m_ui.txtName, lblEmail, m_ui.txtEmail, m_ui.txtInfo, lblEtoile,
                    m_ui.cmdSend, lblCaracAuto, m_ui.lblSite});

    QWidget::setTabOrder(m_ui.txtName, m_ui.txtEmail);
    QWidget::setTabOrder(m_ui.txtEmail, m_ui.txtInfo);
    QWidget::setTabOrder(m_ui.txtInfo, m_ui.cmdSend);
    for (QObject* o :
         {static_cast<QObject*>(m_ui.txtName.data()), static_cast<QObject*>(m_ui.txtEmail.data()),
          static_cast<QObject*>(m_ui.txtInfo.data()), static_cast<QObject*>(m_ui.txtInfo->viewport())})
        o->installEventFilter(this);
    m_ui.txtName->setFocus();
    return w;
}

void frmSuggest::onLoad()
{
    if (QWidget* main = m_mainWindow ? m_mainWindow() : nullptr)
        ClearAlwaysOnTop(main);
}

void frmSuggest::onUnload()
{
    closeSocket();
    SetTopmost(m_mainWindow ? m_mainWindow() : nullptr, m_keepMainOnTop && m_keepMainOnTop());
}

bool frmSuggest::eventFilter(QObject* watched, QEvent* event)
{
    if (!isLoaded())
        return Form::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress:
        if (watched == m_ui.txtName || watched == m_ui.txtEmail || watched == m_ui.txtInfo)
            return filterKey(watched, static_cast<QKeyEvent*>(event));
        break;
    case QEvent::FocusIn:
        if (watched == m_ui.txtInfo)
            clearPlaceholder();
        break;
    case QEvent::MouseButtonPress:
        if (m_ui.txtInfo && watched == m_ui.txtInfo->viewport())
            clearPlaceholder();
        break;
    case QEvent::InputMethod:
        // Text from an input method (dead keys, compose) passes the same filter.
        if (watched == m_ui.txtName || watched == m_ui.txtEmail || watched == m_ui.txtInfo)
            filterCommit(watched, static_cast<QInputMethodEvent*>(event));
        break;
    default:
        break;
    }
    return Form::eventFilter(watched, event);
}

bool frmSuggest::filterKey(QObject* box, QKeyEvent* key)
{
    const int code = keyAsciiOf(key);
    if (code == 13 && box == m_ui.txtName) {
        m_ui.txtEmail->setFocus();
        return true;
    }
    if (code == 13 && box == m_ui.txtEmail) {
        m_ui.txtInfo->setFocus();
        return true;
    }
    if (code < 0)
        return false;
    return !keyPasses(code, allowedChars(box));
}

QString frmSuggest::allowedChars(QObject* box) const
{
    return box == m_ui.txtName ? nameKeyChars() : box == m_ui.txtEmail ? emailKeyChars() : infoKeyChars();
}

void frmSuggest::filterCommit(QObject* box, QInputMethodEvent* event)
{
    const QString allowed = allowedChars(box);
    QString kept;
    for (const QChar c : event->commitString()) {
        if (keyPasses(c.unicode(), allowed))
            kept.append(c);
    }
    if (kept != event->commitString())
        event->setCommitString(kept, event->replacementStart(), event->replacementLength());
}

void frmSuggest::clearPlaceholder()
{
    if (m_ui.txtInfo && m_ui.txtInfo->text() == suggestPlaceholder())
        m_ui.txtInfo->setText(QString());
}

void frmSuggest::cmdSend_Click()
{
    QString message = m_ui.txtInfo->text();
    if (message.isEmpty() || message == suggestPlaceholder()) {
        m_platform.messageBox->show(MsgCritical, QStringLiteral("Veiller Rentrer Votre Message"),
                                    QStringLiteral("Erreur"));
        if (m_ui.txtInfo)
            m_ui.txtInfo->setFocus();
        return;
    }
    if (message.size() > kMaxSuggestionChars) {
        m_platform.messageBox->show(
            MsgCritical,
            QStringLiteral("Votre Message Est Trop Long.\r\nIl ne peut pas dépasser %1 caractères.")
                .arg(kMaxSuggestionChars),
            QStringLiteral("Erreur"));
        return;
    }
    m_ui.txtInfo->setText(StrForceChange(message));
    m_ui.txtInfo->setMaxLength(0);
    m_ui.txtInfo->setText(withHeaderLine(m_ui.txtName->text(), m_ui.txtEmail->text(), message));

    if (!m_platform.tcp)
        return;
    if (!m_wskSuggest) {
        m_wskSuggest = m_platform.tcp->create();
        m_wskSuggest->setHandlers({[this] { wskSuggest_Connect(); }, [this] { wskSuggest_DataArrival(); },
                                   [this] { wskSuggest_Close(); },
                                   [this](const QString&) { wskSuggest_Error(); }});
    }
    m_wskSuggest->close();
    m_vendor = vendorAddress();
    m_wskSuggest->connectToHost(m_vendor.host, m_vendor.port);
}

void frmSuggest::wskSuggest_Connect()
{
    const QString text = m_ui.txtInfo ? m_ui.txtInfo->text() : QString();
    const QString message = datedMessage(m_platform.clock->now(), QLocale::system(), text);
    m_wskSuggest->write(suggestionRequest(m_vendor.urlHost, encodeMessage(message)));
}

void frmSuggest::wskSuggest_DataArrival()
{
    const std::optional<QByteArray> piece = m_wskSuggest->readAll();
    if (!piece) {
        closeSocket();
        return;
    }
    if (!m_SuggestReply.append(*piece)) {
        // Far beyond any real reply: it cannot tell anything.
        m_SuggestReply.clear();
        closeSocket();
    }
}

void frmSuggest::wskSuggest_Close()
{
    const QString failed = QStringLiteral("Impossible d'envoiyer Votre Message\r\n");
    switch (suggestOutcome(m_SuggestReply.text())) {
    case SuggestOutcome::Empty:
        closeSocket();
        m_platform.messageBox->show(MsgCritical, failed + QStringLiteral("\r\nLa Connetion A Fermer"),
                                    QString());
        break;
    case SuggestOutcome::Sent:
        m_platform.messageBox->show(MsgExclamation,
                                    QStringLiteral("Votre commentaire A Été Envoiyer Avec Success.\r\n"
                                                   "Merci Beaucoup.. !!"),
                                    QStringLiteral("Merci !"));
        m_SuggestReply.clear();
        Unload();
        break;
    case SuggestOutcome::Refused:
        m_SuggestReply.clear();
        m_platform.messageBox->show(MsgCritical, failed, QString());
        Unload();
        break;
    case SuggestOutcome::Other:
        break;
    }
}

void frmSuggest::wskSuggest_Error()
{
    closeSocket();
    m_platform.messageBox->show(
        MsgCritical,
        QStringLiteral("Impossible de Rejoindre le Serveur.\r\n\r\nRecommanser Plus Tard, Désoler"),
        QString());
}

void frmSuggest::closeSocket()
{
    if (m_wskSuggest)
        m_wskSuggest->close();
}

void frmSuggest::lblSite_Click()
{
    m_platform.shell->open(QStringLiteral("http://") + vendorAddress().urlHost);
}

} // namespace kr
