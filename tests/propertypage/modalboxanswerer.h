// ModalBoxAnswerer: clicks OK on every modal box that opens while it lives, as a person would,
// and logs its text, so that tests of calls that open one do not block.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

class ModalBoxAnswerer {
public:
    // Each box appends "box: TEXT" to `log`; `whileShown` runs before the box is answered, to look
    // at the state at that moment.
    explicit ModalBoxAnswerer(std::vector<std::string>& log, std::function<void()> whileShown = {})
        : m_log(log), m_whileShown(std::move(whileShown))
    {
        // Polled: the box's own event loop runs the timer while the call under test is inside it.
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { answer(); });
        m_timer.start(5);
    }

    int count() const { return m_count; }

private:
    void answer()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        ++m_count;
        auto* box = qobject_cast<QMessageBox*>(modal);
        m_log.push_back("box: " + (box ? box->text() : modal->windowTitle()).toStdString());
        if (m_whileShown)
            m_whileShown();
        QAbstractButton* ok = box ? box->button(QMessageBox::Ok) : nullptr;
        if (ok)
            ok->click();
        else
            modal->close();
    }

    std::vector<std::string>& m_log;
    std::function<void()> m_whileShown;
    QTimer m_timer;
    int m_count = 0;
};
