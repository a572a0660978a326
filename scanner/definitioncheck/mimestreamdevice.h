// A read-only, sequential QIODevice over a GMime stream, so decoded MIME content can go through
// the same line matcher as a saved file.
#pragma once

#include <QIODevice>

typedef struct _GMimeStream GMimeStream;

namespace scanner {

class MimeStreamDevice : public QIODevice {
public:
    // Takes a reference of its own on the stream and opens itself for reading, unbuffered: the
    // matcher reads in large blocks and Qt's buffer would only copy them once more.
    explicit MimeStreamDevice(GMimeStream* stream);
    ~MimeStreamDevice() override;

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 maxSize) override;

private:
    GMimeStream* m_stream;
};

} // namespace scanner
