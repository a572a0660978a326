// The encoded MIME leaf parts of a saved message and their decoded content.
#include "scanner/definitioncheck/encodedparts.h"

#include "platform/regularfile.h"
#include "scanner/definitioncheck/gmimeheaders.h"
#include "scanner/definitioncheck/mimestreamdevice.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>

namespace scanner {

void initialiseGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

namespace {

bool isDecodable(GMimeContentEncoding encoding)
{
    return encoding == GMIME_CONTENT_ENCODING_BASE64 ||
           encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE ||
           encoding == GMIME_CONTENT_ENCODING_UUENCODE;
}

// What GMime says it may have skipped or read otherwise than another reader would. The plain
// warnings (a repeated header, an odd address) leave every part where it was.
const char* damageOf(GMimeParserWarning warning)
{
    switch (warning) {
    case GMIME_CRIT_NESTING_OVERFLOW:
        return "its MIME parts are nested too deep to be read";
    case GMIME_CRIT_PART_WITHOUT_HEADERS_OR_CONTENT:
        return "a MIME part has neither headers nor content";
    case GMIME_CRIT_MULTIPART_WITHOUT_BOUNDARY:
        return "a multipart has no boundary";
    case GMIME_CRIT_INVALID_HEADER_NAME:
        return "a header name is invalid";
    case GMIME_CRIT_CONFLICTING_HEADER:
        return "a header conflicts with another";
    case GMIME_CRIT_CONFLICTING_PARAMETER:
        return "a header parameter conflicts with another";
    default:
        return nullptr;
    }
}

void noteDamage(gint64 /*offset*/, GMimeParserWarning warning, const gchar* /*item*/,
                gpointer unread)
{
    auto* text = static_cast<QString*>(unread);
    if (const char* damage = damageOf(warning); damage && text->isEmpty()) {
        *text =
            QStringLiteral("The decoded check could not read it whole: ") + QLatin1String(damage);
    }
}

} // namespace

EncodedParts::EncodedParts(const QString& messagePath)
{
    initialiseGMime();
    QString reason;
    const int fd = platform::openRegularFile(QFile::encodeName(messagePath), &reason);
    if (fd < 0) {
        m_error = QStringLiteral("Cannot open message file %1: %2").arg(messagePath, reason);
        return;
    }
    m_open = true;
    GMimeStream* stream = g_mime_stream_fs_new(fd); // owns fd from here on
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    // Parts refer to their bytes in the file instead of holding a copy of them.
    g_mime_parser_set_persist_stream(parser, TRUE);
    // A part GMime does not build is a part no check sees: the message is then not fully checked.
    GMimeParserOptions* options = g_mime_parser_options_new();
    g_mime_parser_options_set_warning_callback(options, noteDamage, &m_unread);
    m_message = g_mime_parser_construct_message(parser, options);
    g_mime_parser_options_free(options);
    g_object_unref(parser);
    g_object_unref(stream); // the message keeps what it needs
    if (m_message) {
        collect();
    }
}

EncodedParts::~EncodedParts()
{
    if (m_message) {
        g_object_unref(m_message);
    }
}

// Walks the tree with a stack of its own: a hostile message can nest parts a thousand deep.
void EncodedParts::collect()
{
    std::vector<GMimeObject*> pending{g_mime_message_get_mime_part(m_message)};
    while (!pending.empty()) {
        GMimeObject* object = pending.back();
        pending.pop_back();
        if (!object) {
            continue;
        }
        if (GMIME_IS_MULTIPART(object)) {
            GMimeMultipart* multipart = GMIME_MULTIPART(object);
            for (int i = g_mime_multipart_get_count(multipart) - 1; i >= 0; --i) {
                pending.push_back(g_mime_multipart_get_part(multipart, i));
            }
        } else if (GMIME_IS_MESSAGE_PART(object)) {
            GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
            if (inner) {
                pending.push_back(g_mime_message_get_mime_part(inner));
            }
        } else if (GMIME_IS_PART(object)) {
            GMimePart* part = GMIME_PART(object);
            if (isDecodable(g_mime_part_get_content_encoding(part)) &&
                g_mime_part_get_content(part)) {
                m_parts.push_back(part);
            }
        }
    }
}

QByteArray EncodedParts::label(qsizetype index) const
{
    GMimePart* part = m_parts.at(size_t(index));
    if (const char* name = g_mime_part_get_filename(part); name && *name) {
        return QByteArray(name);
    }
    GMimeContentType* type = g_mime_object_get_content_type(GMIME_OBJECT(part));
    char* mimeType = type ? g_mime_content_type_get_mime_type(type) : nullptr;
    const QByteArray text = mimeType ? QByteArray(mimeType) : QByteArray("text/plain");
    g_free(mimeType);
    return text;
}

std::unique_ptr<QIODevice> EncodedParts::openDecoded(qsizetype index) const
{
    GMimePart* part = m_parts.at(size_t(index));
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    GMimeStream* encoded = g_mime_data_wrapper_get_stream(content);
    if (!encoded || g_mime_stream_reset(encoded) != 0) {
        return nullptr;
    }
    GMimeStream* decoded = g_mime_stream_filter_new(encoded);
    GMimeFilter* decoder = g_mime_filter_basic_new(g_mime_part_get_content_encoding(part), FALSE);
    g_mime_stream_filter_add(GMIME_STREAM_FILTER(decoded), decoder);
    g_object_unref(decoder);
    auto device = std::make_unique<MimeStreamDevice>(decoded);
    g_object_unref(decoded);
    return device;
}

} // namespace scanner
