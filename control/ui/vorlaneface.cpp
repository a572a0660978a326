#include "control/ui/vorlaneface.h"

#include <QLabel>
#include <QPixmap>

namespace {

constexpr int kTwipsPerPixel = 15;

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
                 height / kTwipsPerPixel);
}

} // namespace

// The resources live in a static library; make sure they are registered. (Outside any namespace:
// the macro declares a global function.)
static void initResources()
{
    Q_INIT_RESOURCE(vorlane);
}

VorlaneFace::VorlaneFace(QWidget* parent)
    : QWidget(parent), m_label1(new QLabel(QStringLiteral("POP3 by Vorlane"), this)),
      m_label2(new QLabel(QStringLiteral("Vorlane"), this))
{
    initResources();
    setObjectName(QStringLiteral("Vorlane"));
    setFixedSize(32, 32);
    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap(QStringLiteral(":/vorlane/vorlane.bmp")));
    icon->setGeometry(0, 0, 32, 32);
    icon->lower();
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setGeometry(twipsRect(0, 120, 1215, 255));
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_label2->setGeometry(twipsRect(120, 360, 855, 255));
    setTabOrder(m_label1, m_label2);
}

QPixmap VorlaneFace::toolboxBitmap()
{
    initResources();
    return QPixmap(QStringLiteral(":/vorlane/toolbox.bmp"));
}
