#include "control/headercapture.h"

#include "control/headersearch.h"

#include <algorithm>

void HeaderCapture::start()
{
    m_state = State::Capturing;
    m_text.clear();
}

void HeaderCapture::stop()
{
    m_state = State::Off;
    m_text.clear();
}

void HeaderCapture::take(QByteArrayView bytes)
{
    if (m_state != State::Capturing) {
        return;
    }
    // The empty line's CR LF CR LF may straddle pieces: look again from three bytes back.
    const qsizetype from = std::max<qsizetype>(0, m_text.size() - 3);
    // kLimit + 2 bytes hold any empty line that ends headers of at most kLimit.
    m_text.append(bytes.first(std::min(bytes.size(), kLimit + 2 - m_text.size())));
    if (m_text.startsWith("\r\n")) {
        m_text.clear(); // an empty first line: no headers at all
        m_state = State::Complete;
        return;
    }
    const qsizetype blank = m_text.indexOf("\r\n\r\n", from);
    if (blank >= 0 && blank + 2 <= kLimit) {
        m_text.truncate(blank + 2); // the last header line keeps its CR LF
        m_state = State::Complete;
    } else if (m_text.size() >= kLimit + 2) {
        m_text.clear();
        m_state = State::Overflowed;
    }
}

std::optional<QByteArray> HeaderCapture::finish()
{
    const State state = m_state;
    const QByteArray text = headersearch::trimSpaces(m_text);
    stop();
    if (state == State::Complete || state == State::Capturing) {
        return text;
    }
    return std::nullopt;
}
