#include "scanner/scan.h"

#include "scanner/statusoutput.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr int kTwipsPerPixel = 15;

QRect fromTwips(int left, int top, int width, int height)
{
    return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
                 height / kTwipsPerPixel);
}

// Our own background: a calm gradient with a shield in the corner.
QPixmap backgroundPicture(QSize size)
{
    QPixmap picture(size);
    QPainter painter(&picture);
    QLinearGradient gradient(0, 0, 0, size.height());
    gradient.setColorAt(0, QColor(232, 240, 250));
    gradient.setColorAt(1, QColor(178, 198, 226));
    painter.fillRect(picture.rect(), gradient);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shield;
    const QPointF top(size.width() - 34, size.height() - 52);
    shield.moveTo(top);
    shield.lineTo(top + QPointF(22, 8));
    shield.cubicTo(top + QPointF(22, 30), top + QPointF(12, 40), top + QPointF(0, 46));
    shield.cubicTo(top + QPointF(-12, 40), top + QPointF(-22, 30), top + QPointF(-22, 8));
    shield.closeSubpath();
    painter.fillPath(shield, QColor(40, 90, 160, 120));
    return picture;
}

QIcon scannerIcon()
{
    QPixmap icon(32, 32);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(40, 90, 160));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(2, 6, 28, 20, 3, 3);
    painter.setPen(QPen(Qt::white, 2));
    painter.drawLine(3, 7, 16, 18);
    painter.drawLine(16, 18, 29, 7);
    return QIcon(icon);
}

} // namespace

Scan::Scan(QWidget* parent)
    : QWidget(parent), m_image1(new QLabel(this)), m_lblInfo(new QLabel(initialInfo(), this)),
      m_command1(new QPushButton(QStringLiteral("Check mail for viruses"), this)),
      m_timer1(new QTimer(this))
{
    setObjectName(QStringLiteral("Scan"));
    setWindowTitle(QStringLiteral("Form1"));
    setWindowIcon(scannerIcon());
    setFixedSize(kClientWidth, kClientHeight);

    m_image1->setObjectName(QStringLiteral("Image1"));
    m_image1->setGeometry(fromTwips(0, 0, 3960, 2865));
    m_image1->setPixmap(backgroundPicture(m_image1->size()));

    m_lblInfo->setObjectName(QStringLiteral("lblInfo"));
    m_lblInfo->setGeometry(fromTwips(240, 240, 3495, 2415));
    m_lblInfo->setFont(QFont(QStringLiteral("Tahoma"), 9, QFont::Normal));
    m_lblInfo->setWordWrap(true);
    m_lblInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command1->setGeometry(fromTwips(240, 2160, 1935, 375));
    m_command1->setVisible(false);

    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(1000);
    connect(m_timer1, &QTimer::timeout, this, [this] {
        m_timer1->stop(); // one run per start of the program
        emit started();
    });
    m_timer1->start();
}

void Scan::setInfo(const QString& text, const QString& labelText)
{
    QString lines = text;
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QString shown = labelText.isEmpty() ? lines : labelText;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_lblInfo->setText(shown);
    writeStatusText(text);
    emit infoChanged(text);
}

QString Scan::info() const
{
    return m_lblInfo->text();
}

bool Scan::fitsLabel(const QString& text) const
{
    QString lines = text;
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QRect area = m_lblInfo->contentsRect();
    const QRect needed = m_lblInfo->fontMetrics().boundingRect(
        area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, lines);
    // A word too long to wrap widens the text beyond the label instead.
    return needed.width() <= area.width() && needed.height() <= area.height();
}

void Scan::setStartEnabled(bool enabled)
{
    m_command1->setEnabled(enabled);
}

void Scan::setTopmost(bool topmost)
{
    const QRect place = geometry();
    const bool wasVisible = isVisible();
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    setWindowFlag(Qt::WindowStaysOnTopHint, topmost); // hides the window; shown again below
    if (wasVisible) {
        setGeometry(place);
    }
    show();
}
