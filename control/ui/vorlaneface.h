// The control's design-time face: its icon and two caption labels, 32 by 32 pixels.
#pragma once

#include <QWidget>

class QLabel;

class VorlaneFace : public QWidget {
    Q_OBJECT
public:
    explicit VorlaneFace(QWidget* parent = nullptr);

    QLabel* label1() const { return m_label1; }
    QLabel* label2() const { return m_label2; }

    // The 16 by 15 toolbox picture of the control.
    static QPixmap toolboxBitmap();

private:
    QLabel* m_label1;
    QLabel* m_label2;
};
