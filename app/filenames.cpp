#include "app/filenames.h"

#include <QTextCodec>

namespace FileNames {

namespace {

bool standsForByte(ushort u)
{
    return u >= 0xDC80 && u <= 0xDCFF;
}

// UTF-8, except that a byte which starts no valid sequence decodes to
// U+DC00 + byte, and such a character encodes back to that byte.
class RoundTripUtf8 : public QTextCodec
{
public:
    QByteArray name() const override { return QByteArrayLiteral("UTF-8 (bytes kept)"); }
    int mibEnum() const override { return -1060; }

protected:
    QString convertToUnicode(const char *in, int length, ConverterState *state) const override
    {
        QByteArray bytes;
        if (state && state->remainingChars > 0) {
            for (int i = 0; i < state->remainingChars; ++i)
                bytes.append(char(state->state_data[i]));
            state->remainingChars = 0;
        }
        bytes.append(in, length);
        QString out;
        out.reserve(bytes.size());
        const auto *b = reinterpret_cast<const uchar *>(bytes.constData());
        const int n = bytes.size();
        int i = 0;
        while (i < n) {
            const uchar c = b[i];
            int len = 0;
            uint cp = 0;
            uint min = 0;
            if (c < 0x80) {
                out.append(QChar(c));
                ++i;
                continue;
            } else if ((c & 0xE0) == 0xC0) {
                len = 2, cp = c & 0x1F, min = 0x80;
            } else if ((c & 0xF0) == 0xE0) {
                len = 3, cp = c & 0x0F, min = 0x800;
            } else if ((c & 0xF8) == 0xF0) {
                len = 4, cp = c & 0x07, min = 0x10000;
            }
            int k = 1;
            while (len > 0 && k < len && i + k < n && (b[i + k] & 0xC0) == 0x80)
                cp = (cp << 6) | (b[i + k++] & 0x3F);
            // Cut off at the end of a piece of a stream: finish it next time.
            if (len > 0 && k < len && i + k == n && state && n - i <= 3) {
                state->remainingChars = n - i;
                for (int j = 0; j < n - i; ++j)
                    state->state_data[j] = b[i + j];
                break;
            }
            const bool valid = len > 0 && k == len && cp >= min && cp <= 0x10FFFF
                && !(cp >= 0xD800 && cp <= 0xDFFF);
            if (!valid) {
                out.append(QChar(ushort(0xDC00 + c)));
                ++i;
                continue;
            }
            if (cp >= 0x10000) {
                out.append(QChar(QChar::highSurrogate(cp)));
                out.append(QChar(QChar::lowSurrogate(cp)));
            } else {
                out.append(QChar(ushort(cp)));
            }
            i += len;
        }
        return out;
    }

    QByteArray convertFromUnicode(const QChar *in, int length, ConverterState *state) const override
    {
        QString text;
        if (state && state->remainingChars > 0) {
            text.append(QChar(ushort(state->state_data[0])));
            state->remainingChars = 0;
        }
        text.append(in, length);
        QByteArray out;
        out.reserve(text.size() * 3);
        for (int i = 0; i < text.size(); ++i) {
            const ushort u = text.at(i).unicode();
            if (standsForByte(u)) {
                out.append(char(u - 0xDC00));
            } else if (QChar::isHighSurrogate(u) && i + 1 == text.size() && state) {
                state->remainingChars = 1;
                state->state_data[0] = u;
            } else if (QChar::isHighSurrogate(u) && i + 1 < text.size()
                && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
                out.append(QString(text.constData() + i, 2).toUtf8());
                ++i;
            } else if (QChar::isSurrogate(u)) {
                out.append('?');
            } else {
                out.append(QString(QChar(u)).toUtf8());
            }
        }
        return out;
    }
};

} // namespace

void installRoundTripCodec()
{
    QTextCodec *locale = QTextCodec::codecForLocale();
    if (!locale || locale->mibEnum() != 106)
        return;
    // The toolkit keeps every codec made for the life of the process.
    QTextCodec::setCodecForLocale(new RoundTripUtf8);
}

QString shown(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (standsForByte(c.unicode()))
            out += QString::asprintf("\\x%02X", unsigned(c.unicode() - 0xDC00));
        else
            out += c;
    }
    return out;
}

} // namespace FileNames
