#include "platform/posix/IniFile.h"

#include <QStringDecoder>

namespace tw::platform::ini {

const QByteArray Marker = QByteArrayLiteral(
    "; TW-CLI-UI settings, format 2: each value is the text after \"=\" to the end of its line");

namespace {

bool isGeneral(const QString& name) {
    return name.compare(QLatin1String("general"), Qt::CaseInsensitive) == 0;
}

const QByteArray Bom = QByteArrayLiteral("\xEF\xBB\xBF");

bool isHexDigit(uint c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<QString> strictUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// The value of a "%=" line: %0D, %0A, %00 and %25 stand for CR, LF, NUL and
// "%"; any other "%" is a broken escape.
std::optional<QString> decodePercent(const QByteArray& raw) {
    QByteArray out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != '%') {
            out += raw[i];
            continue;
        }
        if (i + 2 >= raw.size())
            return std::nullopt;
        const int high = hexValue(raw[i + 1]);
        const int low = hexValue(raw[i + 2]);
        const int code = high < 0 || low < 0 ? -1 : high * 16 + low;
        if (code != 0x0D && code != 0x0A && code != 0x00 && code != 0x25)
            return std::nullopt;
        out += static_cast<char>(code);
        i += 2;
    }
    return strictUtf8(out);
}

} // namespace

QByteArray Document::encodeValue(const QString& value) {
    const bool needsEscape =
        value.contains(u'\r') || value.contains(u'\n') || value.contains(QChar(u'\0'));
    if (!needsEscape)
        return '=' + value.toUtf8();
    QByteArray out = QByteArrayLiteral("%=");
    for (const char c : value.toUtf8()) {
        switch (c) {
        case '%':
            out += "%25";
            break;
        case '\r':
            out += "%0D";
            break;
        case '\n':
            out += "%0A";
            break;
        case '\0':
            out += "%00";
            break;
        default:
            out += c;
        }
    }
    return out;
}

QByteArray Document::earlierEncoding(const QString& value) {
    QString text = value;
    if (text.contains(QChar(u'\0')))
        text = QStringLiteral("@String(") + text + u')';
    else if (text.startsWith(u'@'))
        text.prepend(u'@');

    QString out;
    out.reserve(text.size() + 8);
    bool quotes = false;
    bool escapeNextHexDigit = false;
    for (const QChar ch : text) {
        const uint c = ch.unicode();
        if (c == ';' || c == ',' || c == '=')
            quotes = true;
        if (escapeNextHexDigit && isHexDigit(c)) {
            out += QStringLiteral("\\x") + QString::number(c, 16);
            continue;
        }
        escapeNextHexDigit = false;
        switch (c) {
        case '\0':
            out += QStringLiteral("\\0");
            escapeNextHexDigit = true;
            break;
        case '\a':
            out += QStringLiteral("\\a");
            break;
        case '\b':
            out += QStringLiteral("\\b");
            break;
        case '\f':
            out += QStringLiteral("\\f");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case '\v':
            out += QStringLiteral("\\v");
            break;
        case '"':
        case '\\':
            out += u'\\';
            out += ch;
            break;
        default:
            if (c <= 0x1F) {
                out += QStringLiteral("\\x") + QString::number(c, 16);
                escapeNextHexDigit = true;
            } else {
                out += ch;
            }
        }
    }
    if (quotes || out.startsWith(u' ') || out.endsWith(u' '))
        out = u'"' + out + u'"';
    return out.toUtf8();
}

std::optional<QString> Document::earlierDecoding(const QByteArray& raw) {
    const QByteArray written = raw.trimmed();
    QByteArray inner = written;
    if (inner.size() >= 2 && inner.startsWith('"') && inner.endsWith('"'))
        inner = inner.mid(1, inner.size() - 2);

    QByteArray bytes;
    bytes.reserve(inner.size());
    QString text;
    const auto flush = [&]() -> bool {
        const auto part = strictUtf8(bytes);
        if (!part)
            return false;
        text += *part;
        bytes.clear();
        return true;
    };
    for (qsizetype i = 0; i < inner.size(); ++i) {
        const char c = inner[i];
        if (c == '"')
            return std::nullopt;
        if (c != '\\') {
            bytes += c;
            continue;
        }
        if (++i >= inner.size() || !flush())
            return std::nullopt;
        switch (inner[i]) {
        case 'a':
            text += u'\a';
            break;
        case 'b':
            text += u'\b';
            break;
        case 'f':
            text += u'\f';
            break;
        case 'n':
            text += u'\n';
            break;
        case 'r':
            text += u'\r';
            break;
        case 't':
            text += u'\t';
            break;
        case 'v':
            text += u'\v';
            break;
        case '0':
            text += QChar(u'\0');
            break;
        case '"':
        case '\\':
            text += QLatin1Char(inner[i]);
            break;
        case 'x': {
            uint code = 0;
            int digits = 0;
            while (i + 1 < inner.size() && digits < 4 && hexValue(inner[i + 1]) >= 0) {
                code = code * 16 + static_cast<uint>(hexValue(inner[++i]));
                ++digits;
            }
            if (digits == 0)
                return std::nullopt;
            text += QChar(static_cast<char16_t>(code));
            break;
        }
        default:
            return std::nullopt;
        }
    }
    if (!flush())
        return std::nullopt;

    if (text.startsWith(QStringLiteral("@@")))
        text.remove(0, 1);
    else if (text.startsWith(QStringLiteral("@String(")) && text.endsWith(u')'))
        text = text.mid(8, text.size() - 9);
    else if (text.startsWith(u'@'))
        return std::nullopt;

    // Only what the earlier version itself would have written counts.
    if (earlierEncoding(text) != written)
        return std::nullopt;
    return text;
}

QByteArray Document::escapeName(const QString& name) {
    if (name == QLatin1String("General"))
        return QByteArrayLiteral("%General");
    // [general] in any other letter case would be the block of keys outside
    // every section: the first letter goes escaped (%67eneral), which reads
    // back as the name here and in every earlier version's reader.
    const bool general = isGeneral(name);
    QByteArray out;
    for (const QChar ch : name) {
        const uint c = ch.unicode();
        if (general && out.isEmpty()) {
            out += '%' + QByteArray::number(c, 16).toUpper();
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '_' || c == '-' || c == '.') {
            out += static_cast<char>(c);
        } else if (c == '/') {
            out += '\\';
        } else if (c <= 0xFF) {
            out += '%' + QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
        } else {
            out += "%U" + QByteArray::number(c, 16).toUpper().rightJustified(4, '0');
        }
    }
    return out;
}

QString Document::unescapeName(const QByteArray& text) {
    if (text == "%General")
        return QStringLiteral("General");
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\') {
            out += u'/';
            continue;
        }
        if (c == '%') {
            const bool wide = i + 1 < text.size() && text[i + 1] == 'U';
            const qsizetype start = i + (wide ? 2 : 1);
            const int digits = wide ? 4 : 2;
            uint code = 0;
            bool ok = start + digits <= text.size();
            for (int d = 0; ok && d < digits; ++d) {
                const int v = hexValue(text[start + d]);
                ok = v >= 0;
                code = code * 16 + static_cast<uint>(v);
            }
            if (ok) {
                out += QChar(static_cast<char16_t>(code));
                i = start + digits - 1;
                continue;
            }
        }
        // Anything else, a stray "%" included, is the character itself.
        out += QString::fromUtf8(&text.constData()[i], 1);
    }
    return out;
}

Document Document::parse(const QByteArray& bytes) {
    Document doc;
    QString section;
    QString generalAs;
    qsizetype start = 0;
    int number = 0;
    while (start < bytes.size()) {
        qsizetype newline = bytes.indexOf('\n', start);
        Line line;
        if (newline < 0) {
            line.text = bytes.mid(start);
            start = bytes.size();
        } else {
            line.text = bytes.mid(start, newline - start);
            line.end = QByteArrayLiteral("\n");
            start = newline + 1;
        }
        if (line.text.endsWith('\r') && !line.end.isEmpty()) {
            line.text.chop(1);
            line.end = QByteArrayLiteral("\r\n");
        }
        ++number;

        QByteArray text = line.text;
        if (number == 1 && text.startsWith(Bom))
            text.remove(0, Bom.size());
        if (number == 1 && text.startsWith(Marker))
            doc.marked_ = true;

        QString why;
        std::optional<QString> decoded;
        if (text.contains('\0'))
            why = QStringLiteral("holds a NUL byte");
        else if (text.contains('\r'))
            why = QStringLiteral("holds a CR that does not end the line");
        else if (!(decoded = strictUtf8(text)))
            why = QStringLiteral("is not valid UTF-8 text");

        if (why.isEmpty()) {
            const QString trimmed = decoded->trimmed();
            if (trimmed.isEmpty()) {
                line.kind = Kind::Blank;
            } else if (trimmed.startsWith(u';') || trimmed.startsWith(u'#')) {
                line.kind = Kind::Comment;
            } else if (trimmed.startsWith(u'[')) {
                if (!trimmed.endsWith(u']')) {
                    why = QStringLiteral("opens a section name without closing it");
                } else {
                    const QByteArray name = trimmed.mid(1, trimmed.size() - 2).trimmed().toUtf8();
                    line.kind = Kind::Section;
                    // [General] holds keys outside every section. An earlier
                    // version wrote a section named "general" in another
                    // letter case that way too: its keys are remembered
                    // under that name, for value() to fall back on.
                    const bool general = name.compare("general", Qt::CaseInsensitive) == 0;
                    line.section = general ? QString() : unescapeName(name);
                    section = line.section;
                    generalAs = general ? QString::fromUtf8(name) : QString();
                }
            } else {
                const qsizetype equals = text.indexOf('=');
                const bool escaped = equals > 0 && text[equals - 1] == '%';
                const QByteArray keyText = text.left(escaped ? equals - 1 : equals);
                const QByteArray raw = text.mid(equals + 1);
                if (equals < 0) {
                    why = QStringLiteral("is neither a section, a key nor a comment");
                } else if (keyText.trimmed().isEmpty()) {
                    why = QStringLiteral("has no key before \"=\"");
                } else {
                    line.kind = Kind::Key;
                    line.section = section;
                    line.generalAs = generalAs;
                    line.key = unescapeName(keyText.trimmed());
                    if (escaped) {
                        const auto value = decodePercent(raw);
                        if (!value)
                            why = QStringLiteral("has a broken %-escape (only %0D, %0A, %00 and "
                                                 "%25 are known)");
                        else
                            line.value = *value;
                    } else if (const auto earlier =
                                   doc.marked_ ? std::nullopt : earlierDecoding(raw)) {
                        // An unmarked file's value, as the earlier version wrote it.
                        line.value = *earlier;
                        line.earlier = true;
                    } else {
                        line.value = QString::fromUtf8(raw);
                    }
                }
            }
        }
        if (!why.isEmpty()) {
            line.kind = Kind::Bad;
            if (doc.problem_.isEmpty())
                doc.problem_ = QStringLiteral("line %1 %2").arg(number).arg(why);
        }
        doc.lines_.append(std::move(line));
    }
    return doc;
}

QStringList Document::sections() const {
    QStringList names;
    for (const Line& line : lines_)
        if (line.kind == Kind::Key && !line.section.isEmpty() && !names.contains(line.section))
            names << line.section;
    return names;
}

std::optional<QString> Document::value(const QString& section, const QString& key) const {
    const qsizetype at = lastKeyLine(section, key);
    if (at >= 0)
        return lines_[at].value;
    // A section "general" as an earlier version wrote it, under [general].
    if (isGeneral(section) && section != QLatin1String("General")) {
        for (qsizetype i = lines_.size() - 1; i >= 0; --i) {
            const Line& line = lines_[i];
            if (line.kind == Kind::Key && line.key == key && line.generalAs == section)
                return line.value;
        }
    }
    return std::nullopt;
}

qsizetype Document::lastKeyLine(const QString& section, const QString& key) const {
    for (qsizetype i = lines_.size() - 1; i >= 0; --i) {
        const Line& line = lines_[i];
        if (line.kind == Kind::Key && line.key == key && line.section == section)
            return i;
    }
    return -1;
}

QByteArray Document::lineEnd() const {
    for (const Line& line : lines_) {
        if (!line.end.isEmpty())
            return line.end;
    }
    return QByteArrayLiteral("\n");
}

namespace {

// The bytes of a key line up to its value part ("KEY" of "KEY=..." or of
// "KEY%=...").
QByteArray keyPart(const QByteArray& text) {
    const qsizetype equals = text.indexOf('=');
    const bool escaped = equals > 0 && text[equals - 1] == '%';
    return text.left(escaped ? equals - 1 : equals);
}

} // namespace

void Document::addMarker() {
    marked_ = true;
    for (Line& line : lines_) {
        if (line.kind != Kind::Key || !line.earlier)
            continue;
        line.earlier = false;
        const QByteArray key = keyPart(line.text);
        const QByteArray now = key + encodeValue(line.value);
        if (now != line.text)
            line.text = now;
    }
    Line marker;
    marker.kind = Kind::Comment;
    marker.text = Marker;
    marker.end = lineEnd();
    if (!lines_.isEmpty() && lines_.first().text.startsWith(Bom)) {
        lines_.first().text.remove(0, Bom.size());
        marker.text.prepend(Bom);
    }
    lines_.prepend(marker);
}

void Document::set(const QString& section, const QString& key, const QString& value) {
    if (!marked_)
        addMarker();

    const qsizetype existing = lastKeyLine(section, key);
    if (existing >= 0) {
        Line& line = lines_[existing];
        if (line.value == value)
            return;
        line.text = keyPart(line.text) + encodeValue(value);
        line.value = value;
        return;
    }

    Line added;
    added.kind = Kind::Key;
    added.section = section;
    added.key = key;
    added.value = value;
    added.text = escapeName(key) + encodeValue(value);
    added.end = lineEnd();
    // A line added after a last line that has no line end gives it one.
    const auto insert = [this](qsizetype at, const Line& line) {
        if (at == lines_.size() && at > 0 && lines_.last().end.isEmpty())
            lines_.last().end = lineEnd();
        lines_.insert(at, line);
    };

    // After the last key or comment of the section's last block; keys
    // outside every section go before the first section.
    qsizetype header = -1;
    qsizetype blockEnd = -1;
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == Kind::Section) {
            if (section.isEmpty() && blockEnd < 0)
                blockEnd = i;
            if (line.section == section) {
                header = i;
                blockEnd = -1;
            } else if (header >= 0 && blockEnd < 0) {
                blockEnd = i;
            }
        }
    }
    if (section.isEmpty()) {
        qsizetype at = blockEnd < 0 ? lines_.size() : blockEnd;
        while (at > 1 && lines_[at - 1].kind == Kind::Blank)
            --at;
        insert(at, added);
        return;
    }
    if (header >= 0) {
        qsizetype at = blockEnd < 0 ? lines_.size() : blockEnd;
        while (at > header + 1 && lines_[at - 1].kind == Kind::Blank)
            --at;
        insert(at, added);
        return;
    }
    if (!lines_.isEmpty() && lines_.last().kind != Kind::Blank) {
        Line blank;
        blank.end = lineEnd();
        insert(lines_.size(), blank);
    }
    Line heading;
    heading.kind = Kind::Section;
    heading.section = section;
    heading.text = '[' + escapeName(section) + ']';
    heading.end = lineEnd();
    insert(lines_.size(), heading);
    insert(lines_.size(), added);
}

QByteArray Document::bytes() const {
    QByteArray out;
    for (const Line& line : lines_)
        out += line.text + line.end;
    return out;
}

} // namespace tw::platform::ini
