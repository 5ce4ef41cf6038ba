#pragma once
// The settings file's text: parsing, reading and minimal edits. No file
// access here; the backend reads and writes the bytes.
//
// The file is plain text a person can edit:
//
//   ; TW-CLI-UI settings, format 2: ...          (the first line, a comment)
//   [SECTION]
//   KEY=VALUE
//
// - VALUE is the literal text after the first "=" up to the end of its line:
//   backslashes, semicolons, commas, quotes and blanks are part of it.
// - The one escape: a value that holds a CR, LF or NUL (which no line can
//   hold) is written as KEY%=VALUE, where %0D, %0A, %00 and %25 stand for
//   CR, LF, NUL and "%". Nothing else is escaped.
// - Section and key names keep the escaping the file has always had:
//   letters, digits, "-", "_" and "." as they are, any other character as
//   %XX or %UXXXX (hex); "General" is written [%General], "general" in any
//   other letter case with its first letter escaped ([%67eneral]), since
//   [general] in any case holds the keys outside every section. Such a
//   section written by an earlier version as [general] is still read.
// - Blank lines and lines that start with ";" or "#" are comments.
// - Lines end in LF or CR LF; the file is UTF-8.
//
// A file without the first line's marker was written by an earlier version,
// which escaped values the INI way (quotes, backslash escapes). In such a
// file a value that is exactly how that version wrote some text reads as
// that text; any other value (typed by hand) reads literally. The first
// write adds the marker and rewrites only the values whose text changes.
//
// A file that cannot be parsed whole (a line that is none of the above,
// a broken %-escape, invalid UTF-8, a NUL or a lone CR) still reads what it
// can, but is never rewritten: problem() says which line is wrong.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tw::platform::ini {

// The first line of every file this program writes.
extern const QByteArray Marker;

class Document {
public:
    static Document parse(const QByteArray& bytes);

    // The value of `key` in `section` (a later line wins over an earlier one).
    std::optional<QString> value(const QString& section, const QString& key) const;
    // The sections that hold at least one key, in the order they first
    // appear (the keys outside every section are none).
    QStringList sections() const;

    // Empty when the whole file parsed; otherwise "line N: reason" for the
    // first wrong line.
    QString problem() const { return problem_; }
    bool canRewrite() const { return problem_.isEmpty(); }
    // Whether the file carries this format's marker (else: an earlier
    // version's file, or an empty one).
    bool marked() const { return marked_; }

    // Sets a value with the smallest change to the text: the key's line is
    // replaced in place, or a line is added to its section, or the section
    // is added at the end. Every other line keeps its bytes, except that an
    // unmarked file gets the marker and those of its values whose text
    // differs under this format's rule.
    void set(const QString& section, const QString& key, const QString& value);

    QByteArray bytes() const;

    // The value part of a line for `value` ("=text" or "%=escaped").
    static QByteArray encodeValue(const QString& value);
    // How the earlier version wrote a text value (INI escapes), and the text
    // such a value stands for when it is exactly that (else nullopt).
    static QByteArray earlierEncoding(const QString& value);
    static std::optional<QString> earlierDecoding(const QByteArray& raw);
    // Section and key names in the file.
    static QByteArray escapeName(const QString& name);
    static QString unescapeName(const QByteArray& text);

private:
    enum class Kind { Blank, Comment, Section, Key, Bad };
    struct Line {
        Kind kind = Kind::Blank;
        QByteArray text; // without the line end
        QByteArray end;  // "\n", "\r\n" or "" (last line)
        QString section; // Section: its name; Key: the section it is in
        QString key;
        QString value;
        bool earlier = false; // value read under the earlier version's rule
        QString generalAs;    // Key: the name of the [general] header (any case) it is under
    };

    void addMarker();
    qsizetype lastKeyLine(const QString& section, const QString& key) const;
    QByteArray lineEnd() const;

    QList<Line> lines_;
    QString problem_;
    bool marked_ = false;
};

} // namespace tw::platform::ini
